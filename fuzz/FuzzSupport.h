#pragma once

// What every harness shares: a private home for the run (nothing a harness does reaches the
// user's folders) and a small reader that cuts the fuzzer's bytes into fields.

#include "foundation/Log.h"

#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace parlendo::fuzz {

// Points HOME, the XDG folders and EV_LOG_DIR into a temporary folder removed at exit, and keeps
// the log small. Called once, from LLVMFuzzerInitialize.
inline void enterPrivateHome() {
    static std::string root;
    std::string pattern =
        (std::filesystem::temp_directory_path() / "parlendo-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::abort();
    }
    root = pattern;
    const std::filesystem::path base(root);
    const std::pair<const char*, const char*> folders[] = {
        {"HOME", "home"},
        {"XDG_CONFIG_HOME", "home/.config"},
        {"XDG_DATA_HOME", "home/.local/share"},
        {"XDG_STATE_HOME", "home/.local/state"},
        {"XDG_CACHE_HOME", "home/.cache"},
        {"EV_LOG_DIR", "log"},
    };
    for (const auto& [name, folder] : folders) {
        std::error_code ec;
        std::filesystem::create_directories(base / folder, ec);
        ::setenv(name, (base / folder).c_str(), 1);
    }
    Log::setDirectory(base / "log");
    Log::setMaxBytes(64 * 1024);
    std::atexit([] {
        Log::flush();
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    });
}

// Reads the input front to back: single bytes, numbers and fields ended by a separator byte.
class Input {
  public:
    Input(const std::uint8_t* data, size_t size)
        : rest_(reinterpret_cast<const char*>(data), size) {}

    std::uint8_t byte() {
        if (rest_.empty()) {
            return 0;
        }
        const auto b = static_cast<std::uint8_t>(rest_.front());
        rest_.remove_prefix(1);
        return b;
    }
    bool flag() { return (byte() & 1) != 0; }

    // The text up to the next `separator` (dropped), or the rest.
    std::string field(char separator = '\x1F') {
        const size_t at = rest_.find(separator);
        std::string out(rest_.substr(0, at));
        rest_.remove_prefix(at == std::string_view::npos ? rest_.size() : at + 1);
        return out;
    }
    std::string rest() {
        std::string out(rest_);
        rest_ = {};
        return out;
    }

  private:
    std::string_view rest_;
};

}  // namespace parlendo::fuzz
