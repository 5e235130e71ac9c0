#include "wordbook/LibraryModel.h"

#include "foundation/PyText.h"
#include "wordbook/WordTexts.h"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <numeric>
#include <string_view>
#include <unordered_map>

namespace parlendo::LibraryModel {
namespace {

// A string member, or "" when it is missing or not a string (timestamps compare this way).
std::string text(const Json& row, const char* key) {
    return json::string(row, key).value_or("");
}

// The member rendered as text for ordering: a string as it is, any other value as its JSON
// text, "" when missing or null.
std::string rendered(const Json& row, const char* key) {
    if (!row.is_object()) {
        return "";
    }
    auto it = row.find(key);
    if (it == row.end() || it->is_null()) {
        return "";
    }
    if (it->is_string()) {
        return it->get<std::string>();
    }
    return json::dumpLossy(*it);
}

bool present(const Json& row, const char* key) {
    return row.is_object() && row.contains(key);
}

// Indices of `rows` ordered by `before` (a strict weak order), ties in given order.
template <class Key, class Before>
std::vector<size_t> stableOrder(const std::vector<Key>& keys, Before before) {
    std::vector<size_t> order(keys.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return before(keys[a], keys[b]); });
    return order;
}

bool nonEmptyString(const Json& value) {
    return value.is_string() && !value.get_ref<const std::string&>().empty();
}

// The `title` string of a word row's embedded source (an object, or an array whose first element
// is one); none otherwise.
Json* embeddedTitle(Json& source) {
    Json* object = &source;
    if (object->is_array()) {
        if (object->empty()) {
            return nullptr;
        }
        object = &object->front();
    }
    if (!object->is_object()) {
        return nullptr;
    }
    auto it = object->find("title");
    return it != object->end() && it->is_string() ? &*it : nullptr;
}

// Turns a row, in place, into the object that stands for it in search results. The members the
// result keeps stay where they are; every other member leaves the row, and the map nodes of the
// first two that leave are reused for the members the result adds. A search may list a whole word
// book, so its rows become results instead of being copied into new objects. A row that is not an
// object becomes an empty one first.
class ResultShape {
  public:
    // `leaving(key, value)` sees each member that is not kept just before it leaves, and may take
    // its value.
    template <class Leaving>
    ResultShape(Json& row, std::initializer_list<std::string_view> kept, Leaving leaving) {
        if (!row.is_object()) {
            row = Json::object();
        }
        object_ = &row.get_ref<Json::object_t&>();
        for (auto it = object_->begin(); it != object_->end();) {
            if (std::find(kept.begin(), kept.end(), it->first) != kept.end()) {
                ++it;
                continue;
            }
            leaving(it->first, it->second);
            auto next = std::next(it);
            if (spareCount_ < spare_.size()) {
                spare_[spareCount_++] = object_->extract(it);
            } else {
                object_->erase(it);
            }
            it = next;
        }
    }

    // Adds a member that is not among the kept ones.
    void add(std::string_view key, Json value) {
        if (spareCount_ == 0) {
            object_->emplace(std::string(key), std::move(value));
            return;
        }
        auto& node = spare_[--spareCount_];
        node.key() = key;
        node.mapped() = std::move(value);
        object_->insert(std::move(node));
    }

    // Gives a kept member that the row lacks the value `fallback`.
    void fill(std::string_view key, Json fallback) {
        auto at = object_->lower_bound(key);
        if (at == object_->end() || at->first != key) {
            object_->emplace_hint(at, std::string(key), std::move(fallback));
        }
    }

  private:
    Json::object_t* object_ = nullptr;
    std::array<Json::object_t::node_type, 2> spare_;
    size_t spareCount_ = 0;
};

// The result of a folder or source row: {"kind", the id as it is ("" when absent), the name when
// it is a non-empty string, else `unnamed`}.
Json namedResult(Json row, const char* kind, const char* idKey, const char* nameKey,
                 const char* unnamed) {
    Json name;
    ResultShape shape(row, {idKey}, [&](const std::string& key, Json& value) {
        if (key == nameKey && nonEmptyString(value)) {
            name = std::move(value);
        }
    });
    shape.add("kind", kind);
    shape.add(nameKey, name.is_null() ? Json(unnamed) : std::move(name));
    shape.fill(idKey, "");
    return row;
}

}  // namespace

