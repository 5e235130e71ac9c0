#include "lookup/ServerTitleVectorStore.h"

#include "foundation/Log.h"
#include "server/PostgRESTFilter.h"

namespace parlendo {

const char* toString(TitleVectorPresence presence) {
    switch (presence) {
        case TitleVectorPresence::present:
            return "present";
        case TitleVectorPresence::absent:
            return "absent";
        case TitleVectorPresence::unknown:
            return "unknown";
    }
    return "unknown";
}

void TitleVectorStore::presence(std::string key, std::string model,
                                Completion<void(TitleVectorPresence)> completion) {
    exists(std::move(key), std::move(model),
           [completion = std::move(completion)](bool found) mutable {
               completion(found ? TitleVectorPresence::present : TitleVectorPresence::absent);
           });
}

ServerTitleVectorStore::ServerTitleVectorStore(std::shared_ptr<ServerCalling> server,
                                               std::shared_ptr<SessionProviding> session)
    : server_(std::move(server)), session_(std::move(session)) {}

std::string ServerTitleVectorStore::presencePath(const std::string& userID, const std::string& key,
                                                 const std::string& model) {
    return "/rest/v1/title_vectors?select=title_key&limit=1&user_id=eq." +
           PostgRESTFilter::value(userID) + "&title_key=eq." + PostgRESTFilter::value(key) +
           "&model=eq." + PostgRESTFilter::value(model);
}

void ServerTitleVectorStore::presence(std::string key, std::string model,
                                      Completion<void(TitleVectorPresence)> completion) {
    auto user = session_->userID();
    if (!user) {
        completion(TitleVectorPresence::unknown);
        return;
    }
    server_->rows(presencePath(*user, key, model), timeout,
                  [completion = std::move(completion)](RowsResult rows) mutable {
                      if (!rows) {
                          completion(TitleVectorPresence::unknown);
                      } else {
                          completion(rows->empty() ? TitleVectorPresence::absent
                                                   : TitleVectorPresence::present);
                      }
                  });
}

void ServerTitleVectorStore::exists(std::string key, std::string model,
                                    Completion<void(bool)> completion) {
    presence(std::move(key), std::move(model),
             [completion = std::move(completion)](TitleVectorPresence p) mutable {
                 completion(p == TitleVectorPresence::present);
             });
}

void ServerTitleVectorStore::upsert(std::string key, std::string sourceID,
                                    std::vector<double> vector, std::string model,
                                    Completion<void(bool)> completion) {
    auto user = session_->userID();
    if (!user) {
        completion(false);
        return;
    }
    Json body{{"user_id", *user},
              {"title_key", std::move(key)},
              {"source_id", std::move(sourceID)},
              {"embedding", std::move(vector)},
              {"model", std::move(model)}};
    server_->call("/rest/v1/title_vectors?on_conflict=user_id,title_key", "POST", std::move(body),
                  HttpHeaders{{"Prefer", "resolution=merge-duplicates"}}, timeout,
                  [completion = std::move(completion)](CallResult result) mutable {
                      if (!result) {
                          Log::write("title_vec", "업로드 실패 " + result.error().logReason());
                      }
                      completion(result.has_value());
                  });
}

}  // namespace parlendo
