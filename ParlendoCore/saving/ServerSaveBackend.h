#pragma once

#include "foundation/Executor.h"
#include "saving/SaveBackend.h"
#include "server/AuthTypes.h"

#include <memory>
#include <string_view>

namespace parlendo {

// Stores words in the user's word book: through the server function save_word_snapshot_v1 (one
// request for the word and its senses, answered with a receipt), or through the legacy path (an
// upsert into `words`, then an insert into `word_senses` that nobody waits for), both for the
// account the word was captured under, never for whoever is signed in when it is sent. Keeps no
// state between calls. Completions are handed to `delivery` (the shared background pool by
// default).
class ServerSaveBackend final : public SaveBackend {
  public:
    static constexpr std::string_view rpcName = "save_word_snapshot_v1";
    static constexpr std::string_view rpcPath = "/rest/v1/rpc/save_word_snapshot_v1";
    static constexpr std::string_view wordsPath =
        "/rest/v1/words?on_conflict=user_id,lemma,source_id";
    static constexpr std::string_view sensesPath = "/rest/v1/word_senses?on_conflict=word_id,rank";
    static constexpr double legacyTimeout = 15.0;

    ServerSaveBackend(std::shared_ptr<ServerCalling> server,
                      std::shared_ptr<SessionProviding> session, ExecutorPtr delivery = nullptr);

    void snapshot(SaveWork work, Completion<void(CallResult)> completion) override;
    void legacy(SaveWork work, Completion<void(bool)> completion) override;
    bool signedIn(const std::string& owner) const override;

  private:
    // Sends the sense rows of a newly written word row; nobody waits for the answer.
    static void sendSenses(const std::shared_ptr<ServerCalling>& server, const Json& wordID,
                           const std::string& userID, const std::vector<SaveWork::Sense>& senses);

    std::shared_ptr<ServerCalling> server_;
    std::shared_ptr<SessionProviding> session_;
    ExecutorPtr delivery_;
};

}  // namespace parlendo