std::optional<std::string> id(const Json& row, const char* key) {
    return json::string(row, key);
}

const std::map<std::string, int>& searchLimits() {
    static const std::map<std::string, int> limits{{"folder", 25}, {"source", 25}, {"word", 50}};
    return limits;
}

Json tree(std::vector<Json> folders, std::vector<Json> sources) {
    std::vector<std::string> seen;
    seen.reserve(sources.size());
    for (const auto& row : sources) {
        seen.push_back(text(row, "last_seen_at"));
    }
    auto order =
        stableOrder(seen, [](const std::string& a, const std::string& b) { return a > b; });
    Json::array_t sorted;
    sorted.reserve(sources.size());
    for (size_t index : order) {
        sorted.push_back(std::move(sources[index]));
    }
    Json::object_t out;
    out.emplace("folders", Json::array_t(std::make_move_iterator(folders.begin()),
                                         std::make_move_iterator(folders.end())));
    out.emplace("sources", std::move(sorted));
    return Json(std::move(out));
}

std::optional<Json> wordPage(const std::vector<Json>& rows, int cap) {
    for (const auto& row : rows) {
        if (!row.is_object() || row.empty() || !row.contains("word_id") ||
            row["word_id"].is_null()) {
            return std::nullopt;
        }
    }
    const bool full = static_cast<long long>(rows.size()) >= cap;
    return Json{{"words", Json(rows)},
                {"capped", full},
                {"has_more", full ? Json(nullptr) : Json(false)},
                {"total", nullptr}};
}

std::vector<std::string> descendantFolderIDs(const std::optional<std::string>& of,
                                             const std::vector<Json>& folders) {
    std::vector<std::string> result;
    if (!of) {
        for (const auto& row : folders) {
            if (auto folder = id(row, "folder_id")) {
                result.push_back(std::move(*folder));
            }
        }
        return result;
    }
    // Children by parent, in row order, so that the walk is linear in the number of rows.
    std::unordered_map<std::string, std::vector<std::string>> children;
    for (const auto& row : folders) {
        auto parent = id(row, "parent_id");
        auto folder = id(row, "folder_id");
        if (parent && folder) {
            children[*parent].push_back(std::move(*folder));
        }
    }
    std::unordered_set<std::string> seen{*of};
    result.push_back(*of);
    for (size_t next = 0; next < result.size(); ++next) {
        auto found = children.find(result[next]);
        if (found == children.end()) {
            continue;
        }
        for (const auto& child : found->second) {
            if (seen.insert(child).second) {
                result.push_back(child);
            }
        }
    }
    return result;
}

int wordChunkLimit(int cap) {
    return static_cast<int>(std::min<long long>(static_cast<long long>(cap) + 1, pageSize));
}

Json mergeWords(const std::vector<std::vector<Json>>& chunks, int cap) {
    const auto limit = static_cast<size_t>(std::max(wordChunkLimit(cap), 0));
    bool chunkFull = false;
    std::vector<const Json*> all;
    for (const auto& chunk : chunks) {
        chunkFull = chunkFull || chunk.size() >= limit;
        for (const auto& row : chunk) {
            all.push_back(&row);
        }
    }
    std::vector<std::pair<std::string, std::string>> keys;
    keys.reserve(all.size());
    for (const Json* row : all) {
        keys.emplace_back(text(*row, "created_at"), rendered(*row, "word_id"));
    }
    auto order = stableOrder(keys, [](const auto& a, const auto& b) { return a > b; });
    const size_t kept = std::min(order.size(), static_cast<size_t>(std::max(cap, 0)));
    Json words = Json::array();
    for (size_t i = 0; i < kept; ++i) {
        words.push_back(*all[order[i]]);
    }
    const bool capped = chunkFull || all.size() > static_cast<size_t>(std::max(cap, 0));
    return Json{{"words", std::move(words)}, {"capped", capped}};
}

