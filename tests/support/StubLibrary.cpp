#include "StubLibrary.h"

#include "foundation/Clock.h"

#include <algorithm>
#include <cstdio>
#include <numeric>

namespace parlendo::testing {
namespace {

constexpr const char* prefix = "/rest/v1/";
constexpr double epoch = 1'780'000'000.0;

StubLibrary::Response answer(int status, const Json& body) {
    return StubLibrary::Response{status, body.dump()};
}

StubLibrary::Response refused(int status, const std::string& code, const std::string& message) {
    return answer(
        status,
        Json{{"code", code}, {"message", message}, {"details", nullptr}, {"hint", nullptr}});
}

std::optional<std::string> idOf(const Json& row, const std::string& key) {
    return json::string(row, key);
}

bool alive(const Json& row) {
    auto it = row.find("deleted_at");
    return it == row.end() || it->is_null();
}

bool ownedBy(const Json& row, const std::string& user) {
    return json::string(row, "user_id") == user;
}

}  // namespace

StubLibrary::StubLibrary(std::string user) : user_(std::move(user)) {
    for (const auto& [name, key] : {std::pair<const char*, const char*>{"folders", "folder_id"},
                                    {"sources", "source_id"},
                                    {"words", "word_id"},
                                    {"sentences", "sentence_id"},
                                    {"word_senses", "sense_id"},
                                    {"assistants", "id"}}) {
        tables_[name].name = name;
        tables_[name].key = key;
    }
}

std::string StubLibrary::stamp() {
    return isoTimestamp(epoch + static_cast<double>(++clock_) / 1000.0, true);
}

std::string StubLibrary::nextID(const char* kind) {
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%s-%08llu", kind,
                  static_cast<unsigned long long>(++ids_));
    return buffer;
}

std::string StubLibrary::append(const std::string& name, Json row) {
    Table& table = tables_.at(name);
    std::string id = *idOf(row, table.key);
    table.byKey[id] = table.rows.size();
    table.rows.push_back(std::move(row));
    ++table.version;
    ++writes_;
    return id;
}

Json* StubLibrary::find(const std::string& name, const std::string& id) {
    Table& table = tables_.at(name);
    auto it = table.byKey.find(id);
    return it == table.byKey.end() ? nullptr : &table.rows[it->second];
}

std::string StubLibrary::addFolder(const std::string& name, std::optional<std::string> parent,
                                   std::optional<std::string> owner) {
    std::lock_guard lock(mutex_);
    int position = 0;
    for (const auto& row : tables_.at("folders").rows) {
        if (alive(row) && json::string(row, "parent_id") == parent) {
            position = std::max(position, static_cast<int>(row.value("position", 0)) + 1);
        }
    }
    return append("folders", Json{{"folder_id", nextID("folder")},
                                  {"user_id", owner.value_or(user_)},
                                  {"name", name},
                                  {"parent_id", parent ? Json(*parent) : Json(nullptr)},
                                  {"position", position},
                                  {"created_at", stamp()},
                                  {"deleted_at", nullptr}});
}

std::string StubLibrary::addSource(const std::string& title, std::optional<std::string> folder,
                                   std::optional<std::string> owner) {
    std::lock_guard lock(mutex_);
    return append("sources", Json{{"source_id", nextID("source")},
                                  {"user_id", owner.value_or(user_)},
                                  {"title", title},
                                  {"url", nullptr},
                                  {"folder_id", folder ? Json(*folder) : Json(nullptr)},
                                  {"last_seen_at", stamp()},
                                  {"deleted_at", nullptr}});
}

std::string StubLibrary::addWord(const std::string& lemma, std::optional<std::string> source,
                                 const std::string& korean, const std::string& phonetic) {
    std::lock_guard lock(mutex_);
    return append("words", Json{{"word_id", nextID("word")},
                                {"user_id", user_},
                                {"lemma", lemma},
                                {"korean", korean.empty() ? Json(nullptr) : Json(korean)},
                                {"phonetic", phonetic.empty() ? Json(nullptr) : Json(phonetic)},
                                {"source_id", source ? Json(*source) : Json(nullptr)},
                                {"created_at", stamp()},
                                {"deleted_at", nullptr}});
}

std::string StubLibrary::addSentence(const std::string& original,
                                     std::optional<std::string> source) {
    std::lock_guard lock(mutex_);
    return append("sentences", Json{{"sentence_id", nextID("sentence")},
                                    {"user_id", user_},
                                    {"original", original},
                                    {"korean", nullptr},
                                    {"source_id", source ? Json(*source) : Json(nullptr)},
                                    {"created_at", stamp()},
                                    {"deleted_at", nullptr}});
}

void StubLibrary::addSense(const std::string& wordID, int rank, const std::string& korean,
                           const std::string& definition) {
    std::lock_guard lock(mutex_);
    append("word_senses", Json{{"sense_id", nextID("sense")},
                               {"word_id", wordID},
                               {"user_id", user_},
                               {"rank", rank},
                               {"korean", korean},
                               {"definition", definition},
                               {"example", ""},
                               {"pos", "noun"}});
}

