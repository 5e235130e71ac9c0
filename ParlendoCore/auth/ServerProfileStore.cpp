#include "auth/ServerProfileStore.h"

#include "foundation/Log.h"
#include "server/PostgRESTFilter.h"

namespace parlendo {

ServerProfileStore::ServerProfileStore(std::shared_ptr<ServerCalling> server,
                                       std::shared_ptr<SessionProviding> session)
    : server_(std::move(server)), session_(std::move(session)) {}

void ServerProfileStore::username(
    Completion<void(Result<std::optional<std::string>, CallFailure>)> completion) {
    auto userID = session_->userID();
    if (!userID) {
        completion(fail(CallFailure::authRequired()));
        return;
    }
    server_->rows(
        "/rest/v1/profiles?select=username&id=eq." + PostgRESTFilter::value(*userID) + "&limit=1",
        8, [completion = std::move(completion)](RowsResult rows) mutable {
            if (!rows) {
                completion(fail(rows.error()));
                return;
            }
            if (rows->empty()) {
                completion(std::optional<std::string>());
                return;
            }
            completion(json::string(rows->front(), "username"));
        });
}

void ServerProfileStore::ensure(const std::string& username,
                                Completion<void(Result<void, CallFailure>)> completion) {
    auto userID = session_->userID();
    if (!userID) {
        completion(fail(CallFailure::authRequired()));
        return;
    }
    auto server = server_;
    server_->rows(
        "/rest/v1/profiles?select=*&id=eq." + PostgRESTFilter::value(*userID), 15,
        [server, id = *userID, username,
         completion = std::move(completion)](RowsResult rows) mutable {
            if (!rows) {
                completion(fail(rows.error()));
                return;
            }
            if (!rows->empty()) {
                Log::write("profile", "이미 있음");
                completion({});
                return;
            }
            server->call("/rest/v1/profiles", "POST", Json{{"id", id}, {"username", username}},
                         HttpHeaders{{"Prefer", "return=representation"}}, 15,
                         [username, completion = std::move(completion)](CallResult result) mutable {
                             if (!result) {
                                 Log::write("profile", "생성 실패 " + result.error().logReason());
                                 completion(fail(result.error()));
                                 return;
                             }
                             Log::write("profile", "생성됨 username=" + Log::redact(username));
                             completion({});
                         });
        });
}

}  // namespace parlendo
