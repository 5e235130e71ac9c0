#pragma once

#include "lookup/TitleEmbedding.h"

#include <memory>
#include <optional>

namespace parlendo {

// Title embedding through the backend's "embed-title" function on the title client (whose calls
// never hold up a logout). `enabled` is the deployment profile's embedding switch. Immutable;
// any thread.
class ServerEmbedder final : public TitleEmbedding {
  public:
    ServerEmbedder(std::shared_ptr<DetailedServerCalling> client, bool enabled,
                   std::optional<std::string> appVersion);

    bool enabled() const override { return enabled_; }
    void embed(std::string text, Completion<void(EmbedClient::Outcome)> completion) override;

  private:
    const bool enabled_;
    const std::shared_ptr<DetailedServerCalling> client_;
    const std::optional<std::string> appVersion_;
};

}  // namespace parlendo