void StubLibrary::setReview(const std::string& wordID, const std::string& status, int wrongCount) {
    std::lock_guard lock(mutex_);
    reviews_[wordID] = {status, wrongCount};
}

void StubLibrary::markDeleted(const std::string& table, const std::string& id) {
    std::lock_guard lock(mutex_);
    if (Json* row = find(table, id)) {
        (*row)["deleted_at"] = stamp();
        ++writes_;
    }
}

void StubLibrary::populate(size_t folders, size_t sources, size_t words) {
    std::lock_guard lock(mutex_);
    std::vector<std::string> folderIDs;
    const size_t tops = std::max<size_t>(1, folders / 10);
    for (size_t i = 0; i < folders; ++i) {
        std::optional<std::string> parent;
        if (i >= tops) {
            parent = folderIDs[i % tops];
        }
        folderIDs.push_back(addFolder("폴더 " + std::to_string(i), parent));
    }
    std::vector<std::string> sourceIDs;
    for (size_t i = 0; i < sources; ++i) {
        std::optional<std::string> folder;
        if (!folderIDs.empty()) {
            folder = folderIDs[i % folderIDs.size()];
        }
        sourceIDs.push_back(addSource("Source " + std::to_string(i) + " — 출처", folder));
    }
    for (size_t i = 0; i < words; ++i) {
        std::optional<std::string> source;
        if (!sourceIDs.empty()) {
            source = sourceIDs[i % sourceIDs.size()];
        }
        addWord("word" + std::to_string(i), source, "낱말");
    }
}

std::optional<Json> StubLibrary::row(const std::string& table, const std::string& id) const {
    std::lock_guard lock(mutex_);
    auto& self = const_cast<StubLibrary&>(*this);
    const Json* found = self.find(table, id);
    return found ? std::optional<Json>(*found) : std::nullopt;
}

size_t StubLibrary::count(const std::string& table, bool deleted) const {
    std::lock_guard lock(mutex_);
    const auto& rows = tables_.at(table).rows;
    return static_cast<size_t>(std::count_if(
        rows.begin(), rows.end(), [&](const Json& row) { return alive(row) != deleted; }));
}

DetailedCallResult StubLibrary::call(const std::string& method, const std::string& target,
                                     const std::optional<Json>& body) {
    auto response = handle(method, target, body ? body->dump() : "");
    if (!response) {
        return fail(CallFailureDetail(CallFailure::rejected(404), 404));
    }
    if (response->status >= 200 && response->status < 300) {
        return response->body;
    }
    if (auto rejection = ServerRejection::parse(response->status, response->body)) {
        return fail(CallFailureDetail(CallFailure::rejectedDetail(*rejection), response->status));
    }
    return fail(CallFailureDetail(CallFailure::rejected(response->status), response->status));
}

std::optional<StubLibrary::Response> StubLibrary::handle(const std::string& method,
                                                         const std::string& target,
                                                         const std::string& body) {
    if (target.rfind(prefix, 0) != 0) {
        return std::nullopt;
    }
    auto query = StubQuery::parse(target);
    if (!query) {
        return refused(400, "PGRST100", "unparsable query");
    }
    std::lock_guard lock(mutex_);
    std::string name = query->path.substr(std::string(prefix).size());
    std::optional<Json> parsed;
    if (!body.empty()) {
        parsed = json::parse(body);
        if (!parsed) {
            return refused(400, "PGRST102", "invalid body");
        }
    }
    if (name.rfind("rpc/", 0) == 0) {
        if (method != "POST") {
            return refused(405, "PGRST101", "functions take POST");
        }
        ++writes_;
        return function(name.substr(4), parsed.value_or(Json::object()));
    }
    auto table = tables_.find(name);
    if (table == tables_.end()) {
        return std::nullopt;
    }
    if (method == "GET") {
        std::string shape = target;
        for (const char* param : {"&limit=", "&offset="}) {
            auto at = shape.find(param);
            if (at != std::string::npos) {
                auto end = shape.find('&', at + 1);
                shape.erase(at, end == std::string::npos ? std::string::npos : end - at);
            }
        }
        return read(table->second, *query, shape);
    }
    if (method == "POST" && parsed) {
        return insert(table->second, *query, *parsed);
    }
    if (method == "PATCH" && parsed && parsed->is_object()) {
        return update(table->second, *query, *parsed);
    }
    return refused(405, "PGRST101", "unsupported request");
}

const std::vector<size_t>& StubLibrary::index(Table& table, const std::string& column,
                                              const std::string& value) {
    auto& byValue = table.indexes[column];
    if (table.indexVersions[column] != table.version || byValue.empty()) {
        byValue.clear();
        for (size_t i = 0; i < table.rows.size(); ++i) {
            if (auto v = json::string(table.rows[i], column)) {
                byValue[*v].push_back(i);
            }
        }
        table.indexVersions[column] = table.version;
    }
    static const std::vector<size_t> none;
    auto it = byValue.find(value);
    return it == byValue.end() ? none : it->second;
}

