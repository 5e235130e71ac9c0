#include "DriveStub.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>

namespace parlendo::testing {

namespace {

constexpr const char* rest = "/rest/v1/";

std::string decode(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::vector<std::string> split(const std::string& text, char by) {
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        const size_t at = text.find(by, start);
        out.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos) {
            return out;
        }
        start = at + 1;
    }
}

std::string text(const Json& row, const char* key) {
    auto it = row.find(key);
    return it != row.end() && it->is_string() ? it->get<std::string>() : "";
}

bool isNull(const Json& row, const std::string& key) {
    auto it = row.find(key);
    return it == row.end() || it->is_null();
}

// Whether a row passes one filter value ("eq.x", "is.null", "not.is.null", "in.(a,b)").
bool passes(const Json& row, const std::string& column, const std::string& filter) {
    if (filter == "is.null") {
        return isNull(row, column);
    }
    if (filter == "not.is.null") {
        return !isNull(row, column);
    }
    auto it = row.find(column);
    std::string value;
    if (it != row.end() && it->is_string()) {
        value = it->get<std::string>();
    } else if (it != row.end() && it->is_boolean()) {
        value = it->get<bool>() ? "true" : "false";
    } else if (it != row.end() && it->is_number()) {
        value = it->dump();
    } else {
        return false;
    }
    if (filter.rfind("eq.", 0) == 0) {
        return value == filter.substr(3);
    }
    if (filter.rfind("in.(", 0) == 0 && filter.back() == ')') {
        for (const auto& v : split(filter.substr(4, filter.size() - 5), ',')) {
            if (v == value) {
                return true;
            }
        }
    }
    return false;
}

DetailedCallResult answerRows(const std::vector<Json>& list) {
    return Json(list).dump();
}

}  // namespace

std::string DriveStub::stamp() {
    ++clock_;
    const auto now = std::chrono::system_clock::now() + std::chrono::milliseconds(clock_);
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<int>(ms));
    return buffer;
}

std::string DriveStub::nextID(const char* prefix) {
    return std::string(prefix) + "-" + std::to_string(++ids_);
}

DriveStub::Rows* DriveStub::rows(const std::string& table) {
    return &tables_[table];
}

Json* DriveStub::find(Rows& list, const std::string& id) {
    for (auto& row : list) {
        if (text(row, "id") == id) {
            return &row;
        }
    }
    return nullptr;
}

std::optional<DetailedCallResult> DriveStub::call(const std::string& method,
                                                  const std::string& target,
                                                  const std::optional<Json>& body) {
    if (target.rfind(rest, 0) != 0) {
        return std::nullopt;
    }
    const std::string rest_ = target.substr(std::char_traits<char>::length(rest));
    const size_t q = rest_.find('?');
    const std::string table = rest_.substr(0, q);
    if (table.rfind("drive_", 0) != 0 && table.rfind("rpc/drive_", 0) != 0) {
        return std::nullopt;
    }
    Params params;
    if (q != std::string::npos) {
        for (const auto& pair : split(rest_.substr(q + 1), '&')) {
            const size_t eq = pair.find('=');
            if (eq != std::string::npos) {
                params[pair.substr(0, eq)] = decode(pair.substr(eq + 1));
            }
        }
    }
    std::lock_guard lock(mutex_);
    if (table.rfind("rpc/", 0) == 0) {
        return function(table.substr(4), body.value_or(Json::object()));
    }
    if (method == "GET") {
        return read(table, params);
    }
    return write(method, table, params, body.value_or(Json::object()));
}

Json DriveStub::listProjects() const {
    Json out = Json::array();
    const auto& docs = tables_.count("drive_documents") ? tables_.at("drive_documents") : Rows{};
    const auto& pops = tables_.count("drive_popups") ? tables_.at("drive_popups") : Rows{};
    if (!tables_.count("drive_drives")) {
        return out;
    }
    for (const auto& d : tables_.at("drive_drives")) {
        if (!isNull(d, "deleted_at")) {
            continue;
        }
        int count = 0;
        std::string last;
        for (const auto& doc : docs) {
            if (text(doc, "drive_id") == text(d, "id") && isNull(doc, "deleted_at")) {
                ++count;
                last = std::max(last, text(doc, "created_at"));
            }
        }
        Json active = Json::array();
        for (const auto& p : pops) {
            if (text(p, "drive_id") == text(d, "id") && isNull(p, "deleted_at") &&
                p.value("is_active", false)) {
                active.push_back({{"name", p.value("name", "")}});
            }
        }
        out.push_back(
            {{"id", d["id"]},
             {"kind", d["kind"]},
             {"name", d["name"]},
             {"created_at", d["created_at"]},
             {"docs", Json::array({{{"count", count}}})},
             {"last", last.empty() ? Json::array() : Json::array({{{"created_at", last}}})},
             {"pops", active}});
    }
    return out;
}

