#include "foundation/Log.h"
#include "foundation/PyText.h"
#include "projects/DriveLimits.h"
#include "projects/DriveService.h"
#include "projects/DriveText.h"

namespace parlendo {
namespace {

struct PopupFields {
    std::string name;
    std::string prompt;
};

// The trimmed name and prompt, the name checked first.
DriveResult<PopupFields> popupFields(const std::optional<Json>& name,
                                     const std::optional<Json>& prompt) {
    auto n = DriveText::bounded(name ? &*name : nullptr, DriveLimits::popupNameMax);
    if (!n) {
        return fail(DriveError(DriveFailure("name_invalid")));
    }
    auto p = DriveText::bounded(prompt ? &*prompt : nullptr, DriveLimits::popupPromptMax);
    if (!p) {
        return fail(DriveError(DriveFailure("prompt_invalid")));
    }
    return PopupFields{std::move(*n), std::move(*p)};
}

std::string lengths(const PopupFields& fields) {
    return "name_len=" + std::to_string(PyText::count(fields.name)) +
           " prompt_len=" + std::to_string(PyText::count(fields.prompt));
}

}  // namespace

Result<Json, CallFailure> DriveService::popupRow(const Json& row) {
    auto id = json::string(row, "id");
    auto drive = json::string(row, "drive_id");
    if (!id || !drive) {
        return fail(CallFailure::badShape());
    }
    return Json{{"popup_id", *id},
                {"drive_id", *drive},
                {"name", json::string(row, "name").value_or("")},
                {"prompt", json::string(row, "prompt").value_or("")},
                {"is_active", json::boolean(row, "is_active").value_or(false)},
                {"created_at", row.contains("created_at") ? row["created_at"] : Json(nullptr)}};
}

void DriveService::listPopups(std::string drive, Done done) {
    Finish finish(std::move(done));
    driveRow(drive, then<std::optional<Json>>(finish, [finish, self = shared_from_this(),
                                                       drive](std::optional<Json> project) {
                 if (!project) {
                     finish(fail(DriveError(DriveFailure("drive_not_found"))));
                     return;
                 }
                 self->server_->rows(
                     "/rest/v1/drive_popups?select=*&drive_id=eq." + escape(drive) +
                         "&deleted_at=is.null&order=created_at.asc",
                     timeout, then<std::vector<Json>>(finish, [finish](std::vector<Json> rows) {
                         Json popups = Json::array();
                         for (const auto& row : rows) {
                             auto popup = popupRow(row);
                             if (!popup) {
                                 finish(fail(DriveError(popup.error())));
                                 return;
                             }
                             popups.push_back(std::move(*popup));
                         }
                         finish(Json{{"popups", std::move(popups)}});
                     }));
             }));
}

void DriveService::createPopup(std::string drive, std::optional<Json> name,
                               std::optional<Json> prompt, Done done) {
    Finish finish(std::move(done));
    auto fields = popupFields(name, prompt);
    if (!fields) {
        finish(fail(std::move(fields.error())));
        return;
    }
    driveRow(drive, then<std::optional<Json>>(finish, [finish, self = shared_from_this(),
                                                       fields = *fields](std::optional<Json> row) {
                 auto id = row ? json::string(*row, "id") : std::nullopt;
                 if (!id) {
                     finish(fail(DriveError(DriveFailure("drive_not_found"))));
                     return;
                 }
                 if (json::string(*row, "kind") != "study") {
                     finish(fail(DriveError(DriveFailure("drive_not_study"))));
                     return;
                 }
                 auto user = self->session_->userID();
                 if (!user) {
                     finish(fail(DriveError(CallFailure::authRequired())));
                     return;
                 }
                 self->write("/rest/v1/drive_popups", "POST",
                             Json{{"user_id", *user},
                                  {"drive_id", *id},
                                  {"name", fields.name},
                                  {"prompt", fields.prompt}},
                             [fields, finish](Result<std::vector<Json>, CallFailure> rows) mutable {
                                 if (!rows) {
                                     const auto* rejected =
                                         rows.error().as<CallFailure::RejectedDetail>();
                                     if (rejected && rejected->rejection.code == "42501") {
                                         finish(fail(DriveError(DriveFailure("drive_not_found"))));
                                     } else {
                                         finish(fail(DriveError(std::move(rows.error()))));
                                     }
                                     return;
                                 }
                                 if (rows->empty()) {
                                     finish(fail(DriveError(DriveFailure("server_error"))));
                                     return;
                                 }
                                 auto popup = popupRow(rows->front());
                                 if (!popup) {
                                     finish(fail(DriveError(popup.error())));
                                     return;
                                 }
                                 Log::write("drive", "AI 팝업 만듦 " + lengths(fields));
                                 finish(std::move(*popup));
                             });
             }));
}

void DriveService::updatePopup(std::string id, std::optional<Json> name, std::optional<Json> prompt,
                               Done done) {
    Finish finish(std::move(done));
    auto fields = popupFields(name, prompt);
    if (!fields) {
        finish(fail(std::move(fields.error())));
        return;
    }
    write("/rest/v1/drive_popups?id=eq." + escape(id) + "&deleted_at=is.null", "PATCH",
          Json{{"name", fields->name}, {"prompt", fields->prompt}},
          then<std::vector<Json>>(finish, [finish, self = shared_from_this(),
                                           fields = *fields](std::vector<Json> rows) {
              if (rows.empty()) {
                  finish(fail(DriveError(DriveFailure("not_found"))));
                  return;
              }
              // The edit is stored: listeners hear it even when the row that came back is
              // malformed.
              self->changed();
              Log::write("drive", "AI 팝업 고침 " + lengths(fields));
              auto popup = popupRow(rows.front());
              if (!popup) {
                  finish(fail(DriveError(popup.error())));
                  return;
              }
              finish(std::move(*popup));
          }));
}

void DriveService::activatePopup(std::string id, Done done) {
    Finish finish(std::move(done));
    rpc("drive_activate_popup_v1", Json{{"p_popup_id", id}},
        then<Json>(finish, [finish, self = shared_from_this(), id](Json) {
            self->changed();
            self->server_->rows("/rest/v1/drive_popups?select=*&id=eq." + escape(id) + "&limit=1",
                                timeout,
                                then<std::vector<Json>>(finish, [finish](std::vector<Json> rows) {
                                    if (rows.empty()) {
                                        finish(fail(DriveError(DriveFailure("not_found"))));
                                        return;
                                    }
                                    auto popup = popupRow(rows.front());
                                    if (!popup) {
                                        finish(fail(DriveError(popup.error())));
                                        return;
                                    }
                                    Log::write("drive", "AI 팝업 켬");
                                    finish(std::move(*popup));
                                }));
        }));
}

void DriveService::popupSwitch(std::string id, const char* function, const char* logText,
                               Json result, Done done) {
    Finish finish(std::move(done));
    server_->call(std::string("/rest/v1/rpc/") + function, "POST", Json{{"p_popup_id", id}},
                  timeout,
                  then<std::string>(finish, [finish, self = shared_from_this(), logText,
                                             result = std::move(result)](std::string body) mutable {
                      self->changed();
                      auto reply = parseReply(body);
                      if (!reply) {
                          finish(fail(DriveError(reply.error())));
                          return;
                      }
                      if (!(reply->is_boolean() && reply->get<bool>())) {
                          finish(fail(DriveError(DriveFailure("not_found"))));
                          return;
                      }
                      Log::write("drive", logText);
                      finish(std::move(result));
                  }));
}

void DriveService::deactivatePopup(std::string id, Done done) {
    Json result{{"popup_id", id}, {"is_active", false}};
    popupSwitch(std::move(id), "drive_deactivate_popup_v1", "AI 팝업 끔", std::move(result),
                std::move(done));
}

void DriveService::deletePopup(std::string id, Done done) {
    Json result{{"popup_id", id}, {"deleted", true}};
    popupSwitch(std::move(id), "drive_delete_popup_v1", "AI 팝업 지움", std::move(result),
                std::move(done));
}

Json DriveService::aiStatus() const {
    return Json{{"provider", "server"},
                {"model", nullptr},
                {"configured", true},
                {"authenticated", session_->isLoggedIn()}};
}

bool DriveService::aiDetectOn() const {
    auto user = session_->userID();
    if (!user) {
        return true;
    }
    return local_->setting("ai_detect", user) != "off";
}

DriveResult<Json> DriveService::setAIDetect(bool on, const std::string& source) {
    if (!local_->setSetting("ai_detect", on ? "on" : "off", session_->userID())) {
        return fail(DriveError(DriveFailure("setting_write_failed")));
    }
    Log::write("ai_talk", std::string(on ? "AI 톡 켬" : "AI 톡 끔") + " source=" + source);
    if (onDetectChange_) {
        onDetectChange_();
    }
    return Json{{"on", on}};
}

void DriveService::switchAIDetect(bool on, std::string source, Done done) {
    runtime_.writer->post(
        [self = shared_from_this(), on, source = std::move(source),
         done = std::move(done)]() mutable { done(self->setAIDetect(on, source)); });
}

void DriveService::registerForgetters(AccountLocalData& registry) {
    registry.registerForgetter(
        "프로젝트 원본 위치 · 설정",
        [local = local_](const std::string& user) { return local->forget(user); }, runtime_.writer);
    registry.registerForgetter("쪽 글 사본",
                               [copies = copies_](const std::string&) { return copies->clear(); });
}

}  // namespace parlendo
