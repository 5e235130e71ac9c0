#pragma once

#include "foundation/Executor.h"

namespace parlendo::SpinnerIcon {

// The toolkit's busy spinner draws the icon theme's "process-working-symbolic". The first one
// drawn in a run reads the theme's index and then the icon itself inside one frame, tens of
// milliseconds of a stalled main loop; a window that will show a spinner has both read ahead, a
// turn of the main loop each. Main thread only.
void prepare(ExecutorPtr main);

}  // namespace parlendo::SpinnerIcon
