#include "auth/RecoveryTokenWrite.h"

#include "foundation/Log.h"

namespace parlendo {

void RecoveryTokenWrite::run(const KeychainCall& call, std::shared_ptr<SessionStore> store,
                             std::string token,
                             UniqueFunction<std::optional<std::string>()> previous,
                             Completion<void(std::optional<Outcome>)> done) {
    auto write = std::make_shared<RecoveryTokenWrite>();
    call.run<std::optional<Outcome>>(
        [write, store = std::move(store), token = std::move(token),
         previous = std::move(previous)]() mutable -> std::optional<Outcome> {
            if (write->givenUp()) {
                Log::write("account", "recovery_link late write skipped");
                return std::nullopt;
            }
            Outcome outcome{false, previous()};
            outcome.saved = store->save(token);
            if (write->end(outcome)) {
                return outcome;
            }
            if (outcome.saved) {
                const bool back = putBack(*store, outcome.previous);
                Log::write("account", std::string("recovery_link late write undone put_back=") +
                                          (back ? "true" : "false"));
            }
            return std::nullopt;
        },
        std::nullopt,
        [write, done = std::move(done)](std::optional<Outcome> outcome) mutable {
            done(outcome ? std::move(outcome) : write->giveUp());
        });
}

bool RecoveryTokenWrite::putBack(SessionStore& store, const std::optional<std::string>& previous) {
    return previous ? store.save(*previous) : store.clear();
}

bool RecoveryTokenWrite::givenUp() {
    std::lock_guard lock(mutex_);
    return givenUp_;
}

bool RecoveryTokenWrite::end(const Outcome& outcome) {
    std::lock_guard lock(mutex_);
    if (givenUp_) {
        return false;
    }
    ended_ = outcome;
    return true;
}

std::optional<RecoveryTokenWrite::Outcome> RecoveryTokenWrite::giveUp() {
    std::lock_guard lock(mutex_);
    if (!ended_) {
        givenUp_ = true;
    }
    return ended_;
}

}  // namespace parlendo
