#include "lookup/ServerEmbedder.h"

namespace parlendo {

ServerEmbedder::ServerEmbedder(std::shared_ptr<DetailedServerCalling> client, bool enabled,
                               std::optional<std::string> appVersion)
    : enabled_(enabled), client_(std::move(client)), appVersion_(std::move(appVersion)) {}

void ServerEmbedder::embed(std::string text, Completion<void(EmbedClient::Outcome)> completion) {
    EmbedClient::embed(client_, enabled_, std::move(text), appVersion_, std::move(completion));
}

}  // namespace parlendo
