#pragma once

#include "foundation/Executor.h"

#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace parlendo {

// Worker threads over one FIFO of ready tasks and a set of timed tasks. With one thread it is a
// serial queue; with several, a concurrent pool. Timed tasks become ready in the order of their
// due time (ties in posting order) and then join the FIFO.
//
// Destruction finishes every task that is ready (including what those tasks post meanwhile from
// this queue's threads), drops timed tasks that are not due yet, and joins the threads. Other
// threads must have stopped posting by then. A queue may be destroyed by one of its own tasks
// (its last owner was captured by the task): that thread finishes the ready work on its own and
// then ends.
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

    // Blocks until every task posted before this call, and every timed task already due, has
    // finished (for a serial queue) or has started (for a pool). Runs nothing and returns at once
    // when called from this queue's thread.
    void drain();

  private:
    struct State;  // shared with the threads, so that it outlives a queue destroyed by its task
    static void run(std::shared_ptr<State> state);

    std::string name_;
    std::shared_ptr<State> state_;
    std::vector<std::thread> threads_;
};

// One named thread running tasks in posting order.
class SerialQueue final : public WorkerQueue {
  public:
    explicit SerialQueue(std::string name) : WorkerQueue(std::move(name), 1) {}

    // The process-wide queue "parlendo.timers" for timed wake-ups (deadlines, back-off waits).
    // Its tasks only hand work on and never block, so a timer is never held up behind blocking
    // work.
    static ExecutorPtr timers();
};

// A small pool for work that needs no ordering (background work off the main thread). Its tasks
// never wait for the main thread, and timers do not run on it: they belong on
// `SerialQueue::timers()`.
class ThreadPool final : public WorkerQueue {
  public:
    ThreadPool(std::string name, int threads) : WorkerQueue(std::move(name), threads) {}

    // The process-wide pool of four threads.
    static ThreadPool& global();
    // The same pool as an executor to hand on.
    static ExecutorPtr shared();
};

}  // namespace parlendo
