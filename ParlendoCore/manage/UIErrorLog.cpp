#include "manage/UIErrorLog.h"

#include "foundation/Log.h"

namespace parlendo {

const std::set<std::string>& UIErrorLog::kinds() {
    static const std::set<std::string> known = {"error", "rejection"};
    return known;
}

std::optional<int> UIErrorLog::record(const Json* kind) {
    if (count_ >= maxPerRun) {
        return std::nullopt;
    }
    ++count_;
    std::string written = "other";
    if (kind && kind->is_string() && kinds().count(kind->get<std::string>()) > 0) {
        written = kind->get<std::string>();
    }
    Log::write("manage", "ui_js_error where=js." + written + " count=" + std::to_string(count_));
    return count_;
}

}  // namespace parlendo