DetailedCallResult DriveStub::read(const std::string& table, const Params& q) {
    const std::string select = q.count("select") ? q.at("select") : "*";
    if (table == "drive_drives" && select.find("docs:") != std::string::npos) {
        return listProjects().dump();
    }
    std::vector<Json> matched;
    for (const auto& row : *rows(table)) {
        bool ok = true;
        for (const auto& [key, value] : q) {
            if (key == "select" || key == "order" || key == "limit" || key == "offset" ||
                key.find('.') != std::string::npos) {
                continue;
            }
            ok = ok && passes(row, key, value);
        }
        if (ok) {
            matched.push_back(row);
        }
    }
    if (q.count("order")) {
        const auto parts = split(split(q.at("order"), ',').front(), '.');
        const std::string column = parts.front();
        const bool descending = parts.size() > 1 && parts[1] == "desc";
        std::stable_sort(matched.begin(), matched.end(), [&](const Json& a, const Json& b) {
            const Json& x = a.contains(column) ? a[column] : Json();
            const Json& y = b.contains(column) ? b[column] : Json();
            return descending ? y < x : x < y;
        });
    }
    const size_t offset = q.count("offset") ? std::stoul(q.at("offset")) : 0;
    const size_t limit = q.count("limit") ? std::stoul(q.at("limit")) : matched.size();
    std::vector<Json> out;
    for (size_t i = offset; i < matched.size() && out.size() < limit; ++i) {
        if (select == "*") {
            out.push_back(matched[i]);
            continue;
        }
        Json projected = Json::object();
        for (const auto& column : split(select, ',')) {
            if (column == "drive_toc(count)") {
                int count = 0;
                for (const auto& entry : *rows("drive_toc")) {
                    count += text(entry, "document_id") == text(matched[i], "id");
                }
                projected["drive_toc"] = Json::array({{{"count", count}}});
            } else if (matched[i].contains(column)) {
                projected[column] = matched[i][column];
            }
        }
        out.push_back(projected);
    }
    return answerRows(out);
}

DetailedCallResult DriveStub::write(const std::string& method, const std::string& table,
                                    const Params& q, const Json& body) {
    Rows& list = *rows(table);
    if (method == "POST") {
        Json row = body;
        row["id"] = nextID(table == "drive_drives" ? "drive" : "row");
        row["created_at"] = stamp();
        row["deleted_at"] = nullptr;
        if (table == "drive_popups") {
            row["is_active"] = false;
        }
        list.push_back(row);
        return answerRows({row});
    }
    std::vector<Json> changed;
    for (auto& row : list) {
        bool ok = true;
        for (const auto& [key, value] : q) {
            if (key != "select") {
                ok = ok && passes(row, key, value);
            }
        }
        if (ok) {
            for (const auto& [key, value] : body.items()) {
                row[key] = value;
            }
            changed.push_back(row);
        }
    }
    return answerRows(changed);
}

