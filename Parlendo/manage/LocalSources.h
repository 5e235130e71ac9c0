#pragma once

#include "manage/SourceOpener.h"

#include <string>

namespace parlendo {

// The verdict on a saved local source address, from the capture subsystem's address rules with
// the file facts read from the file system (after every link is resolved) and GIO's content types
// and default applications (executables, scripts, launchers, packages, disk images, and types an
// installer or a runner opens by default count as runnable). An address that may be opened comes
// with the resolved path.
SourceOpener::Local judgeLocalSource(const std::string& address);

}  // namespace parlendo
