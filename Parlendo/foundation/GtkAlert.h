#pragma once

#include "foundation/Completion.h"
#include "foundation/Executor.h"

#include <gtk/gtk.h>

#include <optional>
#include <string>
#include <vector>

namespace parlendo {

// A modal alert of the program: a message dialog titled "PARLENDO" whose texts are rendered for
// this desktop. Every module's alerts are shown through it. Main thread.
struct GtkAlert {
    std::string message;
    std::string informative;
    // In order. Empty: one "확인" button.
    std::vector<std::string> buttons;
    bool warning = false;
    // A check box under the text, and whether it starts checked.
    std::optional<std::string> checkbox;
    bool checkboxOn = false;
    // The answer when the alert is closed without a button.
    int closedButton = 0;
    // The button Return takes; it has the keyboard focus.
    int defaultButton = 0;
    // A button that acts only on a deliberate choice: the alert comes to the front without
    // taking the keyboard, and for `deliberateDelay` after it appears that button is inactive
    // and every key press is ignored.
    std::optional<int> deliberateButton = std::nullopt;

    static constexpr double deliberateDelay = 1.0;

    struct Answer {
        int button = 0;  // index in `buttons`
        bool checked = false;
    };

    // The dialog itself, not yet shown (tests look at it).
    GtkWidget* make() const;

    // Shows the dialog brought to the front as a question; the answer comes back on the main
    // thread when a button is pressed or the dialog is closed. The deliberate button's delay runs
    // on `timers` (the main loop when none is given). Returns the dialog, destroyed once
    // answered.
    GtkWidget* show(Completion<void(Answer)> answer, ExecutorPtr timers = nullptr) const;

    // How a window comes to the front.
    enum class Front {
        // As the answer to the user's latest action, with its time (see UserActionTime): the
        // window manager raises it and gives it the keyboard.
        answer,
        // A question the program waits on, which may come long after the action that led to
        // it: it stands above the window the user is in, and takes the keyboard only if the user
        // has not gone on working in another application since that action.
        question,
        // Raised above the others without taking the keyboard.
        withoutKeyboard,
    };

    // Shows a window of the program ahead of other applications.
    static void present(GtkWindow* window, Front front = Front::answer);
};

}  // namespace parlendo
