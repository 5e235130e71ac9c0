#include "manage/ViewSettingsStore.h"

#include "server/PostgRESTFilter.h"

namespace parlendo {

namespace {

Json viewSettingsOf(const Json& row) {
    auto it = row.find("view_settings");
    return it == row.end() ? Json(nullptr) : *it;
}

}  // namespace

ServerViewSettingsStore::ServerViewSettingsStore(std::shared_ptr<ServerCalling> server,
                                                 std::shared_ptr<SessionProviding> session)
    : server_(std::move(server)), session_(std::move(session)) {}

void ServerViewSettingsStore::get(Completion<void(ViewSettingsResult)> completion) {
    const std::optional<std::string> user = session_->userID();
    if (!user) {
        completion(fail(CallFailure::authRequired()));
        return;
    }
    server_->rows("/rest/v1/profiles?select=view_settings&id=eq." + PostgRESTFilter::value(*user) +
                      "&limit=1",
                  timeout, [completion = std::move(completion)](RowsResult rows) mutable {
                      if (!rows) {
                          completion(fail(std::move(rows.error())));
                          return;
                      }
                      completion(rows->empty() ? Json(nullptr) : viewSettingsOf(rows->front()));
                  });
}

void ServerViewSettingsStore::set(Json value, Completion<void(ViewSettingsResult)> completion) {
    const std::optional<std::string> user = session_->userID();
    if (!user) {
        completion(fail(CallFailure::authRequired()));
        return;
    }
    server_->call("/rest/v1/profiles?id=eq." + PostgRESTFilter::value(*user), "PATCH",
                  Json{{"view_settings", std::move(value)}}, {{"Prefer", "return=representation"}},
                  timeout, [completion = std::move(completion)](CallResult body) mutable {
                      if (!body) {
                          completion(fail(std::move(body.error())));
                          return;
                      }
                      RowsResult rows = ServerCalling::parseRows(*body);
                      if (!rows || rows->empty()) {
                          completion(fail(CallFailure::badShape()));
                          return;
                      }
                      completion(viewSettingsOf(rows->front()));
                  });
}

}  // namespace parlendo
