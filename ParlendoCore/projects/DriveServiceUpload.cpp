#include "foundation/Log.h"
#include "foundation/Text.h"
#include "projects/DriveLimits.h"
#include "projects/DriveService.h"
#include "projects/DriveText.h"
#include "projects/DriveToc.h"

#include <sys/stat.h>

#include <algorithm>

namespace parlendo {
namespace {

constexpr const char* kBegin = "/rest/v1/rpc/drive_upload_begin_v1";
constexpr const char* kPages = "/rest/v1/rpc/drive_upload_pages_v1";
constexpr const char* kFinish = "/rest/v1/rpc/drive_upload_finish_v1";

// Failures of these codes end the whole upload: the remaining files get no result.
bool endsUpload(const Json& result) {
    auto error = json::string(result, "error");
    return error == "drive_not_found" || error == "auth_required" ||
           error == "network_unavailable" || error == "upload_interrupted";
}

// A begin or finish reply: an object, or an empty object for any other JSON value.
Result<Json, CallFailure> replyObject(const std::string& body) {
    auto reply = DriveService::parseReply(body);
    if (!reply) {
        return reply;
    }
    return reply->is_object() ? std::move(*reply) : Json::object();
}

bool acceptedPath(const std::string& path) {
    if (!DriveText::isLocalPDFPath(path)) {
        return false;
    }
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

DriveError staleError() {
    return DriveError(CallFailure::stale());
}

}  // namespace

// The upload of the files of one request, one after the other.
struct DriveService::UploadRun {
    std::string drive;
    std::vector<std::string> paths;
    size_t index = 0;
    UploadProgress progress;
    Json results = Json::array();
    std::int64_t notPDF = 0;
    std::int64_t tooMany = 0;
    Done done;

    Json summary() {
        return Json{{"results", std::move(results)}, {"not_pdf", notPDF}, {"too_many", tooMany}};
    }
};

// One file's begin, page batches and finish.
struct DriveService::FileSend {
    std::string drive;
    std::shared_ptr<const ExtractedPDF> pdf;
    std::string owner;
    std::shared_ptr<UploadTrace> trace;
    FileProgress progress;
    std::string sha;
    bool hasText = false;
    std::string document;
    PageBatchLadder ladder;
    size_t first = 0;
    Done done;

