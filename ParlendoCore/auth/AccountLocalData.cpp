#include "auth/AccountLocalData.h"

#include "foundation/Log.h"

namespace parlendo {

struct AccountLocalData::Run {
    std::string userID;
    std::vector<Entry> entries;
    ExecutorPtr files;
    size_t next = 0;
    bool all = true;
    Completion<void(std::optional<bool>)> done;
};

AccountLocalData& AccountLocalData::shared() {
    static AccountLocalData registry;
    return registry;
}

void AccountLocalData::registerForgetter(std::string name, Forget forget, ExecutorPtr on) {
    std::lock_guard lock(mutex_);
    forgetters_.push_back({std::move(name), std::move(forget), std::move(on)});
}

void AccountLocalData::forget(std::string userID, ExecutorPtr files,
                              Completion<void(std::optional<bool>)> done) {
    auto run = std::make_shared<Run>();
    {
        std::lock_guard lock(mutex_);
        run->entries = forgetters_;
    }
    if (run->entries.empty()) {
        done(std::nullopt);
        return;
    }
    run->userID = std::move(userID);
    run->files = std::move(files);
    run->done = std::move(done);
    step(std::move(run));
}

void AccountLocalData::step(std::shared_ptr<Run> run) {
    if (run->next == run->entries.size()) {
        auto done = std::move(run->done);
        done(run->all);
        return;
    }
    ExecutorPtr on = run->entries[run->next].on.lock();
    if (!on) {
        on = run->files;
    }
    auto forgetOne = [run] {
        const Entry& entry = run->entries[run->next++];
        const bool ok = entry.forget ? entry.forget(run->userID) : false;
        Log::write("account",
                   "local_data forget name=" + entry.name + " ok=" + (ok ? "true" : "false"));
        run->all = run->all && ok;
        step(run);
    };
    if (on) {
        on->post(std::move(forgetOne));
    } else {
        forgetOne();
    }
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
