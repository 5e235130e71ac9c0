#include "projects/DriveService.h"

#include "foundation/Log.h"
#include "foundation/PyText.h"
#include "projects/DriveLimits.h"
#include "projects/DriveText.h"
#include "server/PostgRESTFilter.h"

#include <algorithm>
#include <cmath>
#include <ctime>

namespace parlendo {
namespace {

constexpr const char* kListPath =
    "/rest/v1/drive_drives?select=id,kind,name,created_at,docs:drive_documents(count),"
    "last:drive_documents(created_at),pops:drive_popups(name)&deleted_at=is.null"
    "&docs.deleted_at=is.null&last.deleted_at=is.null&last.order=created_at.desc&last.limit=1"
    "&pops.deleted_at=is.null&pops.is_active=eq.true&order=created_at.asc";

Json stringOrNull(const Json& row, const char* key) {
    auto value = json::string(row, key);
    return value ? Json(*value) : Json(nullptr);
}

// The "name" of the first element of an embedded list, or of the one embedded object.
std::optional<std::string> firstString(const Json& row, const char* list, const char* key) {
    const Json* items = json::array(row, list);
    if (!items || items->empty()) {
        return std::nullopt;
    }
    return json::string(items->front(), key);
}

Result<Json, CallFailure> projectObject(const Json& row) {
    auto id = json::string(row, "id");
    auto kind = json::string(row, "kind");
    if (!id || !kind) {
        return fail(CallFailure::badShape());
    }
    auto count = DriveService::embeddedCount(row.contains("docs") ? &row["docs"] : nullptr);
    if (!count) {
        return fail(count.error());
    }
    Json createdAt = stringOrNull(row, "created_at");
    auto last = firstString(row, "last", "created_at");
    auto popup = firstString(row, "pops", "name");
    return Json{{"drive_id", *id},
                {"kind", *kind},
                {"name", json::string(row, "name").value_or("")},
                {"document_count", *count},
                {"created_at", createdAt},
                {"last_at", last ? Json(*last) : createdAt},
                {"active_popup_name", popup ? Json(*popup) : Json(nullptr)}};
}

// Reads "documents" and "popups" (and more) of a function reply that may be anything.
std::int64_t countOf(const Json& reply, const char* key) {
    if (!reply.is_object() || !reply.contains(key)) {
        return 0;
    }
    return DriveService::integer(&reply[key]);
}

// Days in the proleptic Gregorian calendar since 1970-01-01.
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

bool digits(std::string_view s, size_t at, size_t n, int& out) {
    if (at + n > s.size()) {
        return false;
    }
    out = 0;
    for (size_t i = at; i < at + n; ++i) {
        if (s[i] < '0' || s[i] > '9') {
            return false;
        }
        out = out * 10 + (s[i] - '0');
    }
    return true;
}

// An internet date-time without fractional seconds ("2026-05-01T10:00:00Z", "...+09:00").
std::optional<double> parseInternetDate(std::string_view s) {
    int year, month, day, hour, minute, second;
    if (!digits(s, 0, 4, year) || s.size() < 20 || s[4] != '-' || !digits(s, 5, 2, month) ||
        s[7] != '-' || !digits(s, 8, 2, day) || (s[10] != 'T' && s[10] != 't') ||
        !digits(s, 11, 2, hour) || s[13] != ':' || !digits(s, 14, 2, minute) || s[16] != ':' ||
        !digits(s, 17, 2, second)) {
        return std::nullopt;
    }
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) {
        return std::nullopt;
    }
    const std::string_view zone = s.substr(19);
    int offset = 0;
    if (zone == "Z" || zone == "z") {
        offset = 0;
    } else if ((zone.size() == 6 || zone.size() == 5) && (zone[0] == '+' || zone[0] == '-')) {
        int zh, zm;
        const size_t minuteAt = zone.size() == 6 ? 4 : 3;
        if (!digits(zone, 1, 2, zh) || (zone.size() == 6 && zone[3] != ':') ||
            !digits(zone, minuteAt, 2, zm) || zh > 23 || zm > 59) {
            return std::nullopt;
        }
        offset = (zh * 60 + zm) * 60 * (zone[0] == '-' ? -1 : 1);
    } else {
        return std::nullopt;
    }
    const std::int64_t days =
        daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    return static_cast<double>(days * 86400 + hour * 3600 + minute * 60 + second - offset);
}

}  // namespace

