#pragma once

#include "popups/PopupBody.h"
#include "popups/PopupCardWindow.h"
#include "popups/PopupCountdown.h"
#include "popups/PopupLayout.h"
#include "popups/PopupSetting.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace parlendo {

// One floating card: its identity, where it wants to stand, its countdown, and its window.
// The presenter creates, fills, places and removes cards; the card sizes itself to its content
// and remembers whether the user moved it. Main thread only.
class PopupCard {
  public:
    struct Size {
        double width = 0;
        double height = 0;
        bool operator==(const Size&) const = default;
    };

    // Space around the scroll area: 14 above it, 28 below it (the footer band).
    static constexpr double chrome = 42;
    static constexpr double minHeight = 44;
    static constexpr double minScrollHeight = 20;
    // The content is this much narrower than the card.
    static constexpr double contentInset = 48;

    // Builds the card and its window, hidden. `id` is none for a notice. `onClose` runs when the
    // user clicks the close button.
    PopupCard(std::optional<PopupID> id, std::optional<std::string> setting, PopupOptions options,
              PopupLayout::Base base, PopupRect screen, double loadingLimit,
              const PopupCardWindowFactory& factory, std::function<void()> onClose);
    ~PopupCard();

    PopupCard(const PopupCard&) = delete;
    PopupCard& operator=(const PopupCard&) = delete;

    // Replaces the content and recomputes `size`; the window does not move.
    void show(const PopupBody& body);
    // Moves the window to `rect` and shows it; `base` becomes the rectangle's top-left corner.
    // A card the user dragged keeps its top-left corner and only takes its new size.
    void place(const PopupRect& rect);
    // The window at its current top-left corner with `size` (for a dragged card).
    void keepInPlace();
    // Hides the window for good.
    void close();

    // The text under the content while counting down; empty while loading.
    void showFooter(bool paused);
    // Paused while the user drags the card or the pointer stands over it.
    bool held(std::pair<double, double> mouse) const;

    const std::optional<PopupID>& id() const { return id_; }
    const PopupLayout::Base& base() const { return base_; }
    const PopupRect& screen() const { return screen_; }
    const Size& size() const { return size_; }
    bool dragged() const { return dragged_; }
    PopupCountdown& countdown() { return countdown_; }
    const PopupCountdown& countdown() const { return countdown_; }
    PopupCardWindow& window() { return *window_; }

  private:
    std::optional<PopupID> id_;
    PopupOptions options_;
    std::optional<std::string> setting_;
    PopupLayout::Base base_;
    PopupRect screen_;
    bool dragged_ = false;
    std::function<void()> onClose_;
    PopupCountdown countdown_;
    Size size_;
    std::shared_ptr<bool> alive_;  // watched by the window's handlers
    std::unique_ptr<PopupCardWindow> window_;
};

}  // namespace parlendo
