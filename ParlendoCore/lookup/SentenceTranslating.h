#pragma once

#include "foundation/Completion.h"
#include "lookup/TranslationClient.h"

#include <string>

namespace parlendo {

// Translates one captured text into Korean. Called from any thread; the completion runs exactly
// once, on the delivery thread of the answer (on the caller's thread for a text refused before
// sending). Failures are CallFailure values.
class SentenceTranslating {
  public:
    virtual ~SentenceTranslating() = default;
    virtual void translate(std::string text,
                           Completion<void(TranslationClient::Outcome)> completion) = 0;
};

}  // namespace parlendo
