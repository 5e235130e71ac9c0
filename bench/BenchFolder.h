#pragma once

#include "foundation/Log.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace parlendo::bench {

// A temporary folder of this benchmark run, named after it, holding the log; removed at exit.
inline const std::filesystem::path& folder(const std::string& name) {
    static const std::filesystem::path path = [&name] {
        auto p = std::filesystem::temp_directory_path() /
                 ("parlendo-bench-" + name + "-" + std::to_string(::getpid()));
        std::filesystem::create_directories(p);
        Log::setDirectory(p / "log");
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(path, ignored);
        });
        return p;
    }();
    return path;
}

}  // namespace parlendo::bench
