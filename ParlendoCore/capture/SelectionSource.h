#pragma once

#include "popups/PopupBody.h"
#include "saving/CaptureSnapshot.h"

#include <any>
#include <cstdint>
#include <optional>
#include <string>

namespace parlendo {

// The selection as a direct accessibility read found it, with the name of the way it was found
// ("selected_text", "text_marker_range").
struct DirectSelection {
    std::string text;
    std::string method;
    bool operator==(const DirectSelection&) const = default;
};

// An opaque copy of everything on the clipboard.
using SavedPasteboard = std::any;

// What the selection fetch needs of the desktop: the direct accessibility read, the selection the
// window system holds for the front application, the front window, the clipboard with its change
// count, the synthetic copy and a monotonic clock. Called on the selection-fetch queue;
// implementations do their clipboard work on the main thread, reached synchronously.
class SelectionSource {
  public:
    virtual ~SelectionSource() = default;
    // The selected text through accessibility, or none.
    virtual std::optional<DirectSelection> readDirect() = 0;
    // The text of the primary selection (what is selected, as X11 holds it) when the front
    // application owns it; none otherwise.
    virtual std::optional<std::string> readPrimary() = 0;
    // The identity of the front application's focused window now.
    virtual std::optional<WindowIdentity> frontWindow() = 0;
    // The clipboard's change count.
    virtual std::int64_t pasteboardChangeCount() = 0;
    // Everything on the clipboard, every item with every readable type, in order; none when it
    // could not all be saved (the clipboard's owner did not answer in time, or offered more than
    // can be kept), and then the clipboard must not be touched.
    virtual std::optional<SavedPasteboard> savePasteboard() = 0;
    // Clears the clipboard, writes back what `saved` holds (an empty save leaves it empty) and
    // returns the change count afterwards. A value that is not a save of this source leaves the
    // clipboard as it is.
    virtual std::int64_t restorePasteboard(const SavedPasteboard& saved) = 0;
    // The clipboard's plain text.
    virtual std::optional<std::string> pasteboardText() = 0;
    // Posts one synthetic copy key press (Control+C here, Control+Shift+C in the terminals that
    // copy on it) tagged as the application's own; false when no key was sent, because no front
    // window is known or its copy key is not (a terminal where it would interrupt the program).
    virtual bool postCopy() = 0;
    // Seconds on the monotonic clock.
    virtual double now() = 0;
};

// A rectangle in screen points, origin at the bottom left of the primary screen, y up: the
// rectangle the cards are anchored at.
using SelectionRect = PopupRect;

// The on-screen bounds of the selection with the way they were found ("marker", "range",
// "lines").
struct SelectionBoundsRead {
    SelectionRect rect;
    std::string method;
    bool operator==(const SelectionBoundsRead&) const = default;
};

// The desktop side of one lookup in one application: a selection source that can also look for
// the selection's bounds. Built on the main thread for the front application when a chord is
// accepted, then used on the selection-fetch queue.
class SelectionReading : public SelectionSource {
  public:
    // The selection's bounds after a direct read, or none (the cards then open at the mouse).
    virtual std::optional<SelectionBoundsRead> selectionBounds() = 0;
};

}  // namespace parlendo
