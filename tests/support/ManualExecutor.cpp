#include "ManualExecutor.h"

#include "foundation/Completion.h"

#include <algorithm>
#include <vector>

namespace parlendo::testing {

namespace {
// The executors whose tasks this thread is running, innermost last.
thread_local std::vector<const ManualExecutor*> running;
}  // namespace

ManualExecutor::ManualExecutor() : ManualExecutor(std::make_shared<FakeClock>(), true) {}

ManualExecutor::ManualExecutor(const std::shared_ptr<FakeClock>& clock)
    : ManualExecutor(clock, false) {}

ManualExecutor::ManualExecutor(const std::shared_ptr<FakeClock>& clock, bool own)
    : ownClock_(own ? clock : nullptr),
      clock_(clock),
      state_(std::make_shared<State>()),
      owner_(std::this_thread::get_id()) {
    drain_ = std::make_shared<std::function<size_t()>>([this] { return runAll(); });
    clock->addDrain(drain_);
}

ManualExecutor::~ManualExecutor() {
    drain_.reset();
    std::deque<Task> dropped;
    {
        std::lock_guard lock(state_->mutex);
        dropped.swap(state_->queue);
    }
    CompletionDrops::Scope scope("the test's executor stopped with tasks queued");
    dropped.clear();
}

std::shared_ptr<FakeClock> ManualExecutor::clock() const {
    return clock_.lock();
}

std::vector<double> ManualExecutor::delays() const {
    std::lock_guard lock(state_->mutex);
    return state_->delays;
}

void ManualExecutor::post(Task task) {
    std::lock_guard lock(state_->mutex);
    state_->queue.push_back(std::move(task));
}

void ManualExecutor::postAfter(double seconds, Task task) {
    {
        std::lock_guard lock(state_->mutex);
        state_->delays.push_back(seconds);
    }
    if (!(seconds > 0)) {
        post(std::move(task));
        return;
    }
    auto clock = clock_.lock();
    if (!clock) {
        CompletionDrops::Scope scope("timer asked of an executor whose clock is gone");
        task.reset();
        return;
    }
    std::weak_ptr<State> weak = state_;
    clock->schedule(clock->uptime() + seconds, [weak, task = std::move(task)]() mutable {
        if (auto state = weak.lock()) {
            std::lock_guard lock(state->mutex);
            state->queue.push_back(std::move(task));
            return;
        }
        CompletionDrops::Scope scope("timer of an executor that is gone");
        task.reset();
    });
}

bool ManualExecutor::isCurrent() const {
    return std::this_thread::get_id() == owner_ ||
           std::find(running.begin(), running.end(), this) != running.end();
}

bool ManualExecutor::runningTask() const {
    return std::find(running.begin(), running.end(), this) != running.end();
}

bool ManualExecutor::runOne() {
    Task task;
    {
        std::lock_guard lock(state_->mutex);
        if (state_->queue.empty()) {
            return false;
        }
        task = std::move(state_->queue.front());
        state_->queue.pop_front();
    }
    running.push_back(this);
    task();
    task.reset();
    running.pop_back();
    return true;
}

size_t ManualExecutor::runAll() {
    size_t count = 0;
    while (runOne()) {
        ++count;
    }
    return count;
}

size_t ManualExecutor::pending() const {
    std::lock_guard lock(state_->mutex);
    return state_->queue.size();
}

}  // namespace parlendo::testing
