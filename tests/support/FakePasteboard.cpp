#include "FakePasteboard.h"

namespace parlendo::testing {

void FakePasteboard::clear() {
    items_.clear();
    ++changeCount_;
}

void FakePasteboard::write(std::vector<Item> items) {
    items_ = std::move(items);
    ++changeCount_;
}

void FakePasteboard::copyText(const std::string& text) {
    clear();
    write({Item{{textType, text}}});
}

void FakePasteboard::copyImage() {
    clear();
    write({Item{{"image/png", std::string("\x89PNG", 4)}}});
}

std::optional<std::string> FakePasteboard::text() const {
    for (const auto& item : items_) {
        for (const auto& [type, data] : item) {
            if (type == textType) {
                return data;
            }
        }
    }
    return std::nullopt;
}

SavedPasteboard FakePasteboard::save() const {
    return items_;
}

std::int64_t FakePasteboard::restore(const SavedPasteboard& saved) {
    if (const auto* items = std::any_cast<std::vector<Item>>(&saved)) {
        clear();
        std::vector<Item> kept;
        for (const auto& item : *items) {
            if (!item.empty()) {
                kept.push_back(item);
            }
        }
        if (!kept.empty()) {
            write(std::move(kept));
        }
    }
    return changeCount_;
}

}  // namespace parlendo::testing
