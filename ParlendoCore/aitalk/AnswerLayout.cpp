#include "aitalk/AnswerLayout.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace parlendo {

namespace AnswerLayout {

double height(double content) {
    return std::clamp(std::ceil(content), minHeight, maxHeight);
}

Rect initialFrame(const Rect& visible, double w, double h) {
    Rect out;
    out.width = std::min(visible.width - 2 * marginRight, w);
    out.height = std::min(visible.height - 2 * marginTop, h);
    out.x = visible.x + visible.width - marginRight - out.width;
    out.y = visible.y + visible.height - marginTop - out.height;
    return out;
}

Rect resized(const Rect& frame, double h, const Rect& visible) {
    Rect out = frame;
    out.height = h;
    out.y = frame.y + frame.height - h;
    if (out.y < visible.y) {
        out.y = std::min(visible.y + visible.height - h, visible.y);
    }
    return out;
}

namespace {

std::optional<double> number(std::string_view text) {
    if (text.empty()) {
        return std::nullopt;
    }
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

std::optional<std::pair<double, double>> parseSize(const std::optional<std::string>& text) {
    if (!text) {
        return std::nullopt;
    }
    std::vector<std::string_view> pieces;
    std::string_view rest(*text);
    while (true) {
        const size_t comma = rest.find(',');
        const std::string_view piece = rest.substr(0, comma);
        if (!piece.empty()) {
            pieces.push_back(piece);
        }
        if (comma == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(comma + 1);
    }
    if (pieces.size() != 2) {
        return std::nullopt;
    }
    const auto w = number(pieces[0]);
    const auto h = number(pieces[1]);
    if (!w || !h || *w < minWidth || *w > sizeMax || *h < minHeight || *h > sizeMax) {
        return std::nullopt;
    }
    return std::make_pair(*w, *h);
}

std::string sizeText(double w, double h) {
    return std::to_string(static_cast<long long>(std::round(w))) + "," +
           std::to_string(static_cast<long long>(std::round(h)));
}

int inputLines(double textHeight, double lineHeight) {
    if (lineHeight <= 0 || !std::isfinite(textHeight)) {
        return 1;
    }
    return std::max(1, static_cast<int>(std::lround(textHeight / lineHeight)));
}

double inputBoxHeight(int lines, double lineHeight) {
    return inputBaseHeight + lineHeight * (std::clamp(lines, 1, inputMaxLines) - 1);
}

std::optional<std::vector<Rect>> solids(const std::optional<Json>& answer) {
    if (!answer || !answer->is_array()) {
        return std::nullopt;
    }
    std::vector<Rect> out;
    for (const auto& item : *answer) {
        if (!item.is_array() || item.size() != 4 ||
            !std::all_of(item.begin(), item.end(), [](const Json& v) { return v.is_number(); })) {
            continue;
        }
        out.push_back(Rect{item[0].get<double>(), item[1].get<double>(), item[2].get<double>(),
                           item[3].get<double>()});
    }
    return out;
}

bool isBlank(double x, double y, const std::optional<std::vector<Rect>>& solids) {
    if (!solids) {
        return false;
    }
    return std::none_of(solids->begin(), solids->end(), [&](const Rect& r) {
        return x >= r.x && x < r.x + r.width && y >= r.y && y < r.y + r.height;
    });
}

}  // namespace AnswerLayout

bool AnswerCountdown::tick(double elapsed, AnswerState::Phase phase, bool paused) {
    if (phase != AnswerState::Phase::answered || paused) {
        return false;
    }
    remaining -= elapsed;
    return remaining <= 0;
}

double AnswerCountdown::fraction() const {
    return std::clamp(remaining / total, 0.0, 1.0);
}

namespace AnswerInputKey {

Action onReturn(bool shift, bool option, bool composing) {
    if (composing) {
        return Action::wait;
    }
    if (shift || option) {
        return Action::newline;
    }
    return Action::send;
}

}  // namespace AnswerInputKey
}  // namespace parlendo
