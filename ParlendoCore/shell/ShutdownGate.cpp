#include "shell/ShutdownGate.h"

#include "foundation/Clock.h"
#include "foundation/Log.h"

#include <cstdio>
#include <utility>

namespace parlendo {

namespace {

void logTask(const std::string& name, double seconds, const char* note = "") {
    char line[64];
    std::snprintf(line, sizeof line, " %.0fms%s", seconds * 1000, note);
    Log::write("shutdown", "끌 때 할 일 — " + name + line);
}

}  // namespace

// One pass over the tasks. Every step runs on the main executor; a task ending elsewhere hands
// its end back to it, and whichever comes first of that end and the time-out moves on.
struct ShutdownGate::Run : std::enable_shared_from_this<Run> {
    std::vector<Task> tasks;
    size_t next = 0;
    ExecutorPtr main;
    Completion<void()> done;
    std::function<double()> uptime;

    void step() {
        while (next < tasks.size()) {
            auto& task = tasks[next++];
            const double started = uptime();
            if (task.later) {
                awaitLater(task, started);
                return;
            }
            if (task.work) {
                task.work();
            }
            logTask(task.name, uptime() - started);
        }
        auto finished = std::move(done);
        finished();
    }

    void awaitLater(Task& task, double started) {
        auto ended = std::make_shared<bool>(false);
        auto moveOn = [self = shared_from_this(), name = task.name, started, ended](bool timedOut) {
            if (std::exchange(*ended, true)) {
                return;
            }
            logTask(name, self->uptime() - started, timedOut ? " 시간 넘김" : "");
            self->step();
        };
        main->postAfter(laterTaskBound, [moveOn] { moveOn(true); });
        task.later([main = main, moveOn] { main->post([moveOn] { moveOn(false); }); });
    }
};

void ShutdownGate::addCounter(Counter counter) {
    std::lock_guard guard(lock_);
    counters_.push_back(std::move(counter));
}

void ShutdownGate::addTask(std::string name, std::function<void()> work) {
    std::lock_guard guard(lock_);
    tasks_.push_back(Task{std::move(name), std::move(work), nullptr});
}

void ShutdownGate::addLaterTask(std::string name, LaterWork work) {
    std::lock_guard guard(lock_);
    tasks_.push_back(Task{std::move(name), nullptr, std::move(work)});
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

void ShutdownGate::runTerminationTasks(ExecutorPtr main, Completion<void()> done,
                                       std::function<double()> uptime) {
    if (!uptime) {
        uptime = [] {
            return SystemClock::shared()->uptime();
        };
    }
    auto run = std::make_shared<Run>();
    {
        std::lock_guard guard(lock_);
        run->tasks = std::exchange(tasks_, {});
    }
    run->main = std::move(main);
    run->done = std::move(done);
    run->uptime = std::move(uptime);
    run->step();
}

}  // namespace parlendo
