#pragma once

#include "shell/RelaunchHelper.h"

#include <sys/types.h>
#include <optional>
#include <string>

namespace parlendo::DetachedProcess {

// Starts `command` in a session of its own with its standard streams on the null device, not
// waited for: it outlives this process. Its pid, or nothing with `error` saying why.
std::optional<pid_t> spawn(const RelaunchHelper::Command& command, std::string& error);

}  // namespace parlendo::DetachedProcess
