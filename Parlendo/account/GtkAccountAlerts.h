#pragma once

#include "account/AccountAlert.h"
#include "foundation/Executor.h"

#include <gtk/gtk.h>

namespace parlendo::GtkAccountAlerts {

// Shows an account alert as a modal message dialog titled "PARLENDO" (texts rendered for this
// desktop), after bringing the program forward; the answer comes back on the main thread. A
// deliberate button's delay runs on `timers` (the main loop when none is given). Main thread.
void show(AccountAlert alert, Completion<void(int button)> answer, ExecutorPtr timers = nullptr);

// The dialog itself, not yet shown (tests look at it).
GtkWidget* make(const AccountAlert& alert);

}  // namespace parlendo::GtkAccountAlerts
