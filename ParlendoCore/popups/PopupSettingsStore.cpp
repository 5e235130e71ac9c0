#include "popups/PopupSettingsStore.h"

#include "manage/ManageSignals.h"
#include "popups/PopupSettingsRules.h"
#include "server/PostgRESTFilter.h"
#include "wordbook/LibraryModel.h"

#include <limits>

namespace parlendo {
namespace {

constexpr double writeTimeout = 15;

bool isDuplicate(const CallFailure& failure) {
    const auto* detail = failure.as<CallFailure::RejectedDetail>();
    return detail && detail->rejection.code == "23505";
}

Json popupObject(const Json& row) {
    return LibraryModel::assistants({row}).at(0);
}

Json nameTaken(const std::string& name) {
    return Json{{"status", "name_taken"}, {"name", name}};
}

Json saved(const Json& row) {
    return Json{{"status", "ok"}, {"assistant", popupObject(row)}};
}

void notify(const std::function<void(const std::string&)>& changed, const char* reason) {
    if (changed) {
        changed(reason);
    }
}

PopupStoreResult refused(LibraryWriteError error) {
    return fail(PopupStoreError(std::move(error)));
}

PopupStoreResult failed(CallFailure failure) {
    return fail(PopupStoreError(std::move(failure)));
}

// Ends a write of one popup row: a failed call passes on, no row back means the popup is gone,
// else the change is announced with `reason` and the caller gets `answer` of the row.
using ChangeSignal = std::shared_ptr<const std::function<void(const std::string&)>>;
void finishOne(RowsResult rows, const ChangeSignal& changed, const char* reason,
               const std::function<Json(const Json&)>& answer,
               Completion<void(PopupStoreResult)>& completion) {
    if (!rows) {
        completion(failed(std::move(rows.error())));
        return;
    }
    if (rows->empty()) {
        completion(refused(LibraryWriteError::notFound("popup")));
        return;
    }
    notify(*changed, reason);
    completion(answer(rows->front()));
}

}  // namespace

ServerPopupSettingsStore::ServerPopupSettingsStore(std::shared_ptr<ServerCalling> server,
                                                   std::shared_ptr<SessionProviding> session,
                                                   Changed changed)
    : server_(std::move(server)),
      session_(std::move(session)),
      changed_(std::make_shared<const Changed>(std::move(changed))) {}

std::string ServerPopupSettingsStore::one(const std::string& id, const std::string& userID) {
    static const char* hex = "0123456789ABCDEF";
    std::string encoded;
    for (unsigned char ch : id) {
        bool plain = (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') ||
                     (ch >= '0' && ch <= '9') || ch == '-' || ch == '_' || ch == '~';
        if (plain) {
            encoded += static_cast<char>(ch);
        } else {
            encoded += '%';
            encoded += hex[ch >> 4];
            encoded += hex[ch & 0x0F];
        }
    }
    return "/rest/v1/assistants?user_id=eq." + PostgRESTFilter::value(userID) + "&id=eq." + encoded;
}

void ServerPopupSettingsStore::send(std::string path, std::string method, std::optional<Json> body,
                                    Completion<void(RowsResult)> completion) {
    server_->call(std::move(path), std::move(method), std::move(body),
                  HttpHeaders{{"Prefer", "return=representation"}}, writeTimeout,
                  [completion = std::move(completion)](CallResult result) mutable {
                      if (!result) {
                          completion(fail(std::move(result.error())));
                          return;
                      }
                      completion(ServerCalling::parseRows(*result));
                  });
}

void ServerPopupSettingsStore::toggle(std::string id, bool enabled,
                                      Completion<void(PopupStoreResult)> completion) {
    auto userID = session_->userID();
    if (!userID) {
        completion(failed(CallFailure::authRequired()));
        return;
    }
    send(one(id, *userID), "PATCH", Json{{"enabled", enabled}},
         [changed = changed_, completion = std::move(completion)](RowsResult rows) mutable {
             finishOne(std::move(rows), changed, "toggle", popupObject, completion);
         });
}

void ServerPopupSettingsStore::remove(std::string id,
                                      Completion<void(PopupStoreResult)> completion) {
    auto userID = session_->userID();
    if (!userID) {
        completion(failed(CallFailure::authRequired()));
        return;
    }
    send(one(id, *userID), "DELETE", std::nullopt,
         [id, changed = changed_, completion = std::move(completion)](RowsResult rows) mutable {
             finishOne(
                 std::move(rows), changed, "delete",
                 [&id](const Json&) {
                     return Json{{"deleted", id}};
                 },
                 completion);
         });
}

void ServerPopupSettingsStore::update(std::string id, std::optional<std::string> name,
                                      std::optional<bool> save,
                                      std::optional<std::vector<std::string>> contents,
                                      std::optional<Json> options,
                                      Completion<void(PopupStoreResult)> completion) {
    auto userID = session_->userID();
    if (!userID) {
        completion(failed(CallFailure::authRequired()));
        return;
    }
    Json body = Json::object();
    std::string sentName;
    if (name) {
        auto checked = PopupSettingsRules::name(*name);
        if (!checked) {
            completion(refused(LibraryWriteError::invalid("popup_name")));
            return;
        }
        sentName = *checked;
        body["name"] = *checked;
    }
    if (save) {
        body["save"] = *save;
    }
    if (contents) {
        auto checkedContents = PopupSettingsRules::contents(*contents);
        if (!checkedContents) {
            completion(refused(LibraryWriteError::invalid("popup_contents")));
            return;
        }
        auto checkedOptions = PopupSettingsRules::options(options ? &*options : nullptr);
        if (!checkedOptions) {
            completion(refused(LibraryWriteError::invalid("popup_options")));
            return;
        }
        body["spec"] = PopupSettingsRules::spec(*checkedContents, *checkedOptions);
    }
    if (body.empty()) {
        completion(refused(LibraryWriteError::invalid("popup_nothing_to_change")));
        return;
    }
    send(one(id, *userID), "PATCH", std::move(body),
         [sentName, changed = changed_,
          completion = std::move(completion)](RowsResult rows) mutable {
             if (!rows) {
                 if (isDuplicate(rows.error())) {
                     completion(nameTaken(sentName));
                 } else {
                     completion(failed(std::move(rows.error())));
                 }
                 return;
             }
             finishOne(std::move(rows), changed, "update", saved, completion);
         });
}

void ServerPopupSettingsStore::create(std::string name, std::vector<std::string> contents,
                                      std::optional<Json> options, bool save,
                                      Completion<void(PopupStoreResult)> completion) {
    auto userID = session_->userID();
    if (!userID) {
        completion(failed(CallFailure::authRequired()));
        return;
    }
    auto checkedName = PopupSettingsRules::name(name);
    if (!checkedName) {
        completion(refused(LibraryWriteError::invalid("popup_name")));
        return;
    }
    auto checkedContents = PopupSettingsRules::contents(contents);
    if (!checkedContents) {
        completion(refused(LibraryWriteError::invalid("popup_contents")));
        return;
    }
    auto checkedOptions = PopupSettingsRules::options(options ? &*options : nullptr);
    if (!checkedOptions) {
        completion(refused(LibraryWriteError::invalid("popup_options")));
        return;
    }
    Json row = Json::object();
    row["user_id"] = *userID;
    row["name"] = *checkedName;
    row["enabled"] = true;
    row["save"] = save;
    row["spec"] = PopupSettingsRules::spec(*checkedContents, *checkedOptions);

    server_->rows(
        "/rest/v1/assistants?select=position&user_id=eq." + PostgRESTFilter::value(*userID) +
            "&order=position.desc&limit=1",
        writeTimeout,
        [server = server_, changed = changed_, row = std::move(row), sentName = *checkedName,
         completion = std::move(completion)](RowsResult last) mutable {
            if (!last) {
                completion(failed(std::move(last.error())));
                return;
            }
            std::int64_t position = 0;
            if (!last->empty()) {
                const Json& first = last->front();
                // The highest stored position comes from the server: at the top of the range the
                // new row shares it rather than wrapping round to the front.
                if (const auto highest = json::integer(first, "position")) {
                    position = *highest < std::numeric_limits<std::int64_t>::max() ? *highest + 1
                                                                                   : *highest;
                }
            }
            row["position"] = position;
            server->call(
                "/rest/v1/assistants", "POST", std::move(row),
                HttpHeaders{{"Prefer", "return=representation"}}, writeTimeout,
                [changed, sentName, completion = std::move(completion)](CallResult result) mutable {
                    if (!result) {
                        if (isDuplicate(result.error())) {
                            completion(nameTaken(sentName));
                        } else {
                            completion(failed(std::move(result.error())));
                        }
                        return;
                    }
                    auto rows = ServerCalling::parseRows(*result);
                    if (!rows) {
                        completion(failed(std::move(rows.error())));
                        return;
                    }
                    if (rows->empty() || !json::string(rows->front(), "id")) {
                        completion(refused(LibraryWriteError::outcomeUnknown("save_assistant")));
                        return;
                    }
                    notify(*changed, "create");
                    completion(saved(rows->front()));
                });
        });
}

ServerPopupSettingsStore::Changed ServerPopupSettingsStore::announceChange() {
    return [](const std::string& reason) {
        ManageSignals::post(ManageSignals::popupSettingsChanged, reason);
    };
}

}  // namespace parlendo
