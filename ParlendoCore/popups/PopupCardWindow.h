#pragma once

#include "popups/MeaningView.h"
#include "popups/PopupBody.h"

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace parlendo {

// How a card window is built: its width, the width of its content (the card width less 48) and
// its opacity (a fraction).
struct PopupCardLook {
    double cardWidth = 320;
    double contentWidth = 272;
    double opacity = 0.94;
};

// The window of one floating card: a borderless box that never takes focus, floats above other
// windows on every desktop, with a scroll area for its content, a close button at the top right,
// a countdown footer at the bottom right, and a surface the user can drag it by. Frames are in
// screen points with y growing upward. Main thread only.
class PopupCardWindow {
  public:
    // What the window reports. Either may destroy the window before returning, so the window
    // calls them last and touches nothing of itself afterwards.
    struct Handlers {
        std::function<void()> closeClicked;  // the close button was clicked
        std::function<void()> dragEnded;     // a drag ended that moved the window
    };

    virtual ~PopupCardWindow() = default;

    // Replaces the content with these labels, laid out at the content width; answers the
    // content's height in points, rounded up. The window keeps its place and size.
    virtual double setContent(const std::vector<MeaningView::Label>& labels) = 0;
    // The height of the scroll area and the size of the whole card; the window keeps its
    // top-left corner.
    virtual void setSize(double scrollHeight, double width, double height) = 0;
    // Moves and sizes the window, and shows it when it is hidden (without taking focus).
    virtual void setFrame(const PopupRect& frame) = 0;
    // Where the window stands now (after any drag).
    virtual PopupRect frame() const = 0;
    virtual bool isVisible() const = 0;
    virtual void setFooter(const std::string& text) = 0;
    // True from the press that starts a drag to its release.
    virtual bool dragging() const = 0;
    // Hides the window for good.
    virtual void close() = 0;
};

using PopupCardWindowFactory = std::function<std::unique_ptr<PopupCardWindow>(
    const PopupCardLook& look, PopupCardWindow::Handlers handlers)>;

// One display of the desktop: its whole frame and the part free of panels and docks.
struct PopupScreen {
    PopupRect frame;
    PopupRect visibleFrame;
    bool operator==(const PopupScreen&) const = default;
};

// The displays and the pointer, in screen points with y growing upward. Main thread only.
class PopupScreens {
  public:
    virtual ~PopupScreens() = default;
    // The primary display first; empty when no display is attached.
    virtual std::vector<PopupScreen> screens() const = 0;
    virtual std::pair<double, double> mouse() const = 0;
};

}  // namespace parlendo
