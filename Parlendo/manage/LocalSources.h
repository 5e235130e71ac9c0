#pragma once

#include "manage/SourceOpener.h"

#include <string>

namespace parlendo {

// The verdict on a saved local source address, from the capture subsystem's address rules with
// the file facts read from the file system and GIO's content types (executables, scripts,
// .desktop launchers, AppImages, packages and disk images count as runnable).
SourceOpener::Local judgeLocalSource(const std::string& address);

}  // namespace parlendo
