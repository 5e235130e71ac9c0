#include "popups/PopupSetting.h"

#include "popups/PopupPresentation.h"

#include <algorithm>
#include <cmath>

namespace parlendo {

const char* toString(PopupInput input) {
    switch (input) {
        case PopupInput::word:
            return "word";
        case PopupInput::sentence:
            return "raw_text";
    }
    return "";
}

std::optional<PopupInput> popupInputFromString(std::string_view raw) {
    if (raw == "word") {
        return PopupInput::word;
    }
    if (raw == "raw_text") {
        return PopupInput::sentence;
    }
    return std::nullopt;
}

const char* toString(PopupOptions::Width width) {
    switch (width) {
        case PopupOptions::Width::narrow:
            return "narrow";
        case PopupOptions::Width::normal:
            return "normal";
        case PopupOptions::Width::wide:
            return "wide";
    }
    return "";
}

std::optional<PopupOptions::Width> popupWidthFromString(std::string_view raw) {
    for (auto width : PopupOptions::allWidths) {
        if (raw == toString(width)) {
            return width;
        }
    }
    return std::nullopt;
}

double points(PopupOptions::Width width) {
    switch (width) {
        case PopupOptions::Width::narrow:
            return 220;
        case PopupOptions::Width::normal:
            return 320;
        case PopupOptions::Width::wide:
            return 440;
    }
    return 320;
}

PopupOptions PopupOptions::resolve(const Json* options) {
    const Json empty = Json::object();
    const Json& source = options && options->is_object() ? *options : empty;
    PopupOptions out;
    if (auto duration = json::number(source, "duration")) {
        out.duration = std::min(std::max(*duration, durationMin), durationMax);
    }
    if (auto opacity = json::number(source, "opacity")) {
        out.opacity = *opacity <= opacityMin ? 0.4 : std::min(*opacity, opacityMax) / 100.0;
    }
    if (auto width = json::string(source, "width")) {
        out.width = popupWidthFromString(*width).value_or(Width::normal);
    }
    return out;
}

PopupSetting::PopupSetting(std::string id, std::string name, std::vector<std::string> contents,
                           bool save, PopupOptions options)
    : id_(std::move(id)),
      name_(std::move(name)),
      contents_(PopupPresentation::validContents(contents)),
      save_(save),
      options_(options) {}

bool PopupSetting::shows(PopupInput input) const {
    return std::any_of(contents_.begin(), contents_.end(), [input](const std::string& id) {
        return PopupPresentation::input(id) == input;
    });
}

PopupSetting PopupSetting::parse(const Json& row) {
    const Json* specMember = json::object(row, "spec");
    const Json spec = specMember ? *specMember : Json::object();

    std::string id;
    if (row.is_object() && row.contains("id")) {
        const Json& raw = row["id"];
        if (raw.is_string()) {
            id = raw.get<std::string>();
        } else if (raw.is_number_integer()) {
            id = raw.dump();
        } else if (raw.is_number_float()) {
            // A fractional id keeps its decimal text; a whole one is written without a fraction.
            double value = raw.get<double>();
            id = std::fabs(value) < 1e15 && std::trunc(value) == value
                     ? std::to_string(static_cast<long long>(value))
                     : raw.dump();
        }
    }

    std::vector<std::string> contents;
    if (const Json* list = json::array(spec, "contents")) {
        for (const auto& element : *list) {
            if (element.is_string()) {
                contents.push_back(element.get<std::string>());
            }
        }
    }

    return PopupSetting(std::move(id), json::string(row, "name").value_or(""), std::move(contents),
                        json::boolean(row, "save").value_or(true),
                        PopupOptions::resolve(json::object(spec, "options")));
}

const std::vector<Json>& PopupSetting::defaultRows() {
    static const std::vector<Json> rows = [] {
        Json word = Json::object();
        word["name"] = "단어";
        word["enabled"] = true;
        word["save"] = true;
        word["spec"] = {{"contents", Json::array({"korean"})}};
        word["position"] = 0;
        Json sentence = Json::object();
        sentence["name"] = "문장";
        sentence["enabled"] = true;
        sentence["save"] = false;
        sentence["spec"] = {{"contents", Json::array({"translation"})}};
        sentence["position"] = 1;
        return std::vector<Json>{word, sentence};
    }();
    return rows;
}

const std::vector<PopupSetting>& PopupSetting::fallback() {
    static const std::vector<PopupSetting> list = [] {
        std::vector<PopupSetting> out;
        const auto& rows = defaultRows();
        for (size_t i = 0; i < rows.size(); ++i) {
            Json row = rows[i];
            row["id"] = "fallback-" + std::to_string(i);
            out.push_back(parse(row));
        }
        return out;
    }();
    return list;
}

}  // namespace parlendo
