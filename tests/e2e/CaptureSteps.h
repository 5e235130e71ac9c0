#pragma once

#include "UserDay.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace parlendo::testing {

inline bool holds(const std::vector<std::string>& all, const std::string& text) {
    return std::find(all.begin(), all.end(), text) != all.end();
}

// The steps of a reading day that most scenarios share: a signed-in user with popup cards, the
// program started, detection switched on, the cards read as they come and go.
class CaptureSteps : public UserDay {
  protected:
    // The user's popup cards (shown for `cardSeconds`) and login kept from an earlier day, the
    // notice read; the program started and signed in, its status menu in `panel`.
    void startReading(int cardSeconds = 3) {
        backend.keepPopupCards(cardSeconds);
        ASSERT_NO_FATAL_FAILURE(keepSignedIn());
        ASSERT_NO_FATAL_FAILURE(noticeRead());
        ASSERT_GT(launch(), 0);
        ASSERT_TRUE(waitSignedIn()) << log();
        panel = menu();
        ASSERT_TRUE(panel.has_value()) << log();
    }

    // Double-taps Alt and waits until the program watches the keyboard.
    void switchDetectionOn() {
        constexpr unsigned leftAlt = 64;
        DesktopSession::tap({leftAlt});
        DesktopSession::pumpFor(0.1);
        DesktopSession::tap({leftAlt});
        ASSERT_TRUE(waitForLog("[detect] watching=true")) << log();
    }

    // The program's card windows with a text equal to `text` (or containing it, for `part`),
    // once there are `count` of them or `seconds` have passed.
    std::vector<ProgramWindows::Window> cardsShowing(const std::string& text, size_t count = 1,
                                                     double seconds = 10) {
        return cards([&](const std::string& seen) { return seen == text; }, count, seconds);
    }
    std::vector<ProgramWindows::Window> cardsWith(const std::string& part, size_t count = 1,
                                                  double seconds = 10) {
        return cards([&](const std::string& seen) { return seen.find(part) != std::string::npos; },
                     count, seconds);
    }

    // Waits until no card window shows.
    bool cardsGone(double seconds = 15) {
        return DesktopSession::pumpUntil(
            [&] {
                const auto shown = ProgramWindows::all();
                return std::none_of(shown.begin(), shown.end(),
                                    [](const auto& window) { return window.isCard(); });
            },
            seconds);
    }

    // Whether the status menu, opened now, shows a line starting with `prefix`.
    bool menuShows(const std::string& prefix, double seconds = 5) {
        panel->opening();
        return DesktopSession::pumpUntil([&] { return panel->find(prefix).has_value(); }, seconds);
    }

    std::optional<StatusMenuReader> panel;

  private:
    template <class Match>
    std::vector<ProgramWindows::Window> cards(Match match, size_t count, double seconds) {
        std::vector<ProgramWindows::Window> found;
        DesktopSession::pumpUntil(
            [&] {
                found.clear();
                for (auto& window : ProgramWindows::all()) {
                    const auto texts = window.texts();
                    if (window.isCard() && std::any_of(texts.begin(), texts.end(), match)) {
                        found.push_back(std::move(window));
                    }
                }
                return found.size() >= count;
            },
            seconds);
        return found;
    }
};

}  // namespace parlendo::testing
