#include "foundation/WorkerQueue.h"

#include "foundation/Completion.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <future>
#include <mutex>

namespace parlendo {

struct WorkerQueue::State {
    using TimePoint = std::chrono::steady_clock::time_point;
    struct Timed {
        TimePoint due;
        std::uint64_t seq;
        Task task;
    };

    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Task> ready;
    std::vector<Timed> timed;  // a min-heap on (due, seq)
    std::uint64_t nextSeq = 0;
    bool stopping = false;

    static bool later(const Timed& a, const Timed& b) {
        if (a.due != b.due) {
            return a.due > b.due;
        }
        return a.seq > b.seq;
    }

    void promoteDueLocked(TimePoint now) {
        while (!timed.empty() && timed.front().due <= now) {
            std::pop_heap(timed.begin(), timed.end(), later);
            ready.push_back(std::move(timed.back().task));
            timed.pop_back();
        }
    }
};

namespace {
thread_local const void* currentState = nullptr;
}  // namespace

WorkerQueue::WorkerQueue(std::string name, int threads)
    : name_(std::move(name)), state_(std::make_shared<State>()) {
    const int count = std::max(1, threads);
    threads_.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        threads_.emplace_back(&WorkerQueue::run, state_);
        // Thread names are limited to 15 bytes.
        pthread_setname_np(threads_.back().native_handle(), name_.substr(0, 15).c_str());
    }
}

WorkerQueue::~WorkerQueue() {
    std::vector<State::Timed> dropped;
    {
        std::lock_guard lock(state_->mutex);
        state_->stopping = true;
        dropped.swap(state_->timed);
    }
    state_->wake.notify_all();
    // Free the dropped tasks' captures outside the lock: their destructors may post.
    {
        CompletionDrops::Scope scope("timers of a queue that is going away");
        dropped.clear();
    }
    for (auto& thread : threads_) {
        if (thread.get_id() == std::this_thread::get_id()) {
            thread.detach();  // destroyed by its own task: this thread finishes by itself
        } else {
            thread.join();
        }
    }
}

void WorkerQueue::post(Task task) {
    // The task may destroy this queue as soon as it is queued: from then on only the shared state
    // (held here) is touched.
    const std::shared_ptr<State> state = state_;
    const bool current = isCurrent();
    {
        std::lock_guard lock(state->mutex);
        if (!state->stopping || current) {
            state->ready.push_back(std::move(task));
        }
    }
    if (task) {
        CompletionDrops::Scope scope("posted to a queue that is going away");
        task.reset();
        return;
    }
    state->wake.notify_one();
}

void WorkerQueue::postAfter(double seconds, Task task) {
    if (!(seconds > 0)) {
        post(std::move(task));
        return;
    }
    const auto delay = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(std::min(seconds, 1e9)));
    const std::shared_ptr<State> state = state_;
    {
        std::lock_guard lock(state->mutex);
        if (!state->stopping) {
            state->timed.push_back(State::Timed{std::chrono::steady_clock::now() + delay,
                                                state->nextSeq++, std::move(task)});
            std::push_heap(state->timed.begin(), state->timed.end(), State::later);
        }
    }
    if (task) {
        CompletionDrops::Scope scope("timer on a queue that is going away");
        task.reset();
        return;
    }
    // Every waiting thread may need to shorten its wait.
    state->wake.notify_all();
}

bool WorkerQueue::isCurrent() const {
    return currentState == state_.get();
}

void WorkerQueue::drain() {
    if (isCurrent()) {
        return;
    }
    std::promise<void> done;
    auto future = done.get_future();
    {
        std::lock_guard lock(state_->mutex);
        if (state_->stopping) {
            return;
        }
        // Timed tasks that are due count as posted before: they go ahead of the marker.
        state_->promoteDueLocked(std::chrono::steady_clock::now());
        state_->ready.push_back([&done] { done.set_value(); });
    }
    state_->wake.notify_one();
    future.wait();
}

void WorkerQueue::run(std::shared_ptr<State> state) {
    currentState = state.get();
    std::unique_lock lock(state->mutex);
    for (;;) {
        state->promoteDueLocked(std::chrono::steady_clock::now());
        if (!state->ready.empty()) {
            Task task = std::move(state->ready.front());
            state->ready.pop_front();
            lock.unlock();
            task();
            task.reset();  // free captures outside the lock
            lock.lock();
            continue;
        }
        if (state->stopping) {
            break;
        }
        if (state->timed.empty()) {
            state->wake.wait(lock);
        } else {
            // A copy: the heap may be reallocated by a post while this thread waits.
            const auto due = state->timed.front().due;
            state->wake.wait_until(lock, due);
        }
    }
    lock.unlock();
    currentState = nullptr;
}

ExecutorPtr SerialQueue::timers() {
    // Lives for the process, like the pool: no timer is cut short by static destruction.
    static const auto* queue = new ExecutorPtr(std::make_shared<SerialQueue>("parlendo.timers"));
    return *queue;
}

ThreadPool& ThreadPool::global() {
    static ThreadPool* pool = new ThreadPool("parlendo.global", 4);  // lives for the process
    return *pool;
}

ExecutorPtr ThreadPool::shared() {
    return ExecutorPtr(&global(), [](Executor*) {});
}

}  // namespace parlendo
