#pragma once

#include "aitalk/AnswerState.h"
#include "foundation/Json.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace parlendo {

// The sizes and places of the answer window, its follow-up input and the solid areas of its page.
// Window rectangles are in the screen's visible area with y pointing up (the origin is a window's
// bottom-left corner); page rectangles are in the page's viewport (y down). Pure.
namespace AnswerLayout {

inline constexpr double width = 420.0;
inline constexpr double minHeight = 160.0;
inline constexpr double maxHeight = 560.0;
inline constexpr double minWidth = 300.0;
inline constexpr double marginRight = 16.0;
inline constexpr double marginTop = 24.0;
inline constexpr int inputMaxLines = 4;
inline constexpr double inputBaseHeight = 36.0;
inline constexpr double sizeMax = 4000.0;

struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
    bool operator==(const Rect&) const = default;
};

// The window height for the content: rounded up, within 160...560.
double height(double content);
// A window of the wanted size in the top-right corner of the visible area.
Rect initialFrame(const Rect& visible, double width, double height);
// The window with a new height and its top edge kept, pinned inside the area's bottom.
Rect resized(const Rect& frame, double height, const Rect& visible);
// The saved size "w,h": width 300...4000, height 160...4000; nothing otherwise.
std::optional<std::pair<double, double>> parseSize(const std::optional<std::string>& text);
std::string sizeText(double width, double height);
// The lines of the follow-up input's text.
int inputLines(double textHeight, double lineHeight);
double inputBoxHeight(int lines, double lineHeight);
// The page's answer to its `solids` query as rectangles; nothing for anything but a list.
std::optional<std::vector<Rect>> solids(const std::optional<Json>& answer);
// Whether a page point lies on no solid area (false while the solids are unknown).
bool isBlank(double x, double y, const std::optional<std::vector<Rect>>& solids);

}  // namespace AnswerLayout

// The answer window's automatic close: 10 seconds after an answer, counted only while an answer is
// shown and nothing pauses it.
struct AnswerCountdown {
    static constexpr double total = 10.0;
    double remaining = total;

    void restart() { remaining = total; }
    // Whether the countdown ran out.
    bool tick(double elapsed, AnswerState::Phase phase, bool paused);
    double fraction() const;
    bool operator==(const AnswerCountdown&) const = default;
};

// What Return does in the follow-up input.
namespace AnswerInputKey {
enum class Action { send, newline, wait };
// `option` is Alt here.
Action onReturn(bool shift, bool option, bool composing);
}  // namespace AnswerInputKey

}  // namespace parlendo
