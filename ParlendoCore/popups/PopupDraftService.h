#pragma once

#include "foundation/Completion.h"
#include "foundation/Executor.h"
#include "foundation/Json.h"
#include "popups/ConnectionSettings.h"
#include "server/AuthTypes.h"
#include "server/ServerTransport.h"

#include <functional>
#include <memory>
#include <string>
#include <variant>

namespace parlendo {

// The one answer to a draft request.
class DraftResponse {
  public:
    // An answer arrived; status 0 when it was not an HTTP answer.
    struct Http {
        int status = 0;
        std::string body;
        bool operator==(const Http&) const = default;
    };
    struct TimedOut {
        bool operator==(const TimedOut&) const = default;
    };
    // Any other failure, including an address that cannot be used.
    struct Unreachable {
        bool operator==(const Unreachable&) const = default;
    };
    using Value = std::variant<Http, TimedOut, Unreachable>;

    DraftResponse(Value value) : value_(std::move(value)) {}  // NOLINT: implicit by design

    static DraftResponse http(int status, std::string body) {
        return DraftResponse(Value{Http{status, std::move(body)}});
    }
    static DraftResponse timedOut() { return DraftResponse(Value{TimedOut{}}); }
    static DraftResponse unreachable() { return DraftResponse(Value{Unreachable{}}); }

    const Value& value() const { return value_; }
    template <class T>
    const T* as() const {
        return std::get_if<T>(&value_);
    }
    bool operator==(const DraftResponse&) const = default;

  private:
    Value value_;
};

// Sends one POST to the generative-language API and answers exactly once, never retrying.
// `post` may be called from any thread; the completion runs on the transport's own thread.
class DraftTransport {
  public:
    virtual ~DraftTransport() = default;
    virtual void post(std::string url, HttpHeaders headers, std::string body, double timeout,
                      Completion<void(DraftResponse)> completion) = 0;
};

// Turns a user's description of a custom popup into a proposal for the manage page, with one
// request to the generative-language API carrying the user's own key. Every outcome is a reply
// object with a "status" (and a "reason" for errors). Keeps no state between calls.
class PopupDraftService {
  public:
    using UptimeClock = std::function<double()>;

    // `work` runs each proposal, and handles its answer, away from the caller's thread and the
    // transport's (default: the global pool); `endpoint` is the API's address.
    PopupDraftService(std::shared_ptr<ConnectionSettings> connection,
                      std::shared_ptr<SessionProviding> session,
                      std::shared_ptr<DraftTransport> transport,
                      std::shared_ptr<Executor> work = {}, std::string endpoint = defaultEndpoint(),
                      UptimeClock clock = {});

    // Completes with the reply object, on the work executor.
    void propose(std::string description, Completion<void(Json)> completion);

    static std::string defaultEndpoint();

  private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
};

}  // namespace parlendo
