#include "popups/PopupSettingsRules.h"

#include "foundation/Text.h"
#include "manage/ManageContract.h"
#include "wordbook/LibraryModel.h"

#include <algorithm>

namespace parlendo::PopupSettingsRules {
namespace {

const Json* schemaEntry(std::string_view id) {
    for (const auto& entry : LibraryModel::options()) {
        if (json::string(entry, "id") == id) {
            return &entry;
        }
    }
    return nullptr;
}

// The entry's "choices" when it is a list of strings.
std::optional<std::vector<std::string>> choices(const Json& entry) {
    const Json* list = json::array(entry, "choices");
    if (!list) {
        return std::nullopt;
    }
    std::vector<std::string> out;
    for (const auto& choice : *list) {
        if (!choice.is_string()) {
            return std::nullopt;
        }
        out.push_back(choice.get<std::string>());
    }
    return out;
}

bool accepts(const Json& entry, const Json& value) {
    if (auto list = choices(entry)) {
        return value.is_string() &&
               std::find(list->begin(), list->end(), value.get<std::string>()) != list->end();
    }
    auto number = ManageContract::number(&value);
    if (!number) {
        return false;
    }
    if (auto min = json::number(entry, "min"); min && *number < *min) {
        return false;
    }
    if (auto max = json::number(entry, "max"); max && *number > *max) {
        return false;
    }
    return true;
}

}  // namespace

const std::set<std::string, std::less<>>& contentIDs() {
    static const std::set<std::string, std::less<>> ids = [] {
        std::set<std::string, std::less<>> out;
        for (const auto& entry : LibraryModel::contentTypes()) {
            if (auto id = json::string(entry, "id")) {
                out.insert(*id);
            }
        }
        return out;
    }();
    return ids;
}

std::optional<std::string> name(std::string_view name) {
    std::string_view trimmed = text::trimWhitespaceAndNewlines(name);
    if (trimmed.empty() || text::characterCount(trimmed) > nameMax) {
        return std::nullopt;
    }
    return std::string(trimmed);
}

std::optional<std::vector<std::string>> contents(const std::vector<std::string>& contents) {
    if (contents.empty()) {
        return std::nullopt;
    }
    std::set<std::string_view> seen;
    for (const auto& id : contents) {
        if (!contentIDs().count(id) || !seen.insert(id).second) {
            return std::nullopt;
        }
    }
    return contents;
}

std::optional<Json> options(const Json* options) {
    Json accepted = Json::object();
    if (!options || options->is_null()) {
        return accepted;
    }
    if (!options->is_object()) {
        return std::nullopt;
    }
    for (const auto& [key, value] : options->items()) {
        const Json* entry = schemaEntry(key);
        if (!entry || !accepts(*entry, value)) {
            return std::nullopt;
        }
        accepted[key] = value;
    }
    return accepted;
}

Json spec(const std::vector<std::string>& contents, const Json& options) {
    Json out = Json::object();
    out["contents"] = contents;
    if (options.is_object() && !options.empty()) {
        out["options"] = options;
    }
    return out;
}

}  // namespace parlendo::PopupSettingsRules
