#pragma once

#include "foundation/Clock.h"

#include <sys/types.h>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

namespace parlendo {

// Start-up milestones in the log: each name is logged once, under "timing", as
// "startup <name> ms_exec=<ms since the process was started> ms_main=<ms since main began>".
// Thread-safe.
class StartupTiming {
  public:
    // `processAge`: how long the process had run when `clock` read the start of main; unknown
    // leaves "-" in the exec figure.
    StartupTiming(std::shared_ptr<const MonotonicClock> clock, std::optional<double> processAge);

    // The first call for a name logs its line (followed by a blank and `extra` when not empty);
    // later calls do nothing. True when it logged.
    bool note(const std::string& name, const std::string& extra = "");
    // The line `note` would log now.
    std::string line(const std::string& name, const std::string& extra) const;

    // The process-wide timing, begun by the program's entry point (on first use otherwise).
    static StartupTiming& shared();
    static void begin() { (void)shared(); }
    static bool mark(const std::string& name, const std::string& extra = "") {
        return shared().note(name, extra);
    }

    // Seconds since the process `pid` was started, from /proc; nullopt when it cannot be read.
    static std::optional<double> processAge(pid_t pid);
    // The start time of `pid` in clock ticks since boot, from /proc/<pid>/stat.
    static std::optional<unsigned long long> processStartTicks(pid_t pid);

  private:
    std::shared_ptr<const MonotonicClock> clock_;
    double mainStart_;
    std::optional<double> processAge_;
    mutable std::mutex mutex_;
    std::set<std::string> marked_;
};

}  // namespace parlendo