DetailedCallResult DriveStub::function(const std::string& name, const Json& body) {
    Rows& drives = *rows("drive_drives");
    Rows& docs = *rows("drive_documents");
    Rows& pops = *rows("drive_popups");
    const auto arg = [&](const char* key) {
        return text(body, key);
    };
    if (name == "drive_ensure_vocab_v1") {
        bool has = false;
        for (const auto& d : drives) {
            has = has || text(d, "kind") == "vocab";
        }
        if (!has) {
            drives.push_back({{"id", nextID("drive")},
                              {"user_id", user_},
                              {"kind", "vocab"},
                              {"name", ""},
                              {"created_at", stamp()},
                              {"deleted_at", nullptr},
                              {"purged_at", nullptr}});
        }
        return std::string("null");
    }
    if (name == "drive_delete_drive_v1" || name == "drive_restore_drive_v1") {
        const bool deleting = name == "drive_delete_drive_v1";
        Json* d = find(drives, arg("p_drive_id"));
        if (!d) {
            return fail(CallFailureDetail(
                CallFailure::rejectedDetail(ServerRejection{400, "P0001", "drive_not_found"}),
                400));
        }
        const Json from = deleting ? Json() : (*d)["deleted_at"];
        const Json to = deleting ? Json(stamp()) : Json();
        (*d)["deleted_at"] = to;
        int documents = 0;
        int popups = 0;
        for (auto* list : {&docs, &pops}) {
            for (auto& row : *list) {
                if (text(row, "drive_id") == arg("p_drive_id") && row["deleted_at"] == from) {
                    row["deleted_at"] = to;
                    ++(list == &docs ? documents : popups);
                }
            }
        }
        Json out = {{"documents", documents}, {"popups", popups}};
        if (!deleting) {
            out["drive_id"] = (*d)["id"];
            out["name"] = (*d)["name"];
        }
        return out.dump();
    }
    if (name == "drive_purge_drive_v1") {
        Json* d = find(drives, arg("p_drive_id"));
        if (!d) {
            return fail(CallFailureDetail(
                CallFailure::rejectedDetail(ServerRejection{400, "P0001", "drive_not_found"}),
                400));
        }
        (*d)["purged_at"] = stamp();
        const auto before = docs.size();
        std::erase_if(docs,
                      [&](const Json& r) { return text(r, "drive_id") == arg("p_drive_id"); });
        return Json({{"documents", before - docs.size()}, {"popups", 0}, {"threads_kept", 0}})
            .dump();
    }
    if (name == "drive_activate_popup_v1" || name == "drive_deactivate_popup_v1" ||
        name == "drive_delete_popup_v1") {
        Json* p = find(pops, arg("p_popup_id"));
        if (!p || !isNull(*p, "deleted_at")) {
            return std::string("false");
        }
        if (name == "drive_activate_popup_v1") {
            for (auto& other : pops) {
                other["is_active"] = false;
            }
            (*p)["is_active"] = true;
            return std::string("null");
        }
        if (name == "drive_deactivate_popup_v1") {
            (*p)["is_active"] = false;
        } else {
            (*p)["deleted_at"] = stamp();
        }
        return std::string("true");
    }
    if (name == "drive_upload_begin_v1") {
        for (const auto& doc : docs) {
            if (text(doc, "drive_id") == arg("p_drive_id") && isNull(doc, "deleted_at") &&
                text(doc, "text_sha256") == arg("p_text_sha256")) {
                return Json({{"duplicate_of", doc["id"]}}).dump();
            }
        }
        Json doc = {{"id", nextID("doc")},
                    {"drive_id", arg("p_drive_id")},
                    {"file_name", body.value("p_file_name", "")},
                    {"doc_title", body.value("p_doc_title", Json())},
                    {"page_count", body.value("p_page_count", 0)},
                    {"toc_source", nullptr},
                    {"status", "uploading"},
                    {"text_sha256", arg("p_text_sha256")},
                    {"created_at", stamp()},
                    {"deleted_at", nullptr}};
        docs.push_back(doc);
        return Json({{"document_id", doc["id"]}}).dump();
    }
    if (name == "drive_upload_pages_v1") {
        return std::string("null");
    }
    if (name == "drive_upload_finish_v1") {
        Json* doc = find(docs, arg("p_document_id"));
        if (!doc) {
            return fail(CallFailureDetail(
                CallFailure::rejectedDetail(ServerRejection{400, "P0001", "document_not_found"}),
                400));
        }
        if (body.contains("p_toc") && body["p_toc"].is_array()) {
            int ord = 0;
            for (const auto& item : body["p_toc"]) {
                rows("drive_toc")
                    ->push_back({{"document_id", (*doc)["id"]},
                                 {"ord", ++ord},
                                 {"title", item.value("title", "")},
                                 {"level", item.value("level", 1)},
                                 {"page_start", item.value("page_start", 1)},
                                 {"page_end", item.value("page_end", 1)}});
            }
        }
        (*doc)["status"] = "ready";
        return Json({{"status", "ready"}}).dump();
    }
    return fail(CallFailureDetail(
        CallFailure::rejectedDetail(ServerRejection{404, "PGRST202", "no such function"}), 404));
}

