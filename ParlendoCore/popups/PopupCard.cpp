#include "popups/PopupCard.h"

#include <algorithm>
#include <utility>

namespace parlendo {

PopupCard::PopupCard(std::optional<PopupID> id, std::optional<std::string> setting,
                     PopupOptions options, PopupLayout::Base base, PopupRect screen,
                     double loadingLimit, const PopupCardWindowFactory& factory,
                     std::function<void()> onClose)
    : id_(std::move(id)),
      options_(options),
      setting_(std::move(setting)),
      base_(base),
      screen_(screen),
      onClose_(std::move(onClose)),
      countdown_(options.duration, loadingLimit),
      alive_(std::make_shared<bool>(true)) {
    const double width = points(options.width);
    PopupCardLook look{width, width - contentInset, options.opacity};
    // The handlers find the card through a flag that dies with it, so a report that arrives
    // after the card is gone does nothing.
    std::weak_ptr<bool> alive = alive_;
    PopupCardWindow::Handlers handlers{
        [this, alive] {
            if (alive.lock() && onClose_) {
                auto report = onClose_;  // the call may destroy this card
                report();
            }
        },
        [this, alive] {
            if (alive.lock()) {
                dragged_ = true;
            }
        },
    };
    window_ = factory(look, std::move(handlers));
}

PopupCard::~PopupCard() {
    alive_.reset();
}

void PopupCard::show(const PopupBody& body) {
    const double contentHeight = window_->setContent(MeaningView::render(body, setting_));
    const double largest = std::max(PopupLayout::heightLimit(screen_) - chrome, minScrollHeight);
    const double scrollHeight = std::min(largest, contentHeight);
    size_ = Size{points(options_.width), std::max(scrollHeight + chrome, minHeight)};
    window_->setSize(scrollHeight, size_.width, size_.height);
    showFooter(false);
}

void PopupCard::place(const PopupRect& rect) {
    if (dragged_) {
        keepInPlace();
        return;
    }
    window_->setFrame(rect);
    base_ = PopupLayout::Base{rect.x, rect.maxY()};
}

void PopupCard::keepInPlace() {
    const PopupRect now = window_->frame();
    window_->setFrame(PopupRect{now.x, now.maxY() - size_.height, size_.width, size_.height});
}

void PopupCard::close() {
    window_->close();
}

void PopupCard::showFooter(bool paused) {
    window_->setFooter(countdown_.loading ? std::string() : countdown_.footer(paused));
}

bool PopupCard::held(std::pair<double, double> mouse) const {
    return window_->dragging() || PopupLayout::containsPoint(window_->frame(), mouse);
}

}  // namespace parlendo
