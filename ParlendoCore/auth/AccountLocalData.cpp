#include "auth/AccountLocalData.h"

#include "foundation/Log.h"

namespace parlendo {

AccountLocalData& AccountLocalData::shared() {
    static AccountLocalData registry;
    return registry;
}

void AccountLocalData::registerForgetter(std::string name, Forget forget) {
    std::lock_guard lock(mutex_);
    forgetters_.push_back({std::move(name), std::move(forget)});
}

std::optional<bool> AccountLocalData::forget(const std::string& userID) {
    std::vector<Entry> copy;
    {
        std::lock_guard lock(mutex_);
        copy = forgetters_;
    }
    if (copy.empty()) {
        return std::nullopt;
    }
    bool all = true;
    for (auto& entry : copy) {
        const bool ok = entry.forget ? entry.forget(userID) : false;
        Log::write("account",
                   "local_data forget name=" + entry.name + " ok=" + (ok ? "true" : "false"));
        all = all && ok;
    }
    return all;
}

std::vector<std::string> AccountLocalData::names() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    for (const auto& entry : forgetters_) {
        out.push_back(entry.name);
    }
    return out;
}

}  // namespace parlendo
