#pragma once

#include <sys/types.h>
#include <string>
#include <vector>

namespace parlendo {

// The small shell script that starts the program again once this process has gone: it polls
// every 0.1 s for the old process (giving up after 300 polls), waits 0.2 s, runs the opener on
// the program, and once more after 1 s if that failed.
namespace RelaunchHelper {

inline constexpr const char* executable = "/bin/sh";
// Runs the program path it is given.
inline constexpr const char* defaultOpener = "/usr/bin/env";

const std::string& script();

struct Command {
    std::string executable;
    std::vector<std::string> arguments;
    bool operator==(const Command&) const = default;
};

// "/bin/sh" with "-c", the script, "parlendo-relaunch", the pid, the program path, the opener.
Command command(pid_t waitingFor, const std::string& programPath, const std::string& opener);

// The path /proc/self/exe names, without the " (deleted)" the kernel adds once the file was
// replaced; empty when it cannot be read.
std::string programPath();

}  // namespace RelaunchHelper
}  // namespace parlendo