    int pageCount() const { return static_cast<int>(pdf->pages.size()); }
    void report(int pagesDone) const {
        if (progress) {
            progress(pagesDone, pageCount());
        }
    }
};

void DriveService::upload(std::string drive, std::optional<Json> paths, UploadProgress progress,
                          Done done) {
    if (!session_->userID()) {
        done(fail(DriveError(CallFailure::authRequired())));
        return;
    }
    if (!paths || !paths->is_array()) {
        done(fail(DriveError(DriveFailure("file_not_found"))));
        return;
    }
    auto run = std::make_shared<UploadRun>();
    run->drive = std::move(drive);
    run->progress = std::move(progress);
    run->done = std::move(done);
    // Looking at the files waits on the file system: off the caller's thread.
    runtime_.work->post([self = shared_from_this(), run, paths = std::move(*paths)]() mutable {
        self->choosePaths(std::move(run), paths);
    });
}

void DriveService::choosePaths(std::shared_ptr<UploadRun> run, const Json& paths) {
    std::int64_t strings = 0;
    for (const auto& element : paths) {
        if (!element.is_string()) {
            continue;
        }
        ++strings;
        const auto& path = element.get_ref<const std::string&>();
        if (acceptedPath(path)) {
            run->paths.push_back(path);
        }
    }
    const auto accepted = static_cast<std::int64_t>(run->paths.size());
    run->notPDF = strings - accepted;
    run->tooMany = std::max<std::int64_t>(0, accepted - DriveLimits::uploadBatchMax);
    if (accepted > DriveLimits::uploadBatchMax) {
        run->paths.resize(static_cast<size_t>(DriveLimits::uploadBatchMax));
    }

    uploadNext(std::move(run));
}

void DriveService::uploadNext(std::shared_ptr<UploadRun> run) {
    if (run->index >= run->paths.size()) {
        run->done(run->summary());
        return;
    }
    const std::string path = run->paths[run->index];
    const int number = static_cast<int>(run->index) + 1;
    const int count = static_cast<int>(run->paths.size());
    FileProgress fileProgress;
    if (run->progress) {
        fileProgress = [progress = run->progress, number, count](int pagesDone, int total) {
            progress(pagesDone, total, number, count);
        };
    }
    uploadOne(run->drive, path, std::move(fileProgress),
              [self = shared_from_this(), run, path](Json result) {
                  result["file_name"] = DriveText::fileName(path);
                  const bool stop = endsUpload(result);
                  run->results.push_back(std::move(result));
                  ++run->index;
                  if (stop) {
                      run->done(run->summary());
                      return;
                  }
                  self->uploadNext(run);
              });
}

void DriveService::uploadOne(std::string drive, std::string path, FileProgress progress,
                             Completion<void(Json)> done) {
    const double start = uptime();
    auto trace = std::make_shared<UploadTrace>();
    auto user = session_->userID();
    if (!user) {
        done(Json{{"error", "auth_required"}});
        return;
    }
    auto self = shared_from_this();
    // Ends the file with a failure: logged with its reason, or dropped for a changed account.
    auto failed = [self, trace, start](const DriveError& error, Completion<void(Json)> end) {
        auto failure = DriveErrors::from(error, "server_error");
        if (!failure) {
            end(Json{{"error", "auth_required"}});
            return;
        }
        Log::write("drive", "올리기 실패 reason=" + failure->code + " step=" + trace->step +
                                " retries=" + std::to_string(trace->retries) +
                                " ms=" + std::to_string(self->millisSince(start)));
        end(failure->payload());
    };
    if (!text::isValidUtf8(path)) {
        // The stored name would lose the path's bytes; such a file is refused whole.
        failed(DriveError(DriveFailure("file_name_invalid")), std::move(done));
        return;
    }
    runtime_.work->post([self, drive = std::move(drive), path = std::move(path),
                         progress = std::move(progress), done = std::move(done), trace, start,
                         user = *user, failed]() mutable {
        auto extracted = self->extractor_->extract(path);
        const auto extractMs = self->millisSince(start);
        if (!extracted) {
            failed(DriveError(std::move(extracted.error())), std::move(done));
            return;
        }
        auto pdf = std::make_shared<const ExtractedPDF>(std::move(*extracted));
        self->driveRow(
            drive, self->onWork([self, drive, pdf, progress = std::move(progress),
                                 done = std::move(done), trace, start, user, failed,
                                 extractMs](Result<std::optional<Json>, CallFailure> row) mutable {
                if (!row) {
                    failed(DriveError(std::move(row.error())), std::move(done));
                    return;
                }
                if (!*row) {
                    failed(DriveError(DriveFailure("drive_not_found")), std::move(done));
                    return;
                }
                self->send(
                    drive, pdf, user, trace, std::move(progress),
                    [self, pdf, done = std::move(done), trace, start, user, failed,
                     extractMs](DriveResult<Json> sent) mutable {
                        if (!sent) {
                            failed(sent.error(), std::move(done));
                            return;
                        }
                        if (self->session_->userID() != user) {
                            Log::write("drive",
                                       "올리기 끝 — 계정이 바뀌어 성공으로 돌려주지 않음 step=" +
                                           trace->step);
                            done(Json{{"error", "auth_required"}});
                            return;
                        }
                        Json result = std::move(*sent);
                        if (auto document = json::string(result, "document_id")) {
                            if (auto mark = self->links_->bookmark(pdf->sourcePath)) {
                                self->local_->setSource(*document, *mark, user);
                            }
                        }
                        const bool duplicate =
                            result.contains("duplicate_of") && !result["duplicate_of"].is_null();
                        Log::write("drive", "올리기 ok status=" +
                                                json::string(result, "status").value_or("?") +
                                                " duplicate=" + (duplicate ? "true" : "false") +
                                                " pages=" + std::to_string(pdf->pages.size()) +
                                                " outline=" + std::to_string(pdf->outline.size()) +
                                                " extract_ms=" + std::to_string(extractMs) +
                                                " ms=" + std::to_string(self->millisSince(start)) +
                                                " retries=" + std::to_string(trace->retries) +
                                                " conn=" + self->uploadConn_());
                        done(std::move(result));
                    });
            }));
    });
}

bool DriveService::sameOwner(const std::string& owner, const std::string& step) const {
    if (session_->userID() == owner) {
        return true;
    }
    Log::write("drive", "올리기 그만둠 — 계정이 바뀜 step=" + step);
    return false;
}

void DriveService::send(std::string drive, std::shared_ptr<const ExtractedPDF> pdf,
                        std::optional<std::string> owner, std::shared_ptr<UploadTrace> trace,
                        FileProgress progress, Done done) {
    const auto n = static_cast<std::int64_t>(pdf->pages.size());
    if (n == 0 || n > DriveLimits::pageMax) {
        done(fail(DriveError(DriveFailure("page_count_out_of_range"))));
        return;
    }
    for (const auto& page : pdf->pages) {
        if (static_cast<std::int64_t>(text::codePointCount(page)) > DriveLimits::pageChars) {
            done(fail(DriveError(DriveFailure("page_text_too_long"))));
            return;
        }
    }
    auto run = std::make_shared<FileSend>();
    run->drive = std::move(drive);
    run->pdf = std::move(pdf);
    run->trace = std::move(trace);
    run->progress = std::move(progress);
    run->done = std::move(done);
    run->sha = DriveText::sha(run->pdf->pages);
    auto who = owner ? owner : session_->userID();
    if (!who) {
        run->done(fail(DriveError(CallFailure::authRequired())));
        return;
    }
    run->owner = *who;
    if (!sameOwner(run->owner, "begin")) {
        run->done(fail(staleError()));
        return;
    }
    run->trace->step = "begin";
    const auto& extracted = *run->pdf;
    Json body{{"p_drive_id", run->drive},
              {"p_file_name", extracted.fileName},
              {"p_doc_title", extracted.docTitle ? Json(*extracted.docTitle) : Json(nullptr)},
              {"p_page_count", n},
              {"p_text_sha256", run->sha}};
    auto self = shared_from_this();
    uploadServer_->call(
        kBegin, "POST", std::move(body), timeout, onWork([self, run](CallResult result) mutable {
            auto reply = result ? replyObject(*result) : fail(result.error());
            if (!reply) {
                run->done(fail(DriveError(std::move(reply.error()))));
                return;
            }
            if (auto duplicate = json::string(*reply, "duplicate_of")) {
                if (!self->sameOwner(run->owner, "duplicate")) {
                    run->done(fail(staleError()));
                    return;
                }
                self->readRows(
                    "/rest/v1/drive_documents?select=status&id=eq." + escape(*duplicate) +
                        "&limit=1",
                    timeout, [self, run, duplicate = *duplicate](RowsResult rows) mutable {
                        if (!rows) {
                            run->done(fail(DriveError(std::move(rows.error()))));
                            return;
                        }
                        auto status =
                            rows->empty() ? std::nullopt : json::string(rows->front(), "status");
                        const std::string state = status.value_or("ready");
                        if (!self->sameOwner(run->owner, "duplicate_copy")) {
                            run->done(fail(staleError()));
                            return;
                        }
                        if (state == "ready") {
                            self->keepCopy(run->owner, duplicate, run->pdf->pages, run->sha);
                        }
                        run->done(Json{{"document_id", duplicate},
                                       {"status", state},
                                       {"duplicate_of", duplicate}});
                    });
                return;
            }
            auto document = json::string(*reply, "document_id");
            if (!document) {
                run->done(fail(DriveError(DriveFailure("server_error"))));
                return;
            }
            run->document = *document;
            run->hasText = DriveText::hasText(run->pdf->pages);
            Json toc = nullptr;
            if (run->hasText) {
                auto outcome = DriveToc::build(run->pdf->outline, run->pageCount());
                if (const auto* items = std::get_if<DriveToc::Items>(&outcome)) {
                    toc = Json::array();
                    for (const auto& item : items->items) {
                        toc.push_back(item.json());
                    }
                }
            }
            run->trace->step = "pages";
            run->report(0);
            self->sendPages(run, [self, run, toc = std::move(toc)](DriveResult<bool> sent) mutable {
                if (!sent) {
                    self->finishUpload(run, fail(std::move(sent.error())));
                    return;
                }
                run->trace->step = "finish";
                if (!self->sameOwner(run->owner, "finish")) {
                    self->finishUpload(run, fail(staleError()));
                    return;
                }
                self->uploadServer_->call(
                    kFinish, "POST",
                    Json{{"p_document_id", run->document}, {"p_toc", std::move(toc)}}, timeout,
                    self->onWork([self, run](CallResult finished) mutable {
                        auto answer = finished ? replyObject(*finished) : fail(finished.error());
                        if (!answer) {
                            self->finishUpload(run, fail(DriveError(std::move(answer.error()))));
                            return;
                        }
                        auto status = json::string(*answer, "status");
                        const std::string state =
                            status ? *status : (run->hasText ? "ready" : "no_text");
                        if (state == "ready") {
                            self->keepCopy(run->owner, run->document, run->pdf->pages, run->sha);
                        }
                        self->finishUpload(run, Json{{"document_id", run->document},
                                                     {"status", state},
                                                     {"duplicate_of", nullptr}});
                    }));
            });
        }));
}

// Ends a file whose document exists on the server: a failure withdraws the unfinished document.
void DriveService::finishUpload(std::shared_ptr<FileSend> run, DriveResult<Json> result) {
    if (result) {
        changed();
        run->done(std::move(result));
        return;
    }
    if (session_->userID() != run->owner) {
        run->done(fail(staleError()));
        return;
    }
    DriveError error = std::move(result.error());
    discardUnfinished(run->document, run->owner,
                      [self = shared_from_this(), run, error = std::move(error)](bool discarded) {
                          self->changed();
                          auto failure = DriveErrors::from(error, "server_error");
                          if (discarded && failure && failure->code == "network_unavailable") {
                              run->done(fail(DriveError(DriveFailure("upload_interrupted"))));
                              return;
                          }
                          run->done(fail(error));
                      });
}

void DriveService::sendPages(std::shared_ptr<FileSend> run,
                             Completion<void(DriveResult<bool>)> done) {
    if (run->pdf->pages.empty()) {
        done(true);
        return;
    }
    run->ladder = PageBatchLadder();
    run->first = 0;
    sendBatch(std::move(run), std::move(done));
}

void DriveService::sendBatch(std::shared_ptr<FileSend> run,
                             Completion<void(DriveResult<bool>)> done) {
    const auto& pages = run->pdf->pages;
    if (!sameOwner(run->owner, "pages first=" + std::to_string(run->first + 1))) {
        done(fail(staleError()));
        return;
    }
    const size_t first = run->first;
    const size_t end =
        PageBatchLadder::end(pages, first, run->ladder.batch(), PageBatchLadder::maxChars);
    auto body = [run, first, end] {
        const auto& all = run->pdf->pages;
        return Json{{"p_document_id", run->document},
                    {"p_first_page", first + 1},
                    {"p_pages", std::vector<std::string>(all.begin() + static_cast<long>(first),
                                                         all.begin() + static_cast<long>(end))}};
    };
    const double started = uptime();
    uploadServer_->callDetailed(
        kPages, "POST", body(), {}, PageBatchLadder::batchTimeout,
        onWork([self = shared_from_this(), run, first, end, started, body,
                done = std::move(done)](DetailedCallResult result) mutable {
            const int n = run->pageCount();
            if (result) {
                run->first = end;
                run->report(static_cast<int>(end));
                run->ladder.succeeded();
                if (run->first >= static_cast<size_t>(n)) {
                    done(true);
                    return;
                }
                self->sendBatch(std::move(run), std::move(done));
                return;
            }
            const CallFailureDetail detail = std::move(result.error());
            const auto next = run->ladder.failed(detail);
            const auto bytes = json::dump(body());
            std::string line =
                "쪽 묶음 실패 first=" + std::to_string(first + 1) +
                " n=" + std::to_string(end - first) +
                " bytes=" + std::to_string(bytes ? bytes->size() : 0) +
                " attempt=" + std::to_string(run->ladder.failures) +
                " streak=" + std::to_string(run->ladder.streak) +
                " kind=" + PageBatchLadder::kind(detail) +
                " wait_ms=" + std::to_string(static_cast<long long>(next.wait * 1000)) +
                " ms=" + std::to_string(self->millisSince(started)) + " next=" + next.logValue();
            if (next.giveUp) {
                line += std::string(" why=") + toString(next.stop);
            }
            Log::write("drive", line);
            if (next.giveUp) {
                done(fail(DriveError(detail.failure)));
                return;
            }
            run->trace->retries += 1;
            self->runtime_.timers->postAfter(
                std::max(0.0, next.wait),
                [self, run = std::move(run), done = std::move(done)]() mutable {
                    self->runtime_.work->post(
                        [self, run = std::move(run), done = std::move(done)]() mutable {
                            self->sendBatch(std::move(run), std::move(done));
                        });
                });
        }));
}

void DriveService::discardUnfinished(std::string document, std::string owner,
                                     Completion<void(bool)> done) {
    if (session_->userID() != owner) {
        Log::write("drive", "올리기 뒷정리 그만둠 — 계정이 바뀜 attempt=1");
        done(false);
        return;
    }
    auto self = shared_from_this();
    const std::string path = "/rest/v1/drive_documents?id=eq." + escape(document) +
                             "&status=eq.uploading&deleted_at=is.null";
    auto withdraw = [self, path](Completion<void(DetailedCallResult)> answered) {
        self->uploadServer_->callDetailed(path, "PATCH",
                                          Json{{"deleted_at", timestamp(self->clock()->now())}}, {},
                                          timeout, self->onWork(std::move(answered)));
    };
    withdraw([self, owner, withdraw, done = std::move(done)](DetailedCallResult first) mutable {
        if (first) {
            done(true);
            return;
        }
        const bool reachedFirst = first.error().reachedServer();
        if (self->session_->userID() != owner) {
            Log::write("drive", "올리기 뒷정리 그만둠 — 계정이 바뀜 attempt=2");
            done(reachedFirst);
            return;
        }
        withdraw([reachedFirst, done = std::move(done)](DetailedCallResult second) mutable {
            if (second) {
                done(true);
                return;
            }
            const bool reached = reachedFirst || second.error().reachedServer();
            Log::write("drive", "올리기 뒷정리 실패 kind=" + PageBatchLadder::kind(second.error()) +
                                    " reached=" + (reached ? "true" : "false"));
            done(reached);
        });
    });
}

void DriveService::keepCopy(const std::string& user, const std::string& document,
                            const std::vector<std::string>& pages, const std::string& sha) {
    if (copies_->pages(user, document, sha)) {
        return;
    }
    const double started = uptime();
    auto written = copies_->write(user, document, pages, sha);
    const auto ms = std::to_string(millisSince(started));
    if (written) {
        Log::write("drive", "사본 ok where=upload pages=" + std::to_string(*written) + " ms=" + ms);
    } else {
        Log::write("drive", "사본 실패 where=upload pages=0 ms=" + ms);
    }
}

}  // namespace parlendo
