#pragma once

#include "foundation/Completion.h"
#include "foundation/Executor.h"

#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace parlendo {

// Where feature modules register how much of their work is in flight (counters, summed by the
// quit drain) and what must run when the application terminates (named tasks, run once in
// registration order, started on the main thread). Registration happens on the main thread;
// counters may be read from any thread.
class ShutdownGate {
  public:
    using Counter = std::function<int()>;
    // Work that ends on another thread: it calls `done` when it has ended.
    using LaterWork = std::function<void(Completion<void()> done)>;
    struct Task {
        std::string name;
        std::function<void()> work;
        LaterWork later;
    };

    // How long termination waits for one task that ends on another thread.
    static constexpr double laterTaskBound = 2.0;

    void addCounter(Counter counter);
    // A task that is over when it returns.
    void addTask(std::string name, std::function<void()> work);
    // A task that ends on another thread; termination goes on without it after `laterTaskBound`.
    void addLaterTask(std::string name, LaterWork work);

    // The counters' sum.
    int inFlight() const;
    size_t counterCount() const;
    std::vector<std::string> taskNames() const;

    // Runs the tasks once each, one after the other, logging "끌 때 할 일 — <name> <ms>ms" under
    // "shutdown", then calls `done` on `main`; a second call runs nothing. The main thread never
    // waits: a task ending on another thread is awaited through `main`'s timers, at most
    // `laterTaskBound` seconds (logged "… 시간 넘김" when it did not end in time). `uptime`
    // measures each task (the system clock when empty).
    void runTerminationTasks(ExecutorPtr main, Completion<void()> done,
                             std::function<double()> uptime = {});

  private:
    struct Run;

    mutable std::mutex lock_;
    std::vector<Counter> counters_;
    std::vector<Task> tasks_;
};

}  // namespace parlendo
