#pragma once

#include "foundation/Completion.h"

#include <string>
#include <vector>

namespace parlendo {

// Whether the user has a title vector row for a title key and model; `unknown` when the question
// could not be answered.
enum class TitleVectorPresence { present, absent, unknown };

const char* toString(TitleVectorPresence presence);

// The user's title vectors on the server. Called from any thread; completions run exactly once,
// on the server client's delivery thread (at once for calls refused before sending).
class TitleVectorStore {
  public:
    virtual ~TitleVectorStore() = default;

    virtual void exists(std::string key, std::string model, Completion<void(bool)> completion) = 0;
    // By default `present` when `exists` says so, else `absent` (never `unknown`).
    virtual void presence(std::string key, std::string model,
                          Completion<void(TitleVectorPresence)> completion);
    // True when the row was written.
    virtual void upsert(std::string key, std::string sourceID, std::vector<double> vector,
                        std::string model, Completion<void(bool)> completion) = 0;
};

}  // namespace parlendo
