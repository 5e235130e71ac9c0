#include "FakeClock.h"

#include "foundation/Completion.h"

#include <algorithm>

namespace parlendo::testing {

FakeClock::~FakeClock() {
    CompletionDrops::Scope scope("the test's clock stopped with timers pending");
    timers_.clear();
}

double FakeClock::now() const {
    std::lock_guard lock(mutex_);
    return wallStart_ + elapsed_;
}

double FakeClock::uptime() const {
    std::lock_guard lock(mutex_);
    return uptimeStart_ + elapsed_;
}

double FakeClock::elapsed() const {
    std::lock_guard lock(mutex_);
    return elapsed_;
}

std::uint64_t FakeClock::schedule(double dueUptime, Task task) {
    std::lock_guard lock(mutex_);
    const std::uint64_t seq = nextSeq_++;
    timers_.push_back(Timer{dueUptime - uptimeStart_, seq, std::move(task)});
    return seq;
}

void FakeClock::cancel(std::uint64_t token) {
    Task dropped;
    {
        std::lock_guard lock(mutex_);
        auto it = std::find_if(timers_.begin(), timers_.end(),
                               [token](const Timer& t) { return t.seq == token; });
        if (it != timers_.end()) {
            dropped = std::move(it->task);
            timers_.erase(it);
        }
    }
    CompletionDrops::Scope scope("timer cancelled");
    dropped.reset();
}

void FakeClock::cancelAll() {
    std::vector<Timer> dropped;
    {
        std::lock_guard lock(mutex_);
        dropped.swap(timers_);
    }
    CompletionDrops::Scope scope("timers cancelled");
    dropped.clear();
}

size_t FakeClock::pendingTimers() const {
    std::lock_guard lock(mutex_);
    return timers_.size();
}

void FakeClock::addDrain(std::weak_ptr<std::function<size_t()>> drain) {
    std::lock_guard lock(mutex_);
    drains_.push_back(std::move(drain));
}

void FakeClock::drainAll() {
    for (;;) {
        size_t ran = 0;
        std::vector<std::shared_ptr<std::function<size_t()>>> live;
        {
            std::lock_guard lock(mutex_);
            std::erase_if(drains_, [](const auto& w) { return w.expired(); });
            for (auto& w : drains_) {
                if (auto s = w.lock()) {
                    live.push_back(std::move(s));
                }
            }
        }
        for (auto& d : live) {
            ran += (*d)();
        }
        if (ran == 0) {
            return;
        }
    }
}

void FakeClock::advance(double seconds) {
    drainAll();
    double target = 0;
    {
        std::lock_guard lock(mutex_);
        target = elapsed_ + std::max(0.0, seconds);
    }
    for (;;) {
        Task task;
        {
            std::lock_guard lock(mutex_);
            auto it = std::min_element(timers_.begin(), timers_.end(), [](auto& a, auto& b) {
                return a.due != b.due ? a.due < b.due : a.seq < b.seq;
            });
            if (it == timers_.end() || it->due > target) {
                elapsed_ = target;
                break;
            }
            elapsed_ = std::max(elapsed_, it->due);
            task = std::move(it->task);
            timers_.erase(it);
        }
        task();
        task.reset();
        drainAll();
    }
    drainAll();
}

}  // namespace parlendo::testing