DriveService::DriveService(std::shared_ptr<DetailedServerCalling> server,
                           std::shared_ptr<SessionProviding> session,
                           std::shared_ptr<DriveLocalStore> local,
                           std::shared_ptr<PageCopyStore> copies,
                           std::shared_ptr<SourceLinking> links,
                           std::shared_ptr<PDFExtracting> extractor,
                           std::optional<UploadRoute> upload, Runtime runtime)
    : server_(std::move(server)),
      session_(std::move(session)),
      local_(std::move(local)),
      copies_(std::move(copies)),
      links_(std::move(links)),
      extractor_(std::move(extractor)),
      runtime_(std::move(runtime)) {
    if (!runtime_.writer) {
        runtime_.writer = runtime_.work;
    }
    if (upload && upload->server) {
        uploadServer_ = upload->server;
        uploadConn_ = upload->conn ? upload->conn : [] {
            return std::string("main");
        };
    } else {
        uploadServer_ = server_;
        uploadConn_ = [] {
            return std::string("main");
        };
    }
}

void DriveService::changed() const {
    if (onChange_) {
        onChange_();
    }
}

std::int64_t DriveService::millisSince(double start) const {
    return static_cast<std::int64_t>((uptime() - start) * 1000);
}

// ---- helpers ----

std::string DriveService::escape(const std::string& id) {
    std::string escaped = PostgRESTFilter::value(id);
    return escaped.empty() ? id : escaped;
}

std::int64_t DriveService::integer(const Json* value) {
    if (!value || !value->is_number()) {
        return 0;
    }
    if (value->is_number_integer()) {
        return value->get<std::int64_t>();
    }
    const double d = value->get<double>();
    if (!std::isfinite(d) || std::fabs(d) >= 9.2e18) {
        return 0;
    }
    return static_cast<std::int64_t>(d);
}

Result<std::int64_t, CallFailure> DriveService::embeddedCount(const Json* value) {
    const Json* object = nullptr;
    if (value && value->is_array()) {
        if (value->empty()) {
            return 0;
        }
        if (value->size() != 1) {
            return fail(CallFailure::badShape());
        }
        object = &value->front();
    } else if (value && value->is_object()) {
        object = value;
    }
    if (!object || !object->is_object() || !object->contains("count") ||
        !(*object)["count"].is_number_integer()) {
        return fail(CallFailure::badShape());
    }
    return (*object)["count"].get<std::int64_t>();
}

std::int64_t DriveService::daysSince(const Json* value, double now) {
    if (!value || !value->is_string()) {
        return 0;
    }
    std::string text = value->get<std::string>();
    if (auto dot = text.find('.'); dot != std::string::npos) {
        auto zone = text.find_first_of("+Z-", dot);
        if (zone != std::string::npos) {
            text.erase(dot, zone - dot);
        }
    }
    auto date = parseInternetDate(text);
    if (!date) {
        return 0;
    }
    return std::max<std::int64_t>(0, static_cast<std::int64_t>((now - *date) / 86400.0));
}

std::string DriveService::timestamp(double seconds) {
    const double whole = std::floor(seconds);
    const int millis = std::clamp(static_cast<int>((seconds - whole) * 1000), 0, 999);
    const auto t = static_cast<std::time_t>(whole);
    std::tm parts{};
    gmtime_r(&t, &parts);
    char date[64];
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &parts);
    std::string fraction = std::to_string(millis);
    fraction.insert(0, 3 - fraction.size(), '0');
    return std::string(date) + "." + fraction + "Z";
}

Result<Json, CallFailure> DriveService::parseReply(const std::string& body) {
    if (body.empty()) {
        return Json(nullptr);
    }
    auto value = json::parse(body);
    if (!value) {
        return fail(CallFailure::badShape());
    }
    return std::move(*value);
}

void DriveService::rpc(const std::string& name, Json body,
                       Completion<void(Result<Json, CallFailure>)> done) {
    server_->call("/rest/v1/rpc/" + name, "POST", std::move(body), timeout,
                  [done = std::move(done)](CallResult result) mutable {
                      if (!result) {
                          done(fail(std::move(result.error())));
                          return;
                      }
                      done(parseReply(*result));
                  });
}

