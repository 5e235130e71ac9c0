#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace parlendo {

// Where feature modules register how much of their work is in flight (counters, summed by the
// quit drain) and what must run when the application terminates (named tasks, run once in
// registration order on the main thread). Registration happens on the main thread; counters may
// be read from any thread.
class ShutdownGate {
  public:
    using Counter = std::function<int()>;
    struct Task {
        std::string name;
        std::function<void()> work;
    };

    void addCounter(Counter counter);
    void addTask(std::string name, std::function<void()> work);

    // The counters' sum.
    int inFlight() const;
    size_t counterCount() const;
    std::vector<std::string> taskNames() const;

    // Runs the tasks once each, logging "끌 때 할 일 — <name> <ms>ms" under "shutdown"; a second
    // call runs nothing. `uptime` measures each task (the system clock when empty).
    void runTerminationTasks(std::function<double()> uptime = {});

  private:
    mutable std::mutex lock_;
    std::vector<Counter> counters_;
    std::vector<Task> tasks_;
};

}  // namespace parlendo
