#include "aitalk/MathLib.h"

#include "foundation/FileIO.h"

#include <algorithm>
#include <vector>

namespace parlendo {

MathLib::MathLib(std::optional<std::filesystem::path> resources)
    : resources_(std::move(resources)) {}

std::string MathLib::source() {
    std::lock_guard lock(mutex_);
    if (!cached_) {
        cached_ = read();
    }
    return *cached_;
}

std::string MathLib::read() const {
    if (!resources_) {
        return "";
    }
    const std::filesystem::path vendor = *resources_ / "vendor";
    std::vector<std::string> names;
    std::error_code error;
    for (std::filesystem::directory_iterator it(vendor, error), end; !error && it != end;
         it.increment(error)) {
        names.push_back(it->path().filename().string());
    }
    if (error) {
        return "";
    }
    std::sort(names.begin(), names.end());
    for (const auto& name : names) {
        if (!name.starts_with("temml-")) {
            continue;
        }
        auto script = fileio::readFile(vendor / name / "temml.min.js");
        if (script && !script->empty()) {
            return *script;
        }
    }
    return "";
}

}  // namespace parlendo