void DriveService::driveRow(std::string id,
                            Completion<void(Result<std::optional<Json>, CallFailure>)> done) {
    server_->rows("/rest/v1/drive_drives?select=id,kind,name&id=eq." + escape(id) +
                      "&deleted_at=is.null&limit=1",
                  timeout, [done = std::move(done)](RowsResult rows) mutable {
                      if (!rows) {
                          done(fail(std::move(rows.error())));
                          return;
                      }
                      done(rows->empty() ? std::nullopt : std::optional<Json>(rows->front()));
                  });
}

void DriveService::write(std::string path, std::string method, Json body,
                         Completion<void(Result<std::vector<Json>, CallFailure>)> done) {
    server_->call(std::move(path), std::move(method), std::move(body),
                  HttpHeaders{{"Prefer", "return=representation"}}, timeout,
                  [done = std::move(done)](CallResult result) mutable {
                      if (!result) {
                          done(fail(std::move(result.error())));
                          return;
                      }
                      std::vector<Json> rows;
                      auto value = json::parse(*result);
                      if (value && value->is_object()) {
                          rows.push_back(std::move(*value));
                      } else if (value && value->is_array() &&
                                 std::all_of(value->begin(), value->end(),
                                             [](const Json& r) { return r.is_object(); })) {
                          rows.assign(value->begin(), value->end());
                      }
                      done(std::move(rows));
                  });
}

void DriveService::readRows(std::string path, double seconds, RowsDone done) {
    server_->call(std::move(path), "GET", std::nullopt, seconds,
                  onWork([done = std::move(done)](CallResult body) mutable {
                      if (!body) {
                          done(fail(std::move(body.error())));
                          return;
                      }
                      done(ServerCalling::parseRows(*body));
                  }));
}

void DriveService::paged(std::string path, int size, RowsDone done) {
    pagedFrom(std::move(path), std::max(size, 1), {}, 0, std::move(done));
}

void DriveService::pagedFrom(std::string path, int size, std::vector<Json> collected, int pages,
                             RowsDone done) {
    if (pages >= pagedMaxPages) {
        Log::write("drive", "나눠 읽기 멈춤 reason=page_cap pages=" + std::to_string(pages) +
                                " rows=" + std::to_string(collected.size()));
        done(std::move(collected));
        return;
    }
    std::string request =
        path + "&limit=" + std::to_string(size) + "&offset=" + std::to_string(collected.size());
    readRows(
        std::move(request), timeout,
        [self = shared_from_this(), path = std::move(path), size, collected = std::move(collected),
         pages, done = std::move(done)](RowsResult rows) mutable {
            if (!rows) {
                done(fail(std::move(rows.error())));
                return;
            }
            if (rows->empty()) {
                done(std::move(collected));
                return;
            }
            collected.insert(collected.end(), std::make_move_iterator(rows->begin()),
                             std::make_move_iterator(rows->end()));
            self->pagedFrom(std::move(path), size, std::move(collected), pages + 1,
                            std::move(done));
        });
}

void DriveService::studyDrive(std::string id, Completion<void(DriveResult<std::string>)> done) {
    driveRow(std::move(id),
             [done = std::move(done)](Result<std::optional<Json>, CallFailure> row) mutable {
                 if (!row) {
                     done(fail(DriveError(std::move(row.error()))));
                     return;
                 }
                 auto rowID = *row ? json::string(**row, "id") : std::nullopt;
                 if (!rowID) {
                     done(fail(DriveError(DriveFailure("drive_not_found"))));
                     return;
                 }
                 if (json::string(**row, "kind") != "study") {
                     done(fail(DriveError(DriveFailure("drive_not_deletable"))));
                     return;
                 }
                 done(std::move(*rowID));
             });
}

// ---- projects ----

