#pragma once

#include "foundation/Executor.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace parlendo {

// Worker threads over one FIFO of ready tasks and a set of timed tasks. With one thread it is a
// serial queue; with several, a concurrent pool. Timed tasks become ready in the order of their
// due time (ties in posting order) and then join the FIFO.
//
// Destruction finishes every task that is ready (including what those tasks post meanwhile),
// drops timed tasks that are not due yet, and joins the threads. Tasks posted after destruction
// began are dropped.
class WorkerQueue : public Executor {
  public:
    WorkerQueue(std::string name, int threads);
    ~WorkerQueue() override;

    WorkerQueue(const WorkerQueue&) = delete;
    WorkerQueue& operator=(const WorkerQueue&) = delete;

    void post(Task task) override;
    void postAfter(double seconds, Task task) override;
    bool isCurrent() const override;

    const std::string& name() const { return name_; }

    // Blocks until every task posted before this call has finished (for a serial queue) or has
    // started (for a pool). Runs nothing and returns at once when called from this queue's thread.
    void drain();

  private:
    using TimePoint = std::chrono::steady_clock::time_point;
    struct Timed {
        TimePoint due;
        std::uint64_t seq;
        Task task;
    };

    void run();
    void promoteDueLocked(TimePoint now);

    std::string name_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Task> ready_;
    std::vector<Timed> timed_;  // a min-heap on (due, seq)
    std::uint64_t nextSeq_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

// One named thread running tasks in posting order.
class SerialQueue final : public WorkerQueue {
  public:
    explicit SerialQueue(std::string name) : WorkerQueue(std::move(name), 1) {}
};

// A small pool for work that needs no ordering (the specification's global queues).
class ThreadPool final : public WorkerQueue {
  public:
    ThreadPool(std::string name, int threads) : WorkerQueue(std::move(name), threads) {}

    // The process-wide pool of four threads.
    static ThreadPool& global();
};

}  // namespace parlendo
