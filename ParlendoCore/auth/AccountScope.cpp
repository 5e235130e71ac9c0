#include "auth/AccountScope.h"

#include "foundation/Log.h"

namespace parlendo {

void AccountScope::onAccountChange(std::string name, Clearer clear) {
    std::lock_guard lock(mutex_);
    clearers_.push_back({std::move(name), std::move(clear)});
}

bool AccountScope::observe(const std::optional<std::string>& userID) {
    std::vector<Entry> copy;
    {
        std::lock_guard lock(mutex_);
        if (userID == owner_) {
            return false;
        }
        owner_ = userID;
        copy = clearers_;
    }
    std::string names;
    for (auto& entry : copy) {
        if (entry.clear) {
            entry.clear(userID);
        }
        if (!names.empty()) {
            names += " · ";
        }
        names += entry.name;
    }
    Log::write("account", "계정이 바뀜 — 비움: " + names);
    return true;
}

}  // namespace parlendo
