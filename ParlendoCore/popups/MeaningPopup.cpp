#include "popups/MeaningPopup.h"

#include "foundation/PlatformWords.h"

#include <algorithm>
#include <utility>

namespace parlendo {
namespace {

// Where cards go when no display is attached.
constexpr PopupRect noScreen{0, 0, 1440, 900};

PopupLayout::Base atMouse(std::pair<double, double> mouse) {
    return PopupLayout::base(PopupAnchor::mouse(), mouse, noScreen);
}

}  // namespace

std::shared_ptr<MeaningPopup> MeaningPopup::make(ExecutorPtr main,
                                                 std::shared_ptr<const MonotonicClock> clock,
                                                 std::shared_ptr<const PopupScreens> screens,
                                                 PopupCardWindowFactory windows) {
    return std::shared_ptr<MeaningPopup>(new MeaningPopup(std::move(main), std::move(clock),
                                                          std::move(screens), std::move(windows)));
}

MeaningPopup::MeaningPopup(ExecutorPtr main, std::shared_ptr<const MonotonicClock> clock,
                           std::shared_ptr<const PopupScreens> screens,
                           PopupCardWindowFactory windows)
    : main_(std::move(main)),
      clock_(std::move(clock)),
      screens_(std::move(screens)),
      windows_(std::move(windows)) {}

MeaningPopup::~MeaningPopup() {
    for (const auto& card : snapshot()) {
        card->close();
    }
}

bool MeaningPopup::open(const PopupID& id, const PopupBody& body,
                        const std::optional<std::string>& setting, const PopupOptions& options,
                        const PopupAnchor& anchor, double loadingLimit) {
    if (cards_.size() >= static_cast<size_t>(PopupLimits::maxVisible)) {
        return false;
    }
    const auto mouse = screens_->mouse();
    const PopupRect screen = visibleFrame(PopupLayout::referencePoint(anchor, mouse));
    const PopupLayout::Base base = PopupLayout::base(anchor, mouse, screen);
    auto card = makeCard(id, setting, options, base, screen, loadingLimit);
    cards_.push_back(card);
    card->show(body);
    arrange();
    startTimer();
    return true;
}

void MeaningPopup::update(const PopupID& id, const PopupBody& body) {
    if (PopupCard* card = find(id)) {
        card->show(body);
        arrange();
    }
}

void MeaningPopup::fill(const PopupID& id, const PopupBody& body, double seconds) {
    if (PopupCard* card = find(id)) {
        card->show(body);
        card->countdown().filled(seconds);
        card->showFooter(false);
        arrange();
    }
}

void MeaningPopup::close(const PopupID& id) {
    if (PopupCard* card = find(id)) {
        remove(card);
    }
}

void MeaningPopup::show(const std::string& message, double seconds) {
    if (notice_) {
        remove(notice_.get());
    }
    const auto mouse = screens_->mouse();
    const PopupRect screen = visibleFrame(mouse);
    notice_ =
        makeCard(std::nullopt, std::nullopt, PopupOptions::standard(), atMouse(mouse), screen, 1.0);
    notice_->show(PopupBody::text(PlatformWords::render(message)));
    notice_->countdown().filled(seconds);
    notice_->showFooter(false);
    arrange();
    startTimer();
}

PopupRect MeaningPopup::visibleFrame(std::pair<double, double> point) const {
    const std::vector<PopupScreen> screens = screens_->screens();
    if (screens.empty()) {
        return noScreen;
    }
    std::vector<PopupRect> frames;
    frames.reserve(screens.size());
    for (const auto& s : screens) {
        frames.push_back(s.frame);
    }
    const auto index = PopupLayout::screenIndex(point, frames);
    return screens[index.value_or(0)].visibleFrame;
}

std::shared_ptr<PopupCard> MeaningPopup::makeCard(std::optional<PopupID> id,
                                                  std::optional<std::string> setting,
                                                  PopupOptions options, PopupLayout::Base base,
                                                  PopupRect screen, double loadingLimit) {
    // The close button finds the presenter and its card weakly: neither is kept alive by it.
    auto holder = std::make_shared<std::weak_ptr<PopupCard>>();
    std::weak_ptr<MeaningPopup> weakSelf = weak_from_this();
    auto card = std::make_shared<PopupCard>(std::move(id), std::move(setting), options, base,
                                            screen, loadingLimit, windows_, [weakSelf, holder] {
                                                auto self = weakSelf.lock();
                                                auto closed = holder->lock();
                                                if (self && closed) {
                                                    self->remove(closed.get());
                                                }
                                            });
    *holder = card;
    return card;
}

PopupCard* MeaningPopup::find(const PopupID& id) const {
    auto it = std::find_if(cards_.begin(), cards_.end(),
                           [&](const auto& card) { return card->id() == id; });
    return it == cards_.end() ? nullptr : it->get();
}

std::vector<std::shared_ptr<PopupCard>> MeaningPopup::snapshot() const {
    std::vector<std::shared_ptr<PopupCard>> all = cards_;
    if (notice_) {
        all.push_back(notice_);
    }
    return all;
}

void MeaningPopup::remove(const PopupCard* card) {
    // Kept until the end of this call: the removal may have started inside the card's own window.
    std::vector<std::shared_ptr<PopupCard>> gone;
    for (auto it = cards_.begin(); it != cards_.end();) {
        if (it->get() == card) {
            gone.push_back(std::move(*it));
            it = cards_.erase(it);
        } else {
            ++it;
        }
    }
    if (notice_.get() == card) {
        gone.push_back(std::move(notice_));
        notice_.reset();
    }
    for (const auto& c : gone) {
        c->close();
    }
    if (cards_.empty() && !notice_) {
        ticking_ = false;
        ++run_;
        tickClock_.reset();
    }
}

void MeaningPopup::arrange() {
    struct Placed {
        PopupRect screen;
        PopupRect rect;
    };
    std::vector<Placed> placed;
    for (const auto& card : snapshot()) {
        if (card->dragged()) {
            card->keepInPlace();
            continue;
        }
        std::vector<PopupRect> occupied;
        for (const auto& p : placed) {
            if (p.screen == card->screen()) {
                occupied.push_back(p.rect);
            }
        }
        const PopupLayout::Item item{card->size().width, card->size().height, card->base()};
        const PopupRect rect = PopupLayout::place(item, occupied, card->screen());
        card->place(rect);
        placed.push_back(Placed{card->screen(), rect});
    }
}

void MeaningPopup::startTimer() {
    if (ticking_) {
        return;
    }
    ticking_ = true;
    ++run_;
    tickClock_.reset();
    scheduleTick(run_);
}

void MeaningPopup::scheduleTick(std::uint64_t run) {
    std::weak_ptr<MeaningPopup> weakSelf = weak_from_this();
    main_->postAfter(PopupStyle::tick, [weakSelf, run] {
        if (auto self = weakSelf.lock()) {
            self->tick(run);
        }
    });
}

void MeaningPopup::tick(std::uint64_t run) {
    if (!ticking_ || run != run_) {
        return;
    }
    const double elapsed = tickClock_.elapsed(clock_->uptime());
    const auto cards = snapshot();
    if (!cards.empty()) {
        const auto mouse = screens_->mouse();
        for (const auto& card : cards) {
            const bool paused = card->held(mouse);
            if (card->countdown().tick(elapsed, paused)) {
                remove(card.get());
            } else {
                card->showFooter(paused);
            }
        }
    }
    if (ticking_ && run == run_) {
        scheduleTick(run);
    }
}

}  // namespace parlendo
