#pragma once

#include "server/ServerTransport.h"

#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace parlendo::testing {

// A ServerTransport that answers from a script and records every request.
//
// Answers are scripted per path: `script(path, response)` queues an answer for requests whose
// path equals `path`, or whose path without its query equals it (an exact match wins). Queued
// answers are used in order, and the last one keeps answering. A request with no script gets
// `fallback` (404 with an empty body unless changed).
//
// By default the completion runs at once, inside `send`. With `hold(true)` answers wait until
// `releaseNext()` / `releaseAll()`, so a test can act while a request is in flight.
// Thread-safe.
class FakeServerTransport final : public ServerTransport {
  public:
    FakeServerTransport() = default;
    // Requests still held are cancelled: the test chose not to release them.
    ~FakeServerTransport() override {
        for (Held& held : held_) {
            held.completion.drop("the test ended without releasing the request");
        }
    }
    FakeServerTransport(const FakeServerTransport&) = delete;
    FakeServerTransport& operator=(const FakeServerTransport&) = delete;

    void send(ServerRequest request, Completion<void(ServerResponse)> completion) override;

    void script(const std::string& path, ServerResponse response);
    // Shorthand for an HTTP answer.
    void scriptHttp(const std::string& path, int status, std::string body = {},
                    HttpHeaders headers = {});
    void setFallback(ServerResponse response);

    std::vector<ServerRequest> requests() const;
    size_t requestCount() const;
    ServerRequest lastRequest() const;

    void hold(bool holding);
    size_t heldCount() const;
    // Answers the oldest held request; false when none is held.
    bool releaseNext();
    size_t releaseAll();

  private:
    ServerResponse answerFor(const std::string& path);

    struct Held {
        ServerResponse response;
        Completion<void(ServerResponse)> completion;
    };

    mutable std::mutex mutex_;
    std::map<std::string, std::deque<ServerResponse>> scripts_;
    ServerResponse fallback_ = ServerResponse::http(404, "");
    std::vector<ServerRequest> requests_;
    bool holding_ = false;
    std::deque<Held> held_;
};

}  // namespace parlendo::testing