void DriveService::listDrives(Done done) {
    Finish finish(std::move(done));
    auto build = [finish](std::vector<Json> rows) {
        std::vector<Json> vocab;
        std::vector<Json> study;
        for (const auto& row : rows) {
            auto project = projectObject(row);
            if (!project) {
                finish(fail(DriveError(project.error())));
                return;
            }
            ((*project)["kind"] == "vocab" ? vocab : study).push_back(std::move(*project));
        }
        vocab.insert(vocab.end(), std::make_move_iterator(study.begin()),
                     std::make_move_iterator(study.end()));
        finish(Json{{"drives", std::move(vocab)}});
    };
    server_->rows(kListPath, timeout,
                  then<std::vector<Json>>(finish, [finish, self = shared_from_this(),
                                                   build](std::vector<Json> rows) mutable {
                      const bool hasVocab = std::any_of(
                          rows.begin(), rows.end(),
                          [](const Json& row) { return json::string(row, "kind") == "vocab"; });
                      if (hasVocab) {
                          build(std::move(rows));
                          return;
                      }
                      self->rpc("drive_ensure_vocab_v1", Json::object(),
                                then<Json>(finish, [finish, self, build](Json) mutable {
                                    self->server_->rows(kListPath, timeout,
                                                        then<std::vector<Json>>(finish, build));
                                }));
                  }));
}

void DriveService::createDrive(std::optional<Json> name, Done done) {
    Finish finish(std::move(done));
    auto bounded = DriveText::bounded(name ? &*name : nullptr, DriveLimits::nameMax);
    if (!bounded) {
        finish(fail(DriveError(DriveFailure("name_invalid"))));
        return;
    }
    auto user = session_->userID();
    if (!user) {
        finish(fail(DriveError(CallFailure::authRequired())));
        return;
    }
    write("/rest/v1/drive_drives", "POST",
          Json{{"user_id", *user}, {"kind", "study"}, {"name", *bounded}},
          then<std::vector<Json>>(finish, [finish, name = *bounded](std::vector<Json> rows) {
              auto id = rows.empty() ? std::nullopt : json::string(rows.front(), "id");
              if (!id) {
                  finish(fail(DriveError(DriveFailure("server_error"))));
                  return;
              }
              Log::write("drive", "프로젝트 만듦 name_len=" + std::to_string(PyText::count(name)));
              finish(Json{
                  {"drive_id", *id}, {"kind", "study"}, {"name", name}, {"document_count", 0}});
          }));
}

void DriveService::renameDrive(std::string id, std::optional<Json> name, Done done) {
    Finish finish(std::move(done));
    auto bounded = DriveText::bounded(name ? &*name : nullptr, DriveLimits::nameMax);
    if (!bounded) {
        finish(fail(DriveError(DriveFailure("name_invalid"))));
        return;
    }
    studyDrive(id, [self = shared_from_this(), id, name = *bounded,
                    finish](DriveResult<std::string> study) mutable {
        if (!study) {
            finish(fail(std::move(study.error())));
            return;
        }
        self->server_->call("/rest/v1/drive_drives?id=eq." + escape(id), "PATCH",
                            Json{{"name", name}}, timeout,
                            then<std::string>(finish, [finish, self, id, name](std::string) {
                                self->changed();
                                Log::write("drive", "프로젝트 이름 바꿈 name_len=" +
                                                        std::to_string(PyText::count(name)));
                                finish(Json{{"drive_id", id}, {"name", name}});
                            }));
    });
}

void DriveService::deleteDrive(std::string id, Done done) {
    Finish finish(std::move(done));
    studyDrive(id, [self = shared_from_this(), id, finish](DriveResult<std::string> study) mutable {
        if (!study) {
            finish(fail(std::move(study.error())));
            return;
        }
        self->rpc("drive_delete_drive_v1", Json{{"p_drive_id", id}},
                  then<Json>(finish, [finish, self, id](Json reply) {
                      const auto documents = countOf(reply, "documents");
                      const auto popups = countOf(reply, "popups");
                      self->changed();
                      Log::write("drive",
                                 "프로젝트 휴지통으로 documents=" + std::to_string(documents) +
                                     " popups=" + std::to_string(popups));
                      finish(Json{{"drive_id", id},
                                  {"deleted", true},
                                  {"documents", documents},
                                  {"popups", popups}});
                  }));
    });
}

