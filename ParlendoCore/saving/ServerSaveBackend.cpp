#include "saving/ServerSaveBackend.h"

#include "foundation/Log.h"
#include "foundation/Text.h"
#include "foundation/WorkerQueue.h"
#include "saving/SaveRetry.h"

namespace parlendo {

namespace {

Json optionalString(const std::optional<std::string>& value) {
    return value ? Json(*value) : Json(nullptr);
}

}  // namespace

ServerSaveBackend::ServerSaveBackend(std::shared_ptr<ServerCalling> server,
                                     std::shared_ptr<SessionProviding> session,
                                     ExecutorPtr delivery)
    : server_(std::move(server)),
      session_(std::move(session)),
      delivery_(delivery ? std::move(delivery) : ThreadPool::shared()) {}

void ServerSaveBackend::snapshot(SaveWork work, Completion<void(CallResult)> completion) {
    server_->call(
        std::string(rpcPath), "POST", work.rpcParams(), SaveRetry::requestTimeout,
        [delivery = delivery_, completion = std::move(completion)](CallResult result) mutable {
            delivery->post(
                [completion = std::move(completion), result = std::move(result)]() mutable {
                    completion(std::move(result));
                });
        });
}

void ServerSaveBackend::legacy(SaveWork work, Completion<void(bool)> completion) {
    auto deliver = [delivery = delivery_, completion = std::move(completion)](bool ok) mutable {
        delivery->post([completion = std::move(completion), ok]() mutable { completion(ok); });
    };
    // The rows name the word's own account: a token of another one makes the server refuse them.
    if (!signedIn(work.owner)) {
        deliver(false);
        return;
    }
    // The platform's standard lower-casing, without the final-sigma rule of the snapshot call's
    // server-side lower-casing.
    std::string lemma = text::lowercased(work.lemma);
    Json body{{"user_id", work.owner},
              {"source_id", work.sourceID},
              {"lemma", lemma},
              {"korean", optionalString(work.korean)},
              {"phonetic", optionalString(work.phonetic)}};
    HttpHeaders headers{{"Prefer", "resolution=ignore-duplicates,return=representation"}};
    server_->call(std::string(wordsPath), "POST", std::move(body), std::move(headers),
                  legacyTimeout,
                  [server = server_, work = std::move(work), lemma = std::move(lemma),
                   deliver = std::move(deliver)](CallResult result) mutable {
                      if (!result) {
                          Log::write("save", "단어 실패 " + Log::redact(lemma) + " " +
                                                 result.error().logReason());
                          deliver(false);
                          return;
                      }
                      std::vector<Json> rows;
                      if (auto parsed = ServerCalling::parseRows(*result)) {
                          rows = std::move(*parsed);
                      }
                      if (!rows.empty() && rows.front().contains("word_id")) {
                          sendSenses(server, rows.front()["word_id"], work.owner, work.senses);
                          Log::write("save", "단어 저장(legacy) " + Log::redact(lemma) +
                                                 " senses=" + std::to_string(work.senses.size()));
                      } else {
                          Log::write("save", "단어 이미 있음(legacy) " + Log::redact(lemma));
                      }
                      deliver(true);
                  });
}

bool ServerSaveBackend::signedIn(const std::string& owner) const {
    const auto userID = session_->userID();
    return !owner.empty() && userID == owner;
}

void ServerSaveBackend::sendSenses(const std::shared_ptr<ServerCalling>& server, const Json& wordID,
                                   const std::string& userID,
                                   const std::vector<SaveWork::Sense>& senses) {
    Json rows = Json::array();
    int rank = 0;
    for (const auto& sense : senses) {
        ++rank;
        if (sense.definition.empty()) {
            continue;
        }
        rows.push_back(Json{{"word_id", wordID},
                            {"user_id", userID},
                            {"rank", rank},
                            {"korean", sense.korean},
                            {"definition", sense.definition},
                            {"example", sense.example},
                            {"pos", sense.pos}});
    }
    if (rows.empty()) {
        return;
    }
    server->call(std::string(sensesPath), "POST", std::move(rows),
                 HttpHeaders{{"Prefer", "resolution=ignore-duplicates"}}, legacyTimeout,
                 [](CallResult result) {
                     if (!result) {
                         Log::write("save", "뜻 저장 실패 " + result.error().logReason());
                     }
                 });
}

}  // namespace parlendo
