#pragma once

#include "popups/PopupBody.h"

#include <optional>
#include <string>
#include <vector>

namespace parlendo {

// What a card's scroll area shows for one body: a top-to-bottom list of read-only labels, each
// made of styled runs. The window layer turns the list into widgets; this decides only the
// order, the texts and the styles. Pure.
namespace MeaningView {

enum class Style {
    title,           // bold 15, primary
    note,            // 12, secondary
    bodyText,        // 13, primary
    senseLine,       // 13, primary
    sectionCaption,  // 10, tertiary
    sectionText,     // 11, secondary
    settingLine,     // 10, tertiary
};

// How strong a text's colour is against the card.
enum class Tone { primary, secondary, tertiary };

struct Look {
    double size = 13;  // points
    bool bold = false;
    Tone tone = Tone::primary;
    bool operator==(const Look&) const = default;
};

Look look(Style style);

struct Run {
    Style style = Style::bodyText;
    std::string text;  // valid UTF-8
    bool operator==(const Run&) const = default;
};

struct Label {
    std::vector<Run> runs;
    // False for the setting line: one line, cut at its end with an ellipsis when too long.
    bool wraps = true;
    bool operator==(const Label&) const = default;
};

// The labels of a card showing `body`; `setting` names the card's popup setting (none for a
// notice). Invalid UTF-8 in any text is shown as U+FFFD.
std::vector<Label> render(const PopupBody& body, const std::optional<std::string>& setting);

}  // namespace MeaningView
}  // namespace parlendo
