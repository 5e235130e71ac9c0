#pragma once

#include <gtk/gtk.h>

namespace parlendo {

// The time of the user's latest action toward the program, in the X server's time: a click or
// key in one of its windows (the toolkit keeps that time), a menu item chosen in the panel (the
// time the panel sent, else the server's time then), a start or a link handed to the program.
// The windows an action asks for are presented with it, so the window manager raises them and
// gives them the keyboard as its answer, and keeps the keyboard where the user went on working
// when a window comes long after. Main thread.
namespace UserActionTime {

// An action that reached the program outside its windows, at `time` (0: now, the server's time).
// A time later than the server's clock is not believed.
void note(guint32 time = 0);

// The latest action's time; the server's time now when no action is known.
guint32 latest();

// The X server's time now, from a property change on a window of the program (0 on a display
// that is not X11).
guint32 serverTime();

// Whether the user has gone on working in another application since `time`: the window manager's
// active window is not the program's, and the time of the user's latest action in it (as its
// toolkit records it) is later. False when that cannot be told.
bool elsewhereSince(guint32 time);

}  // namespace UserActionTime
}  // namespace parlendo