void DriveService::restoreDrive(std::string id, Done done) {
    Finish finish(std::move(done));
    rpc("drive_restore_drive_v1", Json{{"p_drive_id", id}},
        then<Json>(finish, [finish, self = shared_from_this(), id](Json reply) {
            const auto documents = countOf(reply, "documents");
            const auto popups = countOf(reply, "popups");
            self->changed();
            Log::write("drive", "프로젝트 복원 documents=" + std::to_string(documents) +
                                    " popups=" + std::to_string(popups));
            auto replyID = json::string(reply, "drive_id");
            Json name = reply.is_object() && reply.contains("name") ? reply["name"] : Json(nullptr);
            finish(Json{{"drive_id", replyID.value_or(id)},
                        {"name", name},
                        {"restored", true},
                        {"documents", documents},
                        {"popups", popups}});
        }));
}

void DriveService::listDeletedDrives(Done done) {
    Finish finish(std::move(done));
    server_->rows(
        "/rest/v1/drive_drives?select=id,name,deleted_at&kind=eq.study&deleted_at=not.is.null"
        "&purged_at=is.null&order=deleted_at.desc",
        timeout,
        then<std::vector<Json>>(finish, [finish,
                                         self = shared_from_this()](std::vector<Json> projects) {
            auto build = [finish, self, projects](std::vector<Json> documents) {
                const double now = self->runtime_.clock->now();
                Json list = Json::array();
                for (const auto& row : projects) {
                    const Json* deletedAt =
                        row.contains("deleted_at") ? &row["deleted_at"] : nullptr;
                    const auto id = json::string(row, "id");
                    const auto when = json::string(row, "deleted_at");
                    const auto count = std::count_if(
                        documents.begin(), documents.end(), [&](const Json& document) {
                            return id && json::string(document, "drive_id") == id &&
                                   json::string(document, "deleted_at") == when;
                        });
                    const auto daysAgo = daysSince(deletedAt, now);
                    list.push_back(Json{
                        {"drive_id", id.value_or("")},
                        {"name", json::string(row, "name").value_or("")},
                        {"deleted_at", when ? Json(*when) : Json(nullptr)},
                        {"document_count", count},
                        {"days_ago", daysAgo},
                        {"days_left", std::max<std::int64_t>(0, DriveLimits::trashDays - daysAgo)},
                    });
                }
                finish(Json{{"drives", std::move(list)}, {"trash_days", DriveLimits::trashDays}});
            };
            std::vector<std::string> ids;
            for (const auto& row : projects) {
                if (auto id = json::string(row, "id")) {
                    ids.push_back(escape(*id));
                }
            }
            if (ids.empty()) {
                build({});
                return;
            }
            std::string joined;
            for (const auto& id : ids) {
                joined += (joined.empty() ? "" : ",") + id;
            }
            self->server_->rows(
                "/rest/v1/drive_documents?select=drive_id,deleted_at&drive_id=in.(" + joined +
                    ")&deleted_at=not.is.null",
                timeout, then<std::vector<Json>>(finish, build));
        }));
}

void DriveService::purgeDrive(std::string id, Done done) {
    Finish finish(std::move(done));
    server_->rows(
        "/rest/v1/drive_documents?select=id&drive_id=eq." + escape(id), timeout,
        then<std::vector<Json>>(finish, [finish, self = shared_from_this(),
                                         id](std::vector<Json> rows) {
            std::vector<std::string> documents;
            for (const auto& row : rows) {
                if (auto document = json::string(row, "id")) {
                    documents.push_back(std::move(*document));
                }
            }
            self->rpc("drive_purge_drive_v1", Json{{"p_drive_id", id}},
                      then<Json>(finish, [finish, self, id, documents](Json reply) {
                          auto user = self->session_->userID();
                          if (user && !documents.empty()) {
                              self->runtime_.writer->post([local = self->local_, documents, user] {
                                  local->removeSources(documents, user);
                              });
                              for (const auto& document : documents) {
                                  self->copies_->remove(*user, document);
                              }
                          }
                          const auto count = [&](const char* key) {
                              return countOf(reply, key);
                          };
                          self->changed();
                          Log::write(
                              "drive",
                              "프로젝트 영구 삭제 documents=" + std::to_string(count("documents")) +
                                  " popups=" + std::to_string(count("popups")) +
                                  " threads_kept=" + std::to_string(count("threads_kept")));
                          finish(Json{{"documents", count("documents")},
                                      {"popups", count("popups")},
                                      {"threads_kept", count("threads_kept")},
                                      {"drive_id", id},
                                      {"purged", true}});
                      }));
        }));
}

}  // namespace parlendo
