#include "aitalk/AITalkOwner.h"

#include "foundation/Log.h"

namespace parlendo {

namespace {
constexpr const char* kTag = "ai_talk";
}

AITalkOwner::AITalkOwner(ReadCopy readCopy, WriteCopy writeCopy, Server server,
                         std::shared_ptr<const MonotonicClock> clock)
    : readCopy_(std::move(readCopy)),
      writeCopy_(std::move(writeCopy)),
      server_(std::move(server)),
      clock_(clock ? std::move(clock) : SystemClock::shared()) {}

AITalkOwner::Gate AITalkOwner::gate(bool loggedIn) const {
    if (!loggedIn) {
        return Gate::ignored("logged_out");
    }
    if (!readCopy_()) {
        return Gate::ignored("ai_talk_off");
    }
    return Gate::proceed();
}

void AITalkOwner::noteCopyChanged() {
    std::lock_guard lock(mutex_);
    copyGeneration_ += 1;
}

bool AITalkOwner::checking() const {
    std::lock_guard lock(mutex_);
    return inflight_ != nullptr;
}

void AITalkOwner::sync(const std::string& reason, Completion<void(Outcome)> done) {
    std::unique_lock lock(mutex_);
    if (inflight_) {
        inflight_->waiters.push_back(std::move(done));
        return;
    }
    begin(lock, reason, std::move(done));
}

void AITalkOwner::syncIfDue(const std::string& reason,
                            Completion<void(std::optional<Outcome>)> done) {
    std::unique_lock lock(mutex_);
    if (inflight_ || (lastAsked_ && clock_->uptime() - *lastAsked_ < minInterval)) {
        lock.unlock();
        done(std::nullopt);
        return;
    }
    begin(lock, reason, [done = std::move(done)](Outcome outcome) mutable { done(outcome); });
}

void AITalkOwner::begin(std::unique_lock<std::mutex>& lock, const std::string& reason,
                        Completion<void(Outcome)> done) {
    lastAsked_ = clock_->uptime();
    const long started = copyGeneration_;
    auto inflight = std::make_shared<Inflight>();
    inflight->waiters.push_back(std::move(done));
    inflight_ = inflight;
    lock.unlock();
    std::weak_ptr<AITalkOwner> weak = weak_from_this();
    server_([weak, inflight, reason, started](PopupLookup lookup) {
        Outcome outcome = Outcome::unknown();
        if (auto self = weak.lock()) {
            outcome = self->answered(reason, started, std::move(lookup));
            std::lock_guard guard(self->mutex_);
            if (self->inflight_ == inflight) {
                self->inflight_.reset();
            }
        }
        // Joined callers are answered outside the lock, with the one outcome.
        for (auto& waiter : inflight->waiters) {
            waiter(outcome);
        }
        inflight->waiters.clear();
    });
}

AITalkOwner::Outcome AITalkOwner::answered(const std::string& reason, long started,
                                           PopupLookup lookup) {
    if (!lookup) {
        Log::write(kTag, "AI 톡 사본 맞추기 — 서버를 모름 reason=" + reason +
                             " code=" + lookup.error().code + " (사본 그대로)");
        return Outcome::unknown();
    }
    long generation = 0;
    {
        std::lock_guard lock(mutex_);
        generation = copyGeneration_;
    }
    if (generation != started) {
        Log::write(kTag,
                   "AI 톡 사본 맞추기 — 묻는 사이 사본이 바뀜 · 이번 답을 버림 reason=" + reason);
        return Outcome::unknown();
    }
    return apply(lookup->has_value(), reason);
}

AITalkOwner::Outcome AITalkOwner::apply(bool serverOn, const std::string& reason) {
    const bool current = readCopy_();
    if (serverOn == current) {
        return Outcome::unchanged(current);
    }
    if (!writeCopy_(serverOn)) {
        Log::write(kTag, "AI 톡 사본 맞추기 실패 — 이 맥에 못 씀 reason=" + reason);
        return Outcome::unknown();
    }
    Log::write(kTag, std::string("AI 톡 사본 맞춤 on=") + (serverOn ? "true" : "false") +
                         " reason=" + reason);
    if (onChange) {
        onChange();
    }
    return Outcome::changed(serverOn);
}

namespace AITalkMenu {

Line line(bool loggedIn, bool isOn) {
    if (!loggedIn) {
        return {loggedOut, false};
    }
    if (isOn) {
        return {on, false};
    }
    return {off, true};
}

}  // namespace AITalkMenu
}  // namespace parlendo
