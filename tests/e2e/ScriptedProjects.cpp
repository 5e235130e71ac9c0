#include "ScriptedProjects.h"

#include <algorithm>
#include <cstdio>

namespace parlendo::testing {

namespace {

StubAnswer json(int status, const Json& body) {
    return StubAnswer::json(status, body.dump(),
                            {{"Content-Type", "application/json; charset=utf-8"}});
}

// The value of a "column=eq.VALUE" filter of the query (ids here need no decoding).
std::optional<std::string> equal(const std::string& query, const std::string& column) {
    const std::string key = column + "=eq.";
    for (size_t at = 0; at < query.size();) {
        const size_t end = std::min(query.find('&', at), query.size());
        if (query.compare(at, key.size(), key) == 0) {
            return query.substr(at + key.size(), end - at - key.size());
        }
        at = end + 1;
    }
    return std::nullopt;
}

// A bound of a "column=OP.N" filter ("gte", "lte").
std::optional<int> bound(const std::string& query, const std::string& column,
                         const std::string& op) {
    const std::string key = column + "=" + op + ".";
    const size_t at = query.find(key);
    if (at == std::string::npos || (at > 0 && query[at - 1] != '&')) {
        return std::nullopt;
    }
    return std::atoi(query.c_str() + at + key.size());
}

bool trash(const std::string& query) {
    return query.find("deleted_at=not.is.null") != std::string::npos;
}

}  // namespace

std::optional<StubAnswer> ScriptedProjects::handle(const StubRequest& request) {
    const std::string& path = request.path;
    if (path == "/rest/v1/drive_drives") {
        return drives(request);
    }
    if (path == "/rest/v1/drive_documents" && request.method == "GET") {
        return documentRows(request);
    }
    if (path == "/rest/v1/drive_pages" && request.method == "GET") {
        return pageRows(request);
    }
    if (path == "/rest/v1/drive_popups" && request.method == "GET") {
        return popups(request);
    }
    if (path == "/rest/v1/rpc/drive_ensure_vocab_v1" && request.method == "POST") {
        std::lock_guard lock(mutex_);
        for (const auto& drive : drives_) {
            if (drive.kind == "vocab") {
                return json(200, Json{{"drive_id", drive.id}});
            }
        }
        drives_.push_back(Drive{"drv-vocab", "vocab", "단어장", stamp()});
        return json(200, Json{{"drive_id", "drv-vocab"}});
    }
    const std::string rpc = "/rest/v1/rpc/drive_upload_";
    if (path.starts_with(rpc) && request.method == "POST") {
        return upload(path.substr(rpc.size()), json::parse(request.body).value_or(Json::object()));
    }
    if ((path == "/rest/v1/drive_threads" || path == "/rest/v1/drive_toc") &&
        request.method == "GET") {
        return json(200, Json::array());
    }
    return std::nullopt;
}

StubAnswer ScriptedProjects::drives(const StubRequest& request) {
    std::lock_guard lock(mutex_);
    if (request.method == "POST") {
        const auto body = json::parse(request.body).value_or(Json::object());
        Drive drive{"drv-" + std::to_string(drives_.size() + 1), "study",
                    json::string(body, "name").value_or(""), stamp()};
        drives_.push_back(drive);
        return json(201, Json::array({Json{{"id", drive.id},
                                           {"user_id", json::string(body, "user_id").value_or("")},
                                           {"kind", "study"},
                                           {"name", drive.name},
                                           {"created_at", drive.createdAt}}}));
    }
    if (request.method != "GET") {
        return json(405, Json{{"message", "not scripted"}});
    }
    Json rows = Json::array();
    if (trash(request.query)) {
        return json(200, rows);
    }
    const auto only = equal(request.query, "id");
    for (const auto& drive : drives_) {
        if (only && *only != drive.id) {
            continue;
        }
        Json row{{"id", drive.id},
                 {"kind", drive.kind},
                 {"name", drive.name},
                 {"created_at", drive.createdAt}};
        int count = 0;
        std::string last;
        for (const auto& document : documents_) {
            if (document.drive == drive.id) {
                ++count;
                last = document.createdAt;
            }
        }
        row["docs"] = Json::array({Json{{"count", count}}});
        row["last"] = last.empty() ? Json::array() : Json::array({Json{{"created_at", last}}});
        Json pops = Json::array();
        for (const auto& popup : popups_) {
            if (popup.drive == drive.id) {
                pops.push_back(Json{{"name", popup.name}});
            }
        }
        row["pops"] = pops;
        rows.push_back(std::move(row));
    }
    return json(200, rows);
}

StubAnswer ScriptedProjects::documentRows(const StubRequest& request) {
    std::lock_guard lock(mutex_);
    Json rows = Json::array();
    // Nothing in the trash, and one page of documents holds them all.
    const bool later = request.query.find("offset=") != std::string::npos &&
                       request.query.find("offset=0") == std::string::npos;
    if (trash(request.query) || later) {
        return json(200, rows);
    }
    const auto id = equal(request.query, "id");
    const auto drive = equal(request.query, "drive_id");
    for (const auto& document : documents_) {
        if ((id && *id != document.id) || (drive && *drive != document.drive)) {
            continue;
        }
        rows.push_back(Json{{"id", document.id},
                            {"drive_id", document.drive},
                            {"file_name", document.fileName},
                            {"doc_title", nullptr},
                            {"text_sha256", document.sha},
                            {"page_count", document.pageCount},
                            {"toc_source", nullptr},
                            {"status", document.status},
                            {"created_at", document.createdAt},
                            {"drive_toc", Json::array({Json{{"count", 0}}})}});
    }
    return json(200, rows);
}

StubAnswer ScriptedProjects::pageRows(const StubRequest& request) {
    std::lock_guard lock(mutex_);
    Json rows = Json::array();
    const auto id = equal(request.query, "document_id");
    const int first = bound(request.query, "page_no", "gte").value_or(1);
    const int last = bound(request.query, "page_no", "lte").value_or(1 << 30);
    for (const auto& document : documents_) {
        if (id && *id == document.id) {
            for (int page = first; page <= last && page <= static_cast<int>(document.pages.size());
                 ++page) {
                rows.push_back(Json{{"page_no", page}, {"text", document.pages[page - 1]}});
            }
        }
    }
    return json(200, rows);
}

StubAnswer ScriptedProjects::popups(const StubRequest& request) {
    std::lock_guard lock(mutex_);
    Json rows = Json::array();
    const auto drive = equal(request.query, "drive_id");
    for (const auto& popup : popups_) {
        if (drive && *drive != popup.drive) {
            continue;
        }
        rows.push_back(Json{{"id", popup.id},
                            {"drive_id", popup.drive},
                            {"name", popup.name},
                            {"prompt", "쉬운 말로 풀어서 설명해 줘"},
                            {"is_active", true},
                            {"created_at", "2026-12-01T00:00:00Z"}});
    }
    return json(200, rows);
}

StubAnswer ScriptedProjects::upload(const std::string& step, const Json& body) {
    std::lock_guard lock(mutex_);
    if (step == "begin_v1") {
        const auto drive = json::string(body, "p_drive_id").value_or("");
        if (std::none_of(drives_.begin(), drives_.end(),
                         [&](const Drive& known) { return known.id == drive; })) {
            return json(200, Json{{"error", "drive_not_found"}});
        }
        Document document;
        document.id = "doc-" + std::to_string(documents_.size() + 1);
        document.drive = drive;
        document.fileName = json::string(body, "p_file_name").value_or("");
        document.sha = json::string(body, "p_text_sha256").value_or("");
        document.pageCount = body.value("p_page_count", 0);
        document.createdAt = stamp();
        documents_.push_back(document);
        return json(200, Json{{"document_id", document.id}});
    }
    const auto id = json::string(body, "p_document_id").value_or("");
    auto document = std::find_if(documents_.begin(), documents_.end(),
                                 [&](const Document& known) { return known.id == id; });
    if (document == documents_.end()) {
        return json(400, Json{{"code", "P0001"}, {"message", "document_not_found"}});
    }
    if (step == "pages_v1") {
        const int first = body.value("p_first_page", 0);
        const Json* pages = json::array(body, "p_pages");
        if (pages == nullptr || first != static_cast<int>(document->pages.size()) + 1) {
            return json(400, Json{{"code", "P0001"}, {"message", "pages_out_of_order"}});
        }
        for (const auto& page : *pages) {
            document->pages.push_back(page.is_string() ? page.get<std::string>() : "");
        }
        return StubAnswer::json(200, "");
    }
    if (step == "finish_v1") {
        document->status =
            static_cast<int>(document->pages.size()) == document->pageCount ? "ready" : "failed";
        auto answer = json(200, Json{{"status", document->status}});
        answer.delay = finishDelay_;
        return answer;
    }
    return json(404, Json{{"message", "not scripted"}});
}

void ScriptedProjects::holdFinish(double seconds) {
    std::lock_guard lock(mutex_);
    finishDelay_ = seconds;
}

std::string ScriptedProjects::addDrive(const std::string& name) {
    std::lock_guard lock(mutex_);
    drives_.push_back(Drive{"drv-" + std::to_string(drives_.size() + 1), "study", name, stamp()});
    return drives_.back().id;
}

void ScriptedProjects::addPopup(const std::string& drive, const std::string& name) {
    std::lock_guard lock(mutex_);
    popups_.push_back(Popup{"pop-" + std::to_string(popups_.size() + 1), drive, name});
}

std::optional<std::string> ScriptedProjects::driveNamed(const std::string& name) const {
    std::lock_guard lock(mutex_);
    for (const auto& drive : drives_) {
        if (drive.name == name) {
            return drive.id;
        }
    }
    return std::nullopt;
}

std::vector<ScriptedProjects::Document> ScriptedProjects::documents() const {
    std::lock_guard lock(mutex_);
    return documents_;
}

std::string ScriptedProjects::stamp() {
    char text[40];
    std::snprintf(text, sizeof text, "2026-12-07T10:%02d:%02d.000000+00:00", clock_ / 60 % 60,
                  clock_ % 60);
    ++clock_;
    return text;
}

}  // namespace parlendo::testing