std::string DriveStub::addProject(const std::string& name, const std::string& kind) {
    std::lock_guard lock(mutex_);
    const std::string id = nextID("drive");
    rows("drive_drives")
        ->push_back({{"id", id},
                     {"user_id", user_},
                     {"kind", kind},
                     {"name", name},
                     {"created_at", stamp()},
                     {"deleted_at", nullptr},
                     {"purged_at", nullptr}});
    return id;
}

std::string DriveStub::addDocument(const std::string& project, const std::string& fileName,
                                   int pages) {
    std::lock_guard lock(mutex_);
    const std::string id = nextID("doc");
    rows("drive_documents")
        ->push_back({{"id", id},
                     {"drive_id", project},
                     {"file_name", fileName},
                     {"doc_title", nullptr},
                     {"page_count", pages},
                     {"toc_source", nullptr},
                     {"status", "ready"},
                     {"text_sha256", "sha-" + id},
                     {"created_at", stamp()},
                     {"deleted_at", nullptr}});
    return id;
}

void DriveStub::addToc(const std::string& document, int ord, const std::string& title, int level,
                       int first, int last) {
    std::lock_guard lock(mutex_);
    rows("drive_toc")
        ->push_back({{"document_id", document},
                     {"ord", ord},
                     {"title", title},
                     {"level", level},
                     {"page_start", first},
                     {"page_end", last}});
}

std::string DriveStub::addPopup(const std::string& project, const std::string& name,
                                const std::string& prompt, bool active) {
    std::lock_guard lock(mutex_);
    const std::string id = nextID("popup");
    rows("drive_popups")
        ->push_back({{"id", id},
                     {"user_id", user_},
                     {"drive_id", project},
                     {"name", name},
                     {"prompt", prompt},
                     {"is_active", active},
                     {"created_at", stamp()},
                     {"deleted_at", nullptr}});
    return id;
}

std::string DriveStub::addThread(const std::string& project, std::optional<std::string> document,
                                 std::optional<int> page, const std::string& selection) {
    std::lock_guard lock(mutex_);
    const std::string id = nextID("thread");
    rows("drive_threads")
        ->push_back({{"id", id},
                     {"drive_id", project},
                     {"document_id", document ? Json(*document) : Json()},
                     {"page_no", page ? Json(*page) : Json()},
                     {"selection", selection},
                     {"mode", document ? "document" : "free"},
                     {"created_at", stamp()}});
    return id;
}

void DriveStub::addMessage(const std::string& thread, const std::string& role,
                           const std::string& content) {
    std::lock_guard lock(mutex_);
    rows("drive_messages")
        ->push_back({{"id", static_cast<int>(rows("drive_messages")->size()) + 1},
                     {"thread_id", thread},
                     {"role", role},
                     {"content", content},
                     {"model", role == "assistant" ? Json("test-model") : Json()},
                     {"created_at", stamp()}});
}

std::optional<Json> DriveStub::project(const std::string& id) const {
    std::lock_guard lock(mutex_);
    auto* self = const_cast<DriveStub*>(this);
    Json* row = self->find(*self->rows("drive_drives"), id);
    return row ? std::optional<Json>(*row) : std::nullopt;
}

std::optional<Json> DriveStub::document(const std::string& id) const {
    std::lock_guard lock(mutex_);
    auto* self = const_cast<DriveStub*>(this);
    Json* row = self->find(*self->rows("drive_documents"), id);
    return row ? std::optional<Json>(*row) : std::nullopt;
}

std::optional<Json> DriveStub::popup(const std::string& id) const {
    std::lock_guard lock(mutex_);
    auto* self = const_cast<DriveStub*>(this);
    Json* row = self->find(*self->rows("drive_popups"), id);
    return row ? std::optional<Json>(*row) : std::nullopt;
}

size_t DriveStub::documents(const std::string& project) const {
    std::lock_guard lock(mutex_);
    size_t n = 0;
    if (tables_.count("drive_documents")) {
        for (const auto& doc : tables_.at("drive_documents")) {
            n += text(doc, "drive_id") == project && isNull(doc, "deleted_at");
        }
    }
    return n;
}

}  // namespace parlendo::testing
