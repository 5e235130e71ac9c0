#pragma once

#include "foundation/Completion.h"
#include "shell/DeviceCare.h"
#include "shell/ShutdownPrompt.h"

#include <gtk/gtk.h>

#include <functional>

namespace parlendo::GtkAlerts {

// Shows a modal alert of the program (texts rendered for this desktop), brought to the front; the
// answer comes back on the main thread when a button is pressed, or `closedButton` when the alert
// is closed without one. Main thread.
// Returns the alert's dialog, which lives until it is answered.
GtkWidget* show(const DeviceCare::Alert& alert, Completion<void(DeviceCare::Answer)> done,
                int closedButton = 0);

// The alert widget itself, not yet shown (tests look at it).
GtkWidget* make(const DeviceCare::Alert& alert);

// The question after the quit drain: "더 기다리기" (default), "종료 취소", "그냥 종료".
void askShutdown(int remaining, int unsaved, Completion<void(ShutdownPrompt::Choice)> done);
// Closes the quit question while it is open (it answers "cancel", which nobody awaits any more).
void closeShutdownQuestion();
// The quit question while it is open, else null.
GtkWidget* shutdownQuestion();
DeviceCare::Alert shutdownAlert(int remaining, int unsaved);

}  // namespace parlendo::GtkAlerts
