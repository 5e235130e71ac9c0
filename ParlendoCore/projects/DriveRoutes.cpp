#include "projects/DriveRoutes.h"

#include "foundation/Log.h"
#include "foundation/Text.h"

namespace parlendo {
namespace {

using Reply = Completion<void(BridgeReply)>;
using Done = DriveService::Done;

// Runs `task` on the main executor: at once when already there (or when there is none).
void onMain(const ExecutorPtr& main, Task task) {
    if (!main || main->isCurrent()) {
        task();
        return;
    }
    main->post(std::move(task));
}

// The reply of an operation's outcome.
BridgeReply replyOf(DriveResult<Json> result) {
    if (result) {
        return BridgeReply::ok(std::move(*result));
    }
    auto failure = DriveErrors::from(result.error(), "server_error");
    if (!failure) {
        return BridgeReply::failed(CallFailure::stale());
    }
    Log::write("drive", "요청 실패 reason=" + failure->code);
    return BridgeReply::ok(failure->payload());
}

// The completion an operation ends with: back on main, then the reply.
Done answering(ExecutorPtr main, Reply reply) {
    return [main, reply = std::move(reply)](DriveResult<Json> result) mutable {
        onMain(main, [reply = std::move(reply), result = std::move(result)]() mutable {
            reply(replyOf(std::move(result)));
        });
    };
}

std::optional<Json> raw(const BridgeArgs& args, size_t index) {
    const Json* value = args.any(index);
    return value ? std::optional<Json>(*value) : std::nullopt;
}

std::optional<Json> typedList(const BridgeArgs& args, size_t index) {
    const Json* value = args.any(index);
    return value && value->is_array() ? std::optional<Json>(*value) : std::nullopt;
}

std::optional<Json> typedText(const BridgeArgs& args, size_t index) {
    const Json* value = args.any(index);
    return value && value->is_string() ? std::optional<Json>(*value) : std::nullopt;
}

bool switchValue(const BridgeArgs& args) {
    const Json* value = args.any(0);
    if (!value) {
        return false;
    }
    if (value->is_boolean()) {
        return value->get<bool>();
    }
    if (value->is_number()) {
        return value->get<double>() != 0;
    }
    return false;
}

}  // namespace

const std::vector<std::string>& DriveRoutes::names() {
    static const std::vector<std::string> all{
        "drive_enabled",         "drive_list",
        "drive_create",          "drive_rename",
        "drive_delete",          "drive_restore",
        "drive_deleted_list",    "drive_purge",
        "drive_documents",       "drive_upload",
        "drive_upload_paths",    "drive_document_open",
        "drive_document_relink", "drive_document_relink_pick",
        "drive_document_delete", "drive_popups",
        "drive_popup_create",    "drive_popup_update",
        "drive_popup_activate",  "drive_popup_deactivate",
        "drive_popup_delete",    "drive_ai_status",
        "drive_detect",          "drive_detect_set",
        "drive_capture_revive",  "drive_document_map",
        "drive_unplaced",        "drive_thread",
        "drive_math_lib",        "drive_thumbnail",
    };
    return all;
}

DriveRoutes::DriveRoutes(std::shared_ptr<DriveService> service, std::shared_ptr<DriveScreen> screen,
                         DetectStatus detectStatus, MathSource mathSource,
                         std::shared_ptr<DriveThumbnails> thumbnails, ExecutorPtr main)
    : wiring_(std::make_shared<const Wiring>(Wiring{std::move(service), std::move(screen),
                                                    std::move(detectStatus), std::move(mathSource),
                                                    std::move(thumbnails), std::move(main)})) {}

std::map<std::string, BridgeEntry> DriveRoutes::routes() const {
    auto shared = wiring_;
    std::map<std::string, BridgeEntry> table;
    // An entry that calls one operation of the service and replies with its outcome.
    auto operation = [&](const char* name,
                         std::function<void(const Wiring&, const BridgeArgs&, Done)> call) {
        table.emplace(name,
                      BridgeEntry::implemented([shared, call](const BridgeArgs& args, Reply reply) {
                          call(*shared, args, answering(shared->main, std::move(reply)));
                      }));
    };
    auto immediate = [&](const char* name, std::function<BridgeReply(const Wiring&)> answer) {
        table.emplace(name,
                      BridgeEntry::implemented([shared, answer](const BridgeArgs&, Reply reply) {
                          reply(answer(*shared));
                      }));
    };
    // Progress reports of an upload, each shown by its own task on main.
    auto progressOf = [](const Wiring& wiring) -> DriveService::UploadProgress {
        return [screen = wiring.screen, main = wiring.main](int done, int total, int index,
                                                            int count) {
            auto show = [screen, done, total, index, count] {
                screen->uploadProgress(done, total, index, count);
            };
            if (main) {
                main->post(show);
            } else {
                show();
            }
        };
    };
    // Asks for PDFs; "no_window" when no picker can be shown, {"cancelled": true} when none were
    // chosen; else continues with the chosen paths (back on main).
    auto picking = [](const Wiring& wiring, bool multiple, Done done,
                      std::function<void(std::vector<std::string>, Done)> chosen) {
        wiring.screen->pickPDFs(
            multiple, [main = wiring.main, done = std::move(done), chosen = std::move(chosen)](
                          std::optional<std::vector<std::string>> paths) mutable {
                onMain(main, [paths = std::move(paths), done = std::move(done),
                              chosen = std::move(chosen)]() mutable {
                    if (!paths) {
                        done(fail(DriveError(DriveFailure("no_window"))));
                    } else if (paths->empty()) {
                        done(Json{{"cancelled", true}});
                    } else {
                        chosen(std::move(*paths), std::move(done));
                    }
                });
            });
    };

    immediate("drive_enabled", [](const Wiring&) { return BridgeReply::ok(true); });
    operation("drive_list", [](const Wiring& w, const BridgeArgs&, Done done) {
        w.service->listDrives(std::move(done));
    });
    operation("drive_create", [](const Wiring& w, const BridgeArgs& args, Done done) {
        w.service->createDrive(raw(args, 0), std::move(done));
    });
    operation("drive_rename", [](const Wiring& w, const BridgeArgs& args, Done done) {
        w.service->renameDrive(args.string(0), raw(args, 1), std::move(done));
    });
    operation("drive_delete", [](const Wiring& w, const BridgeArgs& args, Done done) {
        w.service->deleteDrive(args.string(0), std::move(done));
    });
    operation("drive_restore", [](const Wiring& w, const BridgeArgs& args, Done done) {
        w.service->restoreDrive(args.string(0), std::move(done));
    });
    operation("drive_deleted_list", [](const Wiring& w, const BridgeArgs&, Done done) {
        w.service->listDeletedDrives(std::move(done));
    });
    operation("drive_purge", [](const Wiring& w, const BridgeArgs& args, Done done) {
        w.service->purgeDrive(args.string(0), std::move(done));
    });
    operation("drive_documents", [](const Wiring& w, const BridgeArgs& args, Done done) {
        w.service->listDocuments(args.string(0), std::move(done));
    });
    operation("drive_upload",
              [picking, progressOf](const Wiring& w, const BridgeArgs& args, Done done) {
                  auto service = w.service;
                  auto progress = progressOf(w);
                  picking(w, true, std::move(done),
                          [service, progress, drive = args.string(0)](
                              std::vector<std::string> paths, Done end) {
                              Json list = Json::array();
                              for (auto& path : paths) {
                                  list.push_back(std::move(path));
                              }
                              service->upload(drive, std::move(list), progress, std::move(end));
                          });
              });
    operation(
        "drive_upload_paths", [progressOf](const Wiring& w, const BridgeArgs& args, Done done) {
            w.service->upload(args.string(0), typedList(args, 1), progressOf(w), std::move(done));
        });
    table.emplace(
        "drive_document_open",
        BridgeEntry::implemented([shared](const BridgeArgs& args, Reply reply) {
            shared->service->documentSource(
                args.string(0), [shared, reply = std::move(reply)](
                                    DriveResult<DriveService::DocumentSource> found) mutable {
                    onMain(shared->main,
                           [shared, reply = std::move(reply), found = std::move(found)]() mutable {
                               if (!found) {
                                   reply(replyOf(fail(std::move(found.error()))));
                                   return;
                               }
                               if (!found->path) {
                                   reply(BridgeReply::ok(std::move(found->payload)));
                                   return;
                               }
                               const Json& payload = found->payload;
                               Json id = payload.contains("document_id") ? payload["document_id"]
                                                                         : Json(nullptr);
                               // A desktop without an application for PDFs is said so, not passed
                               // over.
                               auto once = std::make_shared<Reply>(std::move(reply));
                               shared->screen->open(*found->path, [once, id](bool opened) {
                                   if (!*once) {
                                       return;
                                   }
                                   (*once)(BridgeReply::ok(Json{{"document_id", id},
                                                                {"state", opened ? "ok" : "no_app"},
                                                                {"opened", opened}}));
                               });
                           });
                });
        }));
    operation("drive_document_relink", [](const Wiring& w, const BridgeArgs& args, Done done) {
        w.service->relink(args.string(0), typedText(args, 1), std::move(done));
    });
    operation("drive_document_relink_pick", [picking](const Wiring& w, const BridgeArgs& args,
                                                      Done done) {
        auto service = w.service;
        picking(w, false, std::move(done),
                [service, document = args.string(0)](std::vector<std::string> paths, Done end) {
                    service->relink(document, Json(paths.front()), std::move(end));
                });
    });
    operation("drive_document_delete", [](const Wiring& w, const BridgeArgs& args, Done done) {
        w.service->deleteDocument(args.string(0), std::move(done));
    });
    operation("drive_popups", [](const Wiring& w, const BridgeArgs& args, Done done) {
        w.service->listPopups(args.string(0), std::move(done));
    });
    operation("drive_popup_create", [](const Wiring& w, const BridgeArgs& args, Done done) {
        w.service->createPopup(args.string(0), raw(args, 1), raw(args, 2), std::move(done));
    });
    operation("drive_popup_update", [](const Wiring& w, const BridgeArgs& args, Done done) {
        w.service->updatePopup(args.string(0), raw(args, 1), raw(args, 2), std::move(done));
    });
    operation("drive_popup_activate", [](const Wiring& w, const BridgeArgs& args, Done done) {
        w.service->activatePopup(args.string(0), std::move(done));
    });
    operation("drive_popup_deactivate", [](const Wiring& w, const BridgeArgs& args, Done done) {
        w.service->deactivatePopup(args.string(0), std::move(done));
    });
    operation("drive_popup_delete", [](const Wiring& w, const BridgeArgs& args, Done done) {
        w.service->deletePopup(args.string(0), std::move(done));
    });
    immediate("drive_ai_status",
              [](const Wiring& w) { return BridgeReply::ok(w.service->aiStatus()); });
    immediate("drive_detect", [](const Wiring& w) {
        return BridgeReply::ok(Json{{"on", w.service->aiDetectOn()}});
    });
    operation("drive_detect_set", [](const Wiring& w, const BridgeArgs& args, Done done) {
        w.service->switchAIDetect(switchValue(args), "manage", std::move(done));
    });
    immediate("drive_capture_revive", [](const Wiring& w) {
        return BridgeReply::ok(w.detectStatus ? w.detectStatus() : Json::object());
    });
    operation("drive_document_map", [](const Wiring& w, const BridgeArgs& args, Done done) {
        w.service->documentMap(args.string(0), std::move(done));
    });
    operation("drive_unplaced", [](const Wiring& w, const BridgeArgs& args, Done done) {
        w.service->unplacedThreads(args.string(0), std::move(done));
    });
    operation("drive_thread", [](const Wiring& w, const BridgeArgs& args, Done done) {
        w.service->thread(args.string(0), std::move(done));
    });
    table.emplace(
        "drive_math_lib", BridgeEntry::implemented([shared](const BridgeArgs&, Reply reply) {
            auto send = [main = shared->main,
                         reply = std::move(reply)](std::string source) mutable {
                onMain(main, [reply = std::move(reply), source = std::move(source)]() mutable {
                    Log::write("drive",
                               std::string("수식 변환기 ") + (source.empty() ? "없음" : "보냄") +
                                   " chars=" + std::to_string(text::characterCount(source)));
                    reply(BridgeReply::custom(std::move(source)));
                });
            };
            if (shared->mathSource) {
                shared->mathSource(std::move(send));
            } else {
                send(std::string());
            }
        }));
    operation("drive_thumbnail", [](const Wiring& w, const BridgeArgs& args, Done done) {
        w.thumbnails->thumbnail(args.string(0),
                                [done = std::move(done)](Result<Json, CallFailure> r) mutable {
                                    if (r) {
                                        done(std::move(*r));
                                    } else {
                                        done(fail(DriveError(std::move(r.error()))));
                                    }
                                });
    });
    return table;
}

}  // namespace parlendo
