#pragma once

#include "foundation/Clock.h"
#include "foundation/Executor.h"
#include "popups/PopupCard.h"
#include "popups/PopupCardWindow.h"
#include "popups/PopupCountdown.h"
#include "popups/PopupPresenting.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace parlendo {

// Every floating card on screen: at most five capture cards, known by their PopupID, and one
// notice card that a newer notice replaces. Opens, refills and closes cards on request, places
// them so that they do not cover one another, and counts each down on one 0.1 s tick until it
// closes by itself; a card under the pointer or being dragged is paused. Main thread only: the
// executor is the main executor, and the tick measures time on the monotonic clock.
class MeaningPopup final : public PopupPresenting,
                           public std::enable_shared_from_this<MeaningPopup> {
  public:
    static std::shared_ptr<MeaningPopup> make(ExecutorPtr main,
                                              std::shared_ptr<const MonotonicClock> clock,
                                              std::shared_ptr<const PopupScreens> screens,
                                              PopupCardWindowFactory windows);
    ~MeaningPopup() override;

    bool open(const PopupID& id, const PopupBody& body, const std::optional<std::string>& setting,
              const PopupOptions& options, const PopupAnchor& anchor, double loadingLimit) override;
    void update(const PopupID& id, const PopupBody& body) override;
    void fill(const PopupID& id, const PopupBody& body, double seconds) override;
    void close(const PopupID& id) override;

    // A short notice of the system's own at the pointer, shown for `seconds`; it replaces the
    // notice shown before. Key symbols and "Mac" are put in Linux words.
    void show(const std::string& message, double seconds);

    size_t openCards() const { return cards_.size(); }
    bool showsNotice() const { return notice_ != nullptr; }
    bool ticking() const { return ticking_; }

  private:
    MeaningPopup(ExecutorPtr main, std::shared_ptr<const MonotonicClock> clock,
                 std::shared_ptr<const PopupScreens> screens, PopupCardWindowFactory windows);

    // The visible frame of the display that holds `point`; the primary display's when none
    // does; a 1440 × 900 frame when no display is attached.
    PopupRect visibleFrame(std::pair<double, double> point) const;
    std::shared_ptr<PopupCard> makeCard(std::optional<PopupID> id,
                                        std::optional<std::string> setting, PopupOptions options,
                                        PopupLayout::Base base, PopupRect screen,
                                        double loadingLimit);
    PopupCard* find(const PopupID& id) const;
    std::vector<std::shared_ptr<PopupCard>> snapshot() const;
    void remove(const PopupCard* card);
    void arrange();
    void startTimer();
    void scheduleTick(std::uint64_t run);
    void tick(std::uint64_t run);

    ExecutorPtr main_;
    std::shared_ptr<const MonotonicClock> clock_;
    std::shared_ptr<const PopupScreens> screens_;
    PopupCardWindowFactory windows_;

    std::vector<std::shared_ptr<PopupCard>> cards_;  // capture cards in opening order
    std::shared_ptr<PopupCard> notice_;
    bool ticking_ = false;
    std::uint64_t run_ = 0;  // the current timer run; a tick of an older run does nothing
    PopupTickClock tickClock_;
};

}  // namespace parlendo
