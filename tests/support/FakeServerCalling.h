#pragma once

#include "foundation/Executor.h"
#include "server/ServerCalling.h"

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace parlendo::testing {

// A DetailedServerCalling that records every call and answers from a script. Thread-safe.
//
// Answers are scripted per "METHOD path", the path taken without its query. Each call takes the
// next answer scripted for its key and the last one keeps answering; scripting a key whose last
// answer has already been given replaces that answer. A respond function, when set, answers every
// call instead of the scripts. A call with neither gets the fallback (`unavailable` unless set).
//
// Answers run at once, inside the call, unless `hold(true)`: then each call waits until the test
// releases it, oldest first, with its own answer or another one; what is still held when the fake
// goes is cancelled. `call` answers the failure of a
// detailed answer; `callDetailed` the whole detail.
class FakeServerCalling final : public DetailedServerCalling {
  public:
    struct Call {
        std::string path;
        std::string method;
        std::optional<Json> json;
        HttpHeaders headers;
        double timeout = 0;
    };
    using Respond = std::function<DetailedCallResult(const Call&)>;

    FakeServerCalling() = default;
    // Calls still held are cancelled: the test chose not to release them.
    ~FakeServerCalling() override;
    FakeServerCalling(const FakeServerCalling&) = delete;
    FakeServerCalling& operator=(const FakeServerCalling&) = delete;

    using ServerCalling::call;
    void call(std::string path, std::string method, std::optional<Json> json, HttpHeaders headers,
              double timeout, Completion<void(CallResult)> completion) override;
    void callDetailed(std::string path, std::string method, std::optional<Json> json,
                      HttpHeaders headers, double timeout,
                      Completion<void(DetailedCallResult)> completion) override;

    // Queues an answer for "METHOD path" (a query in `path` is ignored).
    void script(const std::string& method, const std::string& path, DetailedCallResult answer);
    void ok(const std::string& method, const std::string& path, std::string body);
    void failure(const std::string& method, const std::string& path, CallFailureDetail failure);
    // Answers every call from a function instead of the scripts (nullptr: the scripts again).
    void respondWith(Respond respond);
    // The answer to calls that nothing else answers.
    void setFallback(DetailedCallResult answer);
    // Answers go through `executor` (as the program's clients deliver on the main executor)
    // instead of running inside the call; nullptr: inside the call again.
    void deliverOn(ExecutorPtr executor);

    std::vector<Call> calls() const;
    size_t count() const;
    size_t count(const std::string& method) const;

    void hold(bool holding);
    size_t heldCount() const;
    // Answers the oldest held call with its own answer, or with `instead`. With none held, the test
    // fails and the result is false.
    bool releaseNext();
    bool releaseNext(DetailedCallResult instead);

  private:
    struct Script {
        std::deque<DetailedCallResult> answers;
        bool lastGiven = false;
    };
    struct Held {
        DetailedCallResult answer;
        Completion<void(DetailedCallResult)> completion;
    };

    bool release(std::optional<DetailedCallResult> instead);
    void answer(Completion<void(DetailedCallResult)> completion, DetailedCallResult result);

    mutable std::mutex mutex_;
    std::map<std::string, Script> scripts_;
    Respond respond_;
    DetailedCallResult fallback_ = fail(CallFailureDetail(CallFailure::unavailable()));
    std::vector<Call> calls_;
    bool holding_ = false;
    ExecutorPtr deliver_;
    std::deque<Held> held_;
};

// A structured rejection, as the server client reads it from an error body.
inline CallFailure rejection(int status, std::string code, std::string message = "") {
    return CallFailure::rejectedDetail(
        ServerRejection{status, std::move(code), std::move(message)});
}

// The rejection of an insert that breaks a unique constraint.
inline CallFailure uniqueViolation() {
    return rejection(409, "23505", "duplicate key");
}

}  // namespace parlendo::testing
