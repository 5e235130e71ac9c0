#include "ManualExecutor.h"

#include <algorithm>
#include <vector>

namespace parlendo::testing {

namespace {
// The executors whose tasks this thread is running, innermost last.
thread_local std::vector<const ManualExecutor*> running;
}  // namespace

ManualExecutor::ManualExecutor(std::shared_ptr<FakeClock> clock)
    : clock_(std::move(clock)),
      state_(std::make_shared<State>()),
      owner_(std::this_thread::get_id()) {
    drain_ = std::make_shared<std::function<size_t()>>([this] { return runAll(); });
    clock_->addDrain(drain_);
}

ManualExecutor::~ManualExecutor() {
    drain_.reset();
    std::deque<Task> dropped;
    {
        std::lock_guard lock(state_->mutex);
        dropped.swap(state_->queue);
    }
}

void ManualExecutor::post(Task task) {
    std::lock_guard lock(state_->mutex);
    state_->queue.push_back(std::move(task));
}

void ManualExecutor::postAfter(double seconds, Task task) {
    if (!(seconds > 0)) {
        post(std::move(task));
        return;
    }
    std::weak_ptr<State> weak = state_;
    clock_->schedule(clock_->uptime() + seconds, [weak, task = std::move(task)]() mutable {
        if (auto state = weak.lock()) {
            std::lock_guard lock(state->mutex);
            state->queue.push_back(std::move(task));
        }
    });
}

bool ManualExecutor::isCurrent() const {
    return std::this_thread::get_id() == owner_ ||
           std::find(running.begin(), running.end(), this) != running.end();
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
