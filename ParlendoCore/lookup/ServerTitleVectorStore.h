#pragma once

#include "lookup/TitleVectorStore.h"
#include "server/AuthTypes.h"
#include "server/ServerCalling.h"

#include <memory>

namespace parlendo {

// The table "title_vectors" through the backend's REST interface, on the title client. One row
// per user and title key; a second write merges into it. The user id is read once per call.
// Stateless; any thread.
class ServerTitleVectorStore final : public TitleVectorStore {
  public:
    static constexpr double timeout = 15.0;

    ServerTitleVectorStore(std::shared_ptr<ServerCalling> server,
                           std::shared_ptr<SessionProviding> session);

    void exists(std::string key, std::string model, Completion<void(bool)> completion) override;
    // Nobody signed in or a failed read: `unknown`, silently.
    void presence(std::string key, std::string model,
                  Completion<void(TitleVectorPresence)> completion) override;
    // Nobody signed in: false without a request. A failed write is logged (tag "title_vec").
    void upsert(std::string key, std::string sourceID, std::vector<double> vector,
                std::string model, Completion<void(bool)> completion) override;

    // The read path for one user, title key and model.
    static std::string presencePath(const std::string& userID, const std::string& key,
                                    const std::string& model);

  private:
    const std::shared_ptr<ServerCalling> server_;
    const std::shared_ptr<SessionProviding> session_;
};

}  // namespace parlendo
