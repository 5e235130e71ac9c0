#include "shell/ShutdownGate.h"

#include "foundation/Clock.h"
#include "foundation/Log.h"

#include <cstdio>
#include <utility>

namespace parlendo {

void ShutdownGate::addCounter(Counter counter) {
    std::lock_guard guard(lock_);
    counters_.push_back(std::move(counter));
}

void ShutdownGate::addTask(std::string name, std::function<void()> work) {
    std::lock_guard guard(lock_);
    tasks_.push_back(Task{std::move(name), std::move(work)});
}

int ShutdownGate::inFlight() const {
    std::vector<Counter> counters;
    {
        std::lock_guard guard(lock_);
        counters = counters_;
    }
    int sum = 0;
    for (const auto& counter : counters) {
        sum += counter ? counter() : 0;
    }
    return sum;
}

size_t ShutdownGate::counterCount() const {
    std::lock_guard guard(lock_);
    return counters_.size();
}

std::vector<std::string> ShutdownGate::taskNames() const {
    std::lock_guard guard(lock_);
    std::vector<std::string> names;
    for (const auto& task : tasks_) {
        names.push_back(task.name);
    }
    return names;
}

void ShutdownGate::runTerminationTasks(std::function<double()> uptime) {
    if (!uptime) {
        uptime = [] {
            return SystemClock::shared()->uptime();
        };
    }
    std::vector<Task> tasks;
    {
        std::lock_guard guard(lock_);
        tasks = std::exchange(tasks_, {});
    }
    for (const auto& task : tasks) {
        const double started = uptime();
        if (task.work) {
            task.work();
        }
        char line[64];
        std::snprintf(line, sizeof line, " %.0fms", (uptime() - started) * 1000);
        Log::write("shutdown", "끌 때 할 일 — " + task.name + line);
    }
}

}  // namespace parlendo
