#pragma once

#include "foundation/Json.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace parlendo {

// The two kinds of captured input.
enum class PopupInput {
    word,      // "word": a single English word
    sentence,  // "raw_text": a longer text
};
const char* toString(PopupInput input);
std::optional<PopupInput> popupInputFromString(std::string_view raw);

// The display options of one card.
struct PopupOptions {
    enum class Width { narrow, normal, wide };
    static constexpr std::array<Width, 3> allWidths{Width::narrow, Width::normal, Width::wide};

    double duration = 3.0;  // seconds the card stays shown
    Width width = Width::normal;
    double opacity = 0.94;  // a fraction, 0.4 to 1.0

    bool operator==(const PopupOptions&) const = default;

    static PopupOptions standard() { return PopupOptions{}; }
    static constexpr double durationMin = 1.0;
    static constexpr double durationMax = 30.0;
    // Opacity as a row stores it: percent.
    static constexpr double opacityMin = 40.0;
    static constexpr double opacityMax = 100.0;

    // The options of a row's `spec.options` (absent counts as empty). Never fails: each value
    // that is missing or of the wrong kind falls back to the standard one, numbers are clamped.
    static PopupOptions resolve(const Json* options);
};

const char* toString(PopupOptions::Width width);
std::optional<PopupOptions::Width> popupWidthFromString(std::string_view raw);
// The card width in points.
double points(PopupOptions::Width width);

// One of the user's popup settings: which contents its card shows, whether captures shown with it
// are saved, and how the card looks. `contents` only ever holds known content ids, each once.
class PopupSetting {
  public:
    PopupSetting(std::string id, std::string name, std::vector<std::string> contents, bool save,
                 PopupOptions options);

    const std::string& id() const { return id_; }
    const std::string& name() const { return name_; }
    const std::vector<std::string>& contents() const { return contents_; }
    bool save() const { return save_; }
    const PopupOptions& options() const { return options_; }

    // True when one of the contents belongs to `input`.
    bool shows(PopupInput input) const;

    // An `assistants` row as a setting. Never fails: missing or mistyped fields fall back (no id
    // or name: ""; no contents: none; save: true; options: standard). `enabled` is not read.
    static PopupSetting parse(const Json& row);

    // The two rows a new user receives ("단어", "문장"), without id and user id.
    static const std::vector<Json>& defaultRows();
    // The built-in list in force before anything is loaded: the default rows with the ids
    // "fallback-0" and "fallback-1".
    static const std::vector<PopupSetting>& fallback();

    bool operator==(const PopupSetting&) const = default;

  private:
    std::string id_;
    std::string name_;
    std::vector<std::string> contents_;
    bool save_ = true;
    PopupOptions options_;
};

struct PopupLimits {
    // The most cards shown at once.
    static constexpr int maxVisible = 5;
};

// The list of popup settings in force for captures: the enabled ones, in the user's order.
// Called from any thread.
class PopupSettingsProviding {
  public:
    virtual ~PopupSettingsProviding() = default;
    virtual std::vector<PopupSetting> current() const = 0;
};

}  // namespace parlendo