Json reviewStates(const std::vector<std::string>& requested, const std::vector<Json>& rows) {
    Json states = Json::object();
    for (const auto& word : requested) {
        states[word] = Json{{"status", statusNew}, {"wrong_count", 0}};
    }
    for (const auto& row : rows) {
        auto word = id(row, "id");
        if (!word || !states.contains(*word)) {
            continue;
        }
        states[*word] = Json{{"status", json::string(row, "status").value_or(statusNew)},
                             {"wrong_count", json::integer(row, "wrong_count").value_or(0)}};
    }
    return states;
}

Json wordDetails(const std::vector<Json>& rows) {
    Json details = Json::object();
    for (const auto& row : rows) {
        auto word = id(row, "word_id");
        if (!word) {
            continue;
        }
        std::vector<Json> senses;
        if (const Json* list = json::array(row, "word_senses");
            list && std::all_of(list->begin(), list->end(),
                                [](const Json& sense) { return sense.is_object(); })) {
            senses.assign(list->begin(), list->end());
        }
        std::vector<std::int64_t> ranks;
        ranks.reserve(senses.size());
        for (const auto& sense : senses) {
            ranks.push_back(json::integer(sense, "rank").value_or(0));
        }
        auto order = stableOrder(ranks, [](std::int64_t a, std::int64_t b) { return a < b; });
        Json sorted = Json::array();
        for (size_t index : order) {
            sorted.push_back(std::move(senses[index]));
        }
        Json entry{{"senses", std::move(sorted)}};
        if (present(row, "korean") && !row["korean"].is_null()) {
            entry["korean"] = row["korean"];
        }
        if (auto phonetic = json::string(row, "phonetic"); phonetic && !phonetic->empty()) {
            entry["phonetic"] = *phonetic;
        }
        Json texts = Json::object();
        for (auto& [content, shown] : WordTexts::all(entry)) {
            texts[content] = std::move(shown);
        }
        details[*word] = std::move(texts);
    }
    return details;
}

std::optional<std::string> searchPattern(const std::string& query) {
    // The first six would act as list or group syntax of a filter or as `ilike` wildcards; a
    // double quote or a backslash would quote or escape inside an `or=(...)` filter.
    static constexpr char replaced[] = {',', '(', ')', '*', '%', '_', '"', '\\'};
    std::string text = PyText::strip(query);
    for (char c : replaced) {
        std::replace(text.begin(), text.end(), c, ' ');
    }
    text = PyText::strip(text);
    if (text.empty()) {
        return std::nullopt;
    }
    return "*" + text + "*";
}

std::vector<Json> searchResults(std::vector<Json> folders, std::vector<Json> sources,
                                std::vector<Json> words) {
    std::vector<Json> out;
    out.reserve(folders.size() + sources.size() + words.size());
    for (auto& row : folders) {
        out.push_back(namedResult(std::move(row), "folder", "folder_id", "name", "(이름 없음)"));
    }
    for (auto& row : sources) {
        out.push_back(namedResult(std::move(row), "source", "source_id", "title", "(제목 없음)"));
    }
    for (auto& row : words) {
        Json title;
        ResultShape shape(row, {"word_id", "lemma", "korean", "source_id"},
                          [&](const std::string& key, Json& value) {
                              if (key == "sources") {
                                  if (Json* found = embeddedTitle(value)) {
                                      title = std::move(*found);
                                  }
                              }
                          });
        shape.add("kind", "word");
        shape.add("source_title", title.is_null() ? Json("(단어장)") : std::move(title));
        shape.fill("word_id", "");
        shape.fill("lemma", "");
        shape.fill("korean", nullptr);
        shape.fill("source_id", nullptr);
        out.push_back(std::move(row));
    }
    return out;
}

std::optional<Json> searchPage(std::vector<Json> rows) {
    const auto& limits = searchLimits();
    std::map<std::string_view, int> counts;
    for (const auto& row : rows) {
        const Json* kind = nullptr;
        if (row.is_object()) {
            if (auto it = row.find("kind"); it != row.end() && it->is_string()) {
                kind = &*it;
            }
        }
        auto limit = kind ? limits.find(kind->get_ref<const std::string&>()) : limits.end();
        if (limit == limits.end()) {
            return std::nullopt;
        }
        ++counts[limit->first];
    }
    bool capped = false;
    for (const auto& [kind, limit] : limits) {
        capped = capped || counts[kind] >= limit;
    }
    Json::object_t page;
    page.emplace("rows", Json::array_t(std::make_move_iterator(rows.begin()),
                                       std::make_move_iterator(rows.end())));
    page.emplace("capped", capped);
    page.emplace("total", nullptr);
    page.emplace("limits", Json(limits));
    return Json(std::move(page));
}

