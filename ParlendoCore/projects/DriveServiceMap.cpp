#include "foundation/Log.h"
#include "projects/DriveLimits.h"
#include "projects/DriveService.h"
#include "projects/DriveText.h"

#include <algorithm>
#include <cmath>

namespace parlendo {
namespace {

constexpr int kTocPage = 1000;

Json member(const Json& row, const char* key) {
    return row.is_object() && row.contains(key) ? row[key] : Json(nullptr);
}

const Json* memberPointer(const Json& row, const char* key) {
    return row.is_object() && row.contains(key) ? &row[key] : nullptr;
}

// A page number when the value is an integral number.
std::optional<std::int64_t> pageNumber(const Json& row) {
    const Json* value = memberPointer(row, "page_no");
    if (!value || !value->is_number()) {
        return std::nullopt;
    }
    if (value->is_number_integer()) {
        return value->get<std::int64_t>();
    }
    const double d = value->get<double>();
    if (!std::isfinite(d) || std::floor(d) != d || std::fabs(d) >= 9.2e18) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(d);
}

// The newest `cap` rows of a recent-first answer, oldest first, and whether there were more.
std::pair<std::vector<Json>, bool> newest(std::vector<Json> rows, size_t cap) {
    const bool more = rows.size() > cap;
    if (more) {
        rows.resize(cap);
    }
    std::reverse(rows.begin(), rows.end());
    return {std::move(rows), more};
}

std::string recentPath(const std::string& path, std::int64_t cap) {
    return path + "&order=created_at.desc&limit=" + std::to_string(cap + 1);
}

}  // namespace

void DriveService::documentMap(std::string id, Done done) {
    Finish finish(std::move(done));
    const double start = uptime();
    server_->rows(
        "/rest/v1/drive_documents?select=id,file_name,page_count&id=eq." + escape(id) +
            "&deleted_at=is.null&limit=1",
        timeout,
        then<std::vector<Json>>(finish, [finish, self = shared_from_this(),
                                         start](std::vector<Json> rows) {
            auto documentID = rows.empty() ? std::nullopt : json::string(rows.front(), "id");
            if (!documentID) {
                finish(fail(DriveError(DriveFailure("not_found"))));
                return;
            }
            Json document{{"document_id", *documentID},
                          {"file_name", json::string(rows.front(), "file_name").value_or("")},
                          {"page_count", integer(memberPointer(rows.front(), "page_count"))}};
            const std::string escaped = escape(*documentID);
            self->paged(
                "/rest/v1/drive_toc?select=ord,title,level,page_start,page_end&document_id=eq." +
                    escaped + "&order=ord.asc",
                kTocPage,
                then<std::vector<Json>>(finish, [finish, self, start, escaped,
                                                 document = std::move(document)](
                                                    std::vector<Json> tocRows) mutable {
                    Json toc = Json::array();
                    std::vector<std::pair<std::int64_t, std::int64_t>> starts;
                    starts.reserve(tocRows.size());
                    for (const auto& row : tocRows) {
                        const auto ord = integer(memberPointer(row, "ord"));
                        const auto pageStart = integer(memberPointer(row, "page_start"));
                        toc.push_back(Json{{"ord", ord},
                                           {"title", json::string(row, "title").value_or("")},
                                           {"level", integer(memberPointer(row, "level"))},
                                           {"page_start", pageStart},
                                           {"page_end", integer(memberPointer(row, "page_end"))}});
                        starts.emplace_back(ord, pageStart);
                    }
                    self->server_->rows(
                        recentPath("/rest/v1/drive_threads?select=id,page_no,selection,created_at"
                                   "&document_id=eq." +
                                       escaped,
                                   DriveLimits::mapThreadsMax),
                        timeout,
                        then<std::vector<Json>>(
                            finish, [finish, self, start, starts, document = std::move(document),
                                     toc = std::move(toc)](std::vector<Json> threadRows) mutable {
                                auto [recent, truncated] =
                                    newest(std::move(threadRows),
                                           static_cast<size_t>(DriveLimits::mapThreadsMax));
                                Json threads = Json::array();
                                for (const auto& row : recent) {
                                    const auto page = pageNumber(row);
                                    Json tocOrd = nullptr;
                                    if (page) {
                                        for (auto it = starts.rbegin(); it != starts.rend(); ++it) {
                                            if (it->second <= *page) {
                                                tocOrd = it->first;
                                                break;
                                            }
                                        }
                                    }
                                    threads.push_back(
                                        Json{{"thread_id", member(row, "id")},
                                             {"page_no", page ? Json(*page) : Json(nullptr)},
                                             {"toc_ord", tocOrd},
                                             {"snippet",
                                              DriveText::snippet(memberPointer(row, "selection"))},
                                             {"created_at", member(row, "created_at")}});
                                }
                                Log::write("drive",
                                           "문서 지도 ok toc=" + std::to_string(toc.size()) +
                                               " threads=" + std::to_string(threads.size()) +
                                               " truncated=" + (truncated ? "true" : "false") +
                                               " ms=" + std::to_string(self->millisSince(start)));
                                finish(Json{{"document", std::move(document)},
                                            {"toc", std::move(toc)},
                                            {"threads", std::move(threads)},
                                            {"truncated", truncated}});
                            }));
                }));
        }));
}

void DriveService::unplacedThreads(std::string drive, Done done) {
    Finish finish(std::move(done));
    driveRow(
        drive, then<std::optional<Json>>(finish, [finish, self = shared_from_this(),
                                                  drive](std::optional<Json> project) {
            if (!project) {
                finish(fail(DriveError(DriveFailure("drive_not_found"))));
                return;
            }
            self->server_->rows(
                recentPath("/rest/v1/drive_threads?select=id,selection,created_at&drive_id=eq." +
                               escape(drive) + "&document_id=is.null",
                           DriveLimits::unplacedMax),
                timeout, then<std::vector<Json>>(finish, [finish](std::vector<Json> rows) {
                    auto [recent, truncated] =
                        newest(std::move(rows), static_cast<size_t>(DriveLimits::unplacedMax));
                    Json threads = Json::array();
                    for (const auto& row : recent) {
                        threads.push_back(
                            Json{{"thread_id", member(row, "id")},
                                 {"snippet", DriveText::snippet(memberPointer(row, "selection"))},
                                 {"created_at", member(row, "created_at")}});
                    }
                    finish(Json{{"threads", std::move(threads)}, {"truncated", truncated}});
                }));
        }));
}

void DriveService::thread(std::string id, Done done) {
    Finish finish(std::move(done));
    server_->rows(
        "/rest/v1/drive_threads?select=*&id=eq." + escape(id) + "&limit=1", timeout,
        then<std::vector<Json>>(finish, [finish,
                                         self = shared_from_this()](std::vector<Json> rows) {
            auto threadID = rows.empty() ? std::nullopt : json::string(rows.front(), "id");
            if (!threadID) {
                finish(fail(DriveError(DriveFailure("not_found"))));
                return;
            }
            Json head = rows.front();
            self->server_->rows(
                "/rest/v1/drive_messages?select=id,role,content,model,created_at&thread_id=eq." +
                    escape(*threadID) + "&order=id.asc",
                timeout,
                then<std::vector<Json>>(
                    finish, [finish, head, threadID = *threadID](std::vector<Json> messageRows) {
                        Json messages = Json::array();
                        for (const auto& row : messageRows) {
                            messages.push_back(Json{{"id", integer(memberPointer(row, "id"))},
                                                    {"role", member(row, "role")},
                                                    {"content", member(row, "content")},
                                                    {"model", member(row, "model")},
                                                    {"created_at", member(row, "created_at")}});
                        }
                        finish(Json{{"thread_id", threadID},
                                    {"document_id", member(head, "document_id")},
                                    {"page_no", member(head, "page_no")},
                                    {"selection", member(head, "selection")},
                                    {"mode", member(head, "mode")},
                                    {"messages", std::move(messages)}});
                    }));
        }));
}

}  // namespace parlendo
