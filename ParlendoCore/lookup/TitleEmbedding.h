#pragma once

#include "foundation/Completion.h"
#include "lookup/EmbedClient.h"

#include <string>

namespace parlendo {

// Turns a title key into its embedding vector. `enabled` tells whether the deployment allows
// embedding at all. Called from any thread; the completion runs exactly once, on the delivery
// thread of the answer (on the caller's thread for a call refused before sending).
class TitleEmbedding {
  public:
    virtual ~TitleEmbedding() = default;
    virtual bool enabled() const = 0;
    virtual void embed(std::string text, Completion<void(EmbedClient::Outcome)> completion) = 0;
};

}  // namespace parlendo