Json trash(const std::vector<Json>& folders, const std::vector<Json>& sources,
           const std::vector<Json>& words, const std::vector<Json>& sentences,
           const std::unordered_set<std::string>& aliveFolderIDs,
           const std::unordered_set<std::string>& aliveSourceIDs) {
    // Listed when the parent is absent (not a string) or alive.
    auto underAliveOrNone = [](const std::vector<Json>& rows, const char* parentKey,
                               const std::unordered_set<std::string>& alive) {
        Json out = Json::array();
        for (const auto& row : rows) {
            auto parent = id(row, parentKey);
            if (!parent || alive.contains(*parent)) {
                out.push_back(row);
            }
        }
        return out;
    };
    // Listed only when the source is named and alive.
    auto underAlive = [](const std::vector<Json>& rows,
                         const std::unordered_set<std::string>& alive) {
        Json out = Json::array();
        for (const auto& row : rows) {
            auto source = id(row, "source_id");
            if (source && alive.contains(*source)) {
                out.push_back(row);
            }
        }
        return out;
    };
    return Json{{"folders", underAliveOrNone(folders, "parent_id", aliveFolderIDs)},
                {"sources", underAliveOrNone(sources, "folder_id", aliveFolderIDs)},
                {"words", underAlive(words, aliveSourceIDs)},
                {"sentences", underAlive(sentences, aliveSourceIDs)}};
}

const Json& contentTypes() {
    static const Json table = Json::array({
        {{"id", "definition"}, {"label", "영어 정의"}, {"input", "word"}},
        {{"id", "example"}, {"label", "예문"}, {"input", "word"}},
        {{"id", "phonetic"}, {"label", "발음기호"}, {"input", "word"}},
        {{"id", "korean"}, {"label", "한글 뜻"}, {"input", "word"}},
        {{"id", "translation"}, {"label", "문장 번역"}, {"input", "raw_text"}},
    });
    return table;
}

const Json& options() {
    static const Json table = [] {
        Json duration = Json::object();
        duration["id"] = "duration";
        duration["label"] = "팝업 지속시간(초)";
        duration["default"] = 3.0;
        duration["min"] = 1.0;
        duration["max"] = 30.0;
        duration["choices"] = nullptr;

        Json width = Json::object();
        width["id"] = "width";
        width["label"] = "팝업 폭";
        width["default"] = "normal";
        width["min"] = nullptr;
        width["max"] = nullptr;
        width["choices"] = Json::array({"narrow", "normal", "wide"});

        Json opacity = Json::object();
        opacity["id"] = "opacity";
        opacity["label"] = "팝업 불투명도(%)";
        opacity["default"] = 94;
        opacity["min"] = 40;
        opacity["max"] = 100;
        opacity["choices"] = nullptr;

        return Json::array({duration, width, opacity});
    }();
    return table;
}

Json assistants(const std::vector<Json>& rows) {
    Json out = Json::array();
    for (const auto& row : rows) {
        const Json* specMember = json::object(row, "spec");
        const Json spec = specMember ? *specMember : Json::object();
        const Json* contents = json::array(spec, "contents");
        const Json* options = json::object(spec, "options");

        Json item = Json::object();
        item["id"] = row.is_object() && row.contains("id") ? row["id"] : Json("");
        item["name"] = row.is_object() && row.contains("name") ? row["name"] : Json("");
        item["enabled"] = json::boolean(row, "enabled").value_or(true);
        item["save"] = json::boolean(row, "save").value_or(true);
        item["contents"] = contents ? *contents : Json::array();
        item["options"] = options ? *options : Json::object();
        const Json* position =
            row.is_object() && row.contains("position") ? &row["position"] : nullptr;
        item["position"] = position && position->is_number_integer() ? *position : Json(0);
        out.push_back(std::move(item));
    }
    return out;
}

}  // namespace parlendo::LibraryModel