std::vector<size_t> StubLibrary::candidates(Table& table, const StubQuery& query) {
    for (const auto& filter : query.filters) {
        const bool indexed = filter.column == table.key || filter.column == "source_id" ||
                             filter.column == "folder_id" || filter.column == "parent_id" ||
                             filter.column == "word_id";
        if (!indexed || (filter.op != "eq" && filter.op != "in")) {
            continue;
        }
        std::vector<size_t> out;
        for (const auto& value : filter.values) {
            const auto& hits = index(table, filter.column, value);
            out.insert(out.end(), hits.begin(), hits.end());
        }
        std::sort(out.begin(), out.end());
        out.erase(std::unique(out.begin(), out.end()), out.end());
        return out;
    }
    std::vector<size_t> all(table.rows.size());
    std::iota(all.begin(), all.end(), size_t{0});
    return all;
}

Json StubLibrary::embedded(const StubQuery::Embed& embed, const Json& row) {
    StubQuery columns;
    columns.columns = embed.columns;
    if (embed.relation == "sources") {
        auto source = json::string(row, "source_id");
        Json* found = source ? find("sources", *source) : nullptr;
        return found ? columns.project(*found) : Json(nullptr);
    }
    if (embed.relation == "word_senses") {
        Json out = Json::array();
        auto word = json::string(row, "word_id");
        if (word) {
            Table& senses = tables_.at("word_senses");
            for (size_t i : index(senses, "word_id", *word)) {
                out.push_back(columns.project(senses.rows[i]));
            }
        }
        return out;
    }
    return nullptr;
}

StubLibrary::Response StubLibrary::read(Table& table, const StubQuery& query,
                                        const std::string& shape) {
    if (table.sortedAt != writes_) {
        table.sorted.clear();
        table.sortedAt = writes_;
    }
    auto cached = table.sorted.find(shape);
    if (cached == table.sorted.end()) {
        std::vector<size_t> hits;
        for (size_t i : candidates(table, query)) {
            if (query.matches(table.rows[i])) {
                hits.push_back(i);
            }
        }
        std::stable_sort(hits.begin(), hits.end(), [&](size_t a, size_t b) {
            return query.before(table.rows[a], table.rows[b]);
        });
        cached = table.sorted.emplace(shape, std::move(hits)).first;
    }
    const std::vector<size_t>& hits = cached->second;
    size_t end = hits.size();
    if (query.limit) {
        end = std::min(hits.size(), query.offset + *query.limit);
    }
    Json out = Json::array();
    for (size_t k = query.offset; k < end; ++k) {
        Json shown = query.project(table.rows[hits[k]]);
        for (const auto& embed : query.embeds) {
            shown[embed.relation] = embedded(embed, table.rows[hits[k]]);
        }
        out.push_back(std::move(shown));
    }
    return answer(200, out);
}

StubLibrary::Response StubLibrary::insert(Table& table, const StubQuery& query, const Json& body) {
    Json rows = body.is_array() ? body : Json::array({body});
    Json out = Json::array();
    for (auto& row : rows) {
        if (!row.is_object()) {
            return refused(400, "PGRST102", "rows must be objects");
        }
        if (!row.contains(table.key)) {
            row[table.key] = nextID(table.key.substr(0, table.key.find('_')).c_str());
        }
        auto id = idOf(row, table.key);
        if (!id) {
            return refused(400, "22P02", "invalid key");
        }
        if (find(table.name, *id)) {
            return refused(409, "23505", "duplicate key");
        }
        if (auto parent = json::string(row, "parent_id");
            table.name == "folders" && parent && !find("folders", *parent)) {
            return refused(409, "23503", "parent folder does not exist");
        }
        row["created_at"] = stamp();
        row["deleted_at"] = nullptr;
        append(table.name, row);
        out.push_back(query.project(row));
    }
    return answer(201, out);
}

bool StubLibrary::titleTaken(const std::string& owner, const std::string& title,
                             const std::string& except) const {
    for (const auto& row : tables_.at("sources").rows) {
        if (alive(row) && ownedBy(row, owner) && json::string(row, "title") == title &&
            json::string(row, "source_id") != except) {
            return true;
        }
    }
    return false;
}

StubLibrary::Response StubLibrary::update(Table& table, const StubQuery& query, const Json& body) {
    std::vector<size_t> hits;
    for (size_t i : candidates(table, query)) {
        if (query.matches(table.rows[i])) {
            hits.push_back(i);
        }
    }
    // Check every row first: an update that breaks a constraint changes nothing.
    for (size_t i : hits) {
        const Json& row = table.rows[i];
        if (table.key == "source_id" && body.contains("title") &&
            titleTaken(*json::string(row, "user_id"), body["title"].get<std::string>(),
                       *idOf(row, table.key))) {
            return refused(409, "23505", "duplicate key value violates unique constraint");
        }
    }
    ++writes_;
    Json out = Json::array();
    for (size_t i : hits) {
        table.rows[i].update(body);
        out.push_back(query.project(table.rows[i]));
    }
    // The indexes hold ids and parents; other columns leave them valid.
    for (const char* column : {"folder_id", "parent_id", "source_id", "word_id"}) {
        if (body.contains(column)) {
            ++table.version;
        }
    }
    return answer(200, out);
}

}  // namespace parlendo::testing
