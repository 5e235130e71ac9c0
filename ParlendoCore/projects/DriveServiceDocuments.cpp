#include "foundation/Log.h"
#include "projects/DriveService.h"
#include "projects/DriveText.h"

namespace parlendo {

std::pair<std::string, std::optional<std::string>> DriveService::sourceState(
    const std::string& document, const std::optional<std::string>& user) const {
    if (!user) {
        return {"unknown", std::nullopt};
    }
    auto data = local_->source(document, user);
    if (!data) {
        return {"unknown", std::nullopt};
    }
    auto link = links_->resolve(*data);
    if (!link || !DriveText::isLocalPDFPath(link->path)) {
        return {"missing", std::nullopt};
    }
    if (link->renewed) {
        renewSource(document, std::move(*data), std::move(*link->renewed), *user);
    }
    return {"ok", std::move(link->path)};
}

void DriveService::renewSource(std::string document, std::string recorded, std::string renewed,
                               std::string user) const {
    // On the settings writer, after the changes asked before it; a document linked anew
    // meanwhile keeps its new link.
    runtime_.writer->post([local = local_, document = std::move(document),
                           recorded = std::move(recorded), renewed = std::move(renewed),
                           user = std::move(user)] {
        if (local->renewSource(document, recorded, renewed, user)) {
            Log::write("drive", "원본 연결 새로 씀");
        }
    });
}

void DriveService::listDocuments(std::string drive, Done done) {
    Finish finish(std::move(done));
    driveRow(
        drive, then<std::optional<Json>>(finish, [finish, self = shared_from_this(),
                                                  drive](std::optional<Json> project) {
            if (!project) {
                finish(fail(DriveError(DriveFailure("drive_not_found"))));
                return;
            }
            // Read on the work executor: each entry's source state looks at its file.
            self->readRows(
                "/rest/v1/"
                "drive_documents?select=id,file_name,doc_title,page_count,toc_source,status,"
                "created_at,drive_toc(count)&drive_id=eq." +
                    escape(drive) + "&deleted_at=is.null&order=created_at.asc",
                timeout, then<std::vector<Json>>(finish, [finish, self](std::vector<Json> rows) {
                    const auto user = self->session_->userID();
                    const auto field = [](const Json& row, const char* key) {
                        return row.contains(key) ? row[key] : Json(nullptr);
                    };
                    Json documents = Json::array();
                    for (const auto& row : rows) {
                        auto id = json::string(row, "id");
                        if (!id) {
                            finish(fail(DriveError(CallFailure::badShape())));
                            return;
                        }
                        auto tocCount =
                            embeddedCount(row.contains("drive_toc") ? &row["drive_toc"] : nullptr);
                        if (!tocCount) {
                            finish(fail(DriveError(tocCount.error())));
                            return;
                        }
                        documents.push_back(Json{
                            {"document_id", *id},
                            {"file_name", json::string(row, "file_name").value_or("")},
                            {"doc_title", field(row, "doc_title")},
                            {"page_count",
                             integer(row.contains("page_count") ? &row["page_count"] : nullptr)},
                            {"toc_source", field(row, "toc_source")},
                            {"status", json::string(row, "status").value_or("")},
                            {"toc_count", *tocCount},
                            {"created_at", field(row, "created_at")},
                            {"source_state", self->sourceState(*id, user).first},
                        });
                    }
                    finish(Json{{"documents", std::move(documents)}});
                }));
        }));
}

std::map<std::string, std::string> DriveService::sourcePaths(
    const std::vector<std::string>& documents) const {
    std::map<std::string, std::string> paths;
    const auto user = session_->userID();
    if (!user || documents.empty()) {
        return paths;
    }
    for (const auto& document : documents) {
        if (auto path = sourceState(document, user).second) {
            paths[document] = std::move(*path);
        }
    }
    return paths;
}

void DriveService::documentSource(std::string document,
                                  Completion<void(DriveResult<DocumentSource>)> done) {
    // Read on the work executor: the source state looks at the file.
    readRows("/rest/v1/drive_documents?select=id,file_name&id=eq." + escape(document) +
                 "&deleted_at=is.null&limit=1",
             timeout, [self = shared_from_this(), done = std::move(done)](RowsResult rows) mutable {
                 if (!rows) {
                     done(fail(DriveError(std::move(rows.error()))));
                     return;
                 }
                 auto id = rows->empty() ? std::nullopt : json::string(rows->front(), "id");
                 if (!id) {
                     done(fail(DriveError(DriveFailure("not_found"))));
                     return;
                 }
                 auto [state, path] = self->sourceState(*id, self->session_->userID());
                 Json payload{{"document_id", *id},
                              {"file_name", json::string(rows->front(), "file_name").value_or("")},
                              {"state", state}};
                 done(DocumentSource{std::move(payload), state == "ok" ? path : std::nullopt});
             });
}

void DriveService::relink(std::string document, std::optional<Json> path, Done done) {
    Finish finish(std::move(done));
    if (!DriveText::isLocalPDFPath(path ? &*path : nullptr)) {
        finish(fail(DriveError(DriveFailure("not_pdf"))));
        return;
    }
    const std::string file = path->get<std::string>();
    const auto user = session_->userID();
    server_->rows(
        "/rest/v1/drive_documents?select=id,text_sha256&id=eq." + escape(document) +
            "&deleted_at=is.null&limit=1",
        timeout,
        then<std::vector<Json>>(
            finish, [finish, self = shared_from_this(), file, user](std::vector<Json> rows) {
                auto id = rows.empty() ? std::nullopt : json::string(rows.front(), "id");
                if (!id) {
                    finish(fail(DriveError(DriveFailure("not_found"))));
                    return;
                }
                auto recorded = json::string(rows.front(), "text_sha256");
                self->runtime_.work->post([self, file, user, id = *id, recorded, finish]() mutable {
                    auto pdf = self->extractor_->extract(file);
                    if (!pdf) {
                        finish(fail(DriveError(std::move(pdf.error()))));
                        return;
                    }
                    if (recorded != DriveText::sha(pdf->pages)) {
                        Log::write("drive", "다시 연결 거절 reason=different_file");
                        finish(fail(DriveError(DriveFailure("different_file"))));
                        return;
                    }
                    if (self->session_->userID() != user) {
                        Log::write("drive", "다시 연결 그만둠 — 계정이 바뀜");
                        finish(fail(DriveError(CallFailure::stale())));
                        return;
                    }
                    auto mark = self->links_->bookmark(pdf->sourcePath);
                    if (mark && user && self->local_->setSource(id, *mark, user)) {
                        Log::write("drive", "다시 연결 ok");
                        finish(Json{{"document_id", id}, {"relinked", true}});
                        return;
                    }
                    finish(fail(DriveError(DriveFailure("setting_write_failed"))));
                });
            }));
}

void DriveService::deleteDocument(std::string document, Done done) {
    Finish finish(std::move(done));
    write("/rest/v1/drive_documents?id=eq." + escape(document) + "&deleted_at=is.null", "PATCH",
          Json{{"deleted_at", timestamp(clock()->now())}},
          then<std::vector<Json>>(
              finish, [finish, self = shared_from_this(), document](std::vector<Json> rows) {
                  if (rows.empty()) {
                      finish(fail(DriveError(DriveFailure("not_found"))));
                      return;
                  }
                  if (auto user = self->session_->userID()) {
                      self->copies_->remove(*user, document);
                  }
                  self->changed();
                  Log::write("drive", "문서 지움");
                  finish(Json{{"document_id", document}, {"deleted", true}});
              }));
}

}  // namespace parlendo
