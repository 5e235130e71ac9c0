#include "foundation/WorkerQueue.h"

#include <pthread.h>

#include <algorithm>
#include <cmath>
#include <future>

namespace parlendo {

namespace {
thread_local const WorkerQueue* currentQueue = nullptr;

bool later(const auto& a, const auto& b) {
    if (a.due != b.due) {
        return a.due > b.due;
    }
    return a.seq > b.seq;
}
}  // namespace

WorkerQueue::WorkerQueue(std::string name, int threads) : name_(std::move(name)) {
    const int count = std::max(1, threads);
    threads_.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        threads_.emplace_back([this] { run(); });
        // Thread names are limited to 15 bytes.
        pthread_setname_np(threads_.back().native_handle(), name_.substr(0, 15).c_str());
    }
}

WorkerQueue::~WorkerQueue() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        timed_.clear();
    }
    wake_.notify_all();
    for (auto& thread : threads_) {
        if (thread.get_id() == std::this_thread::get_id()) {
            thread.detach();  // the queue is destroyed by its own task: nothing left to wait for
        } else {
            thread.join();
        }
    }
}

void WorkerQueue::post(Task task) {
    {
        std::lock_guard lock(mutex_);
        if (stopping_) {
            return;
        }
        ready_.push_back(std::move(task));
    }
    wake_.notify_one();
}

void WorkerQueue::postAfter(double seconds, Task task) {
    if (!(seconds > 0)) {
        post(std::move(task));
        return;
    }
    const auto delay = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(std::min(seconds, 1e9)));
    {
        std::lock_guard lock(mutex_);
        if (stopping_) {
            return;
        }
        timed_.push_back(
            Timed{std::chrono::steady_clock::now() + delay, nextSeq_++, std::move(task)});
        std::push_heap(timed_.begin(), timed_.end(), [](auto& a, auto& b) { return later(a, b); });
    }
    // Every waiting thread may need to shorten its wait.
    wake_.notify_all();
}

bool WorkerQueue::isCurrent() const {
    return currentQueue == this;
}

void WorkerQueue::drain() {
    if (isCurrent()) {
        return;
    }
    std::promise<void> done;
    auto future = done.get_future();
    {
        std::lock_guard lock(mutex_);
        if (stopping_) {
            return;
        }
        ready_.push_back([&done] { done.set_value(); });
    }
    wake_.notify_one();
    future.wait();
}

void WorkerQueue::promoteDueLocked(TimePoint now) {
    auto cmp = [](auto& a, auto& b) {
        return later(a, b);
    };
    while (!timed_.empty() && timed_.front().due <= now) {
        std::pop_heap(timed_.begin(), timed_.end(), cmp);
        ready_.push_back(std::move(timed_.back().task));
        timed_.pop_back();
    }
}

void WorkerQueue::run() {
    currentQueue = this;
    std::unique_lock lock(mutex_);
    for (;;) {
        promoteDueLocked(std::chrono::steady_clock::now());
        if (!ready_.empty()) {
            Task task = std::move(ready_.front());
            ready_.pop_front();
            lock.unlock();
            task();
            task.reset();  // free captures outside the lock
            lock.lock();
            continue;
        }
        if (stopping_) {
            return;
        }
        if (timed_.empty()) {
            wake_.wait(lock);
        } else {
            wake_.wait_until(lock, timed_.front().due);
        }
    }
}

ThreadPool& ThreadPool::global() {
    static ThreadPool* pool = new ThreadPool("parlendo.global", 4);  // lives for the process
    return *pool;
}

}  // namespace parlendo
