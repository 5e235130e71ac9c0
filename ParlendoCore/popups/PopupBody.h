#pragma once

#include "foundation/VariantAccess.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace parlendo {

// One card of one capture: the capture's UUID (canonical text) and the index of the card's
// popup setting in that capture's list of active settings.
struct PopupID {
    std::string capture;
    std::int64_t slot = 0;
    bool operator==(const PopupID&) const = default;
};

// A rectangle in screen points, in global screen coordinates whose y axis grows upward:
// `y` is the bottom edge.
struct PopupRect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    double maxX() const { return x + width; }
    double maxY() const { return y + height; }
    bool operator==(const PopupRect&) const = default;
};

// One labelled section of a word card; `id` is the content id that produced it.
struct PopupSection {
    std::string id;
    std::string label;
    std::string text;  // lines separated by "\n"
    bool operator==(const PopupSection&) const = default;
};

// What a card shows.
class PopupBody : public VariantAccess<PopupBody> {
  public:
    // Opened before the meaning is known.
    struct Loading {
        std::string title;
        std::string note;
        bool operator==(const Loading&) const = default;
    };
    // The headword, the captured form when it differs, one section per shown content.
    struct Word {
        std::string head;
        std::optional<std::string> original;
        std::vector<PopupSection> sections;
        bool operator==(const Word&) const = default;
    };
    // Plain text: a sentence translation or a notice.
    struct Text {
        std::string text;
        bool operator==(const Text&) const = default;
    };
    // Nothing to show, or the lookup failed.
    struct Failure {
        std::optional<std::string> title;
        std::string message;
        bool operator==(const Failure&) const = default;
    };
    using Value = std::variant<Loading, Word, Text, Failure>;

    PopupBody(Value value) : value_(std::move(value)) {}  // NOLINT: implicit by design

    static PopupBody loading(std::string title, std::string note) {
        return PopupBody(Value{Loading{std::move(title), std::move(note)}});
    }
    static PopupBody word(std::string head, std::optional<std::string> original,
                          std::vector<PopupSection> sections) {
        return PopupBody(Value{Word{std::move(head), std::move(original), std::move(sections)}});
    }
    static PopupBody text(std::string text) { return PopupBody(Value{Text{std::move(text)}}); }
    static PopupBody failure(std::optional<std::string> title, std::string message) {
        return PopupBody(Value{Failure{std::move(title), std::move(message)}});
    }

    const Value& value() const { return value_; }
    bool operator==(const PopupBody&) const = default;

  private:
    Value value_;
};

// Where the cards of a capture are anchored: the selected text's screen rectangle, or the mouse
// position at the time of placement.
class PopupAnchor : public VariantAccess<PopupAnchor> {
  public:
    struct Selection {
        PopupRect rect;
        bool operator==(const Selection&) const = default;
    };
    struct Mouse {
        bool operator==(const Mouse&) const = default;
    };
    using Value = std::variant<Selection, Mouse>;

    PopupAnchor(Value value) : value_(std::move(value)) {}  // NOLINT: implicit by design

    static PopupAnchor selection(PopupRect rect) { return PopupAnchor(Value{Selection{rect}}); }
    static PopupAnchor mouse() { return PopupAnchor(Value{Mouse{}}); }

    const Value& value() const { return value_; }
    bool operator==(const PopupAnchor&) const = default;

  private:
    Value value_;
};

}  // namespace parlendo

template <>
struct std::hash<parlendo::PopupID> {
    size_t operator()(const parlendo::PopupID& id) const noexcept {
        size_t seed = std::hash<std::string>{}(id.capture);
        size_t slot = std::hash<std::int64_t>{}(id.slot);
        return seed ^ (slot + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2));
    }
};
