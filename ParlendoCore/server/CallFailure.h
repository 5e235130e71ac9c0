#pragma once

#include "foundation/VariantAccess.h"
#include "server/NetFailure.h"
#include "server/ServerContract.h"

#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

namespace parlendo {

// A structured rejection read from an error body.
struct ServerRejection {
    int status = 0;
    std::string code;
    std::string message;  // at most 80 characters
    bool operator==(const ServerRejection&) const = default;

    // The rejection in an error body: a JSON object with a string member "code"; nullopt otherwise.
    static std::optional<ServerRejection> parse(int status, std::string_view body);
};

// The failure of one backend call that callers branch on.
class CallFailure : public VariantAccess<CallFailure> {
  public:
    struct Rejected {
        int status = 0;
        bool operator==(const Rejected&) const = default;
    };
    struct RejectedDetail {
        ServerRejection rejection;
        bool operator==(const RejectedDetail&) const = default;
    };
    struct AuthRequired {
        bool operator==(const AuthRequired&) const = default;
    };
    struct Stale {
        bool operator==(const Stale&) const = default;
    };
    struct Timeout {
        bool operator==(const Timeout&) const = default;
    };
    struct Unavailable {
        bool operator==(const Unavailable&) const = default;
    };
    struct Quota {
        bool operator==(const Quota&) const = default;
    };
    struct BadShape {
        bool operator==(const BadShape&) const = default;
    };
    using Value = std::variant<Rejected, RejectedDetail, AuthRequired, Stale, Timeout, Unavailable,
                               Quota, BadShape>;

    CallFailure(Value value) : value_(std::move(value)) {}  // NOLINT: implicit by design

    static CallFailure rejected(int status) { return CallFailure(Value{Rejected{status}}); }
    static CallFailure rejectedDetail(ServerRejection rejection) {
        return CallFailure(Value{RejectedDetail{std::move(rejection)}});
    }
    static CallFailure authRequired() { return CallFailure(Value{AuthRequired{}}); }
    static CallFailure stale() { return CallFailure(Value{Stale{}}); }
    static CallFailure timeout() { return CallFailure(Value{Timeout{}}); }
    static CallFailure unavailable() { return CallFailure(Value{Unavailable{}}); }
    static CallFailure quota() { return CallFailure(Value{Quota{}}); }
    static CallFailure badShape() { return CallFailure(Value{BadShape{}}); }

    const Value& value() const { return value_; }
    bool operator==(const CallFailure&) const = default;

    // The stable log text: "rejected_404", "rejected_400_PGRST202", "auth_required", ...
    std::string logReason() const;

    // `code` when it matches ^[A-Za-z0-9_]{1,40}$, else "other".
    static std::string safeCode(std::string_view code);

    // A CallFailure is returned as it is; any other error is `unavailable`.
    template <class E>
    static CallFailure from(const E& error) {
        if constexpr (std::is_same_v<std::decay_t<E>, CallFailure>) {
            return error;
        } else {
            return unavailable();
        }
    }

  private:
    Value value_;
};

// A failure with what is known about it.
struct CallFailureDetail {
    CallFailureDetail() = default;
    CallFailureDetail(CallFailure failure_, std::optional<int> status_ = std::nullopt,
                      std::optional<std::string> quotaBody_ = std::nullopt,
                      std::optional<ServerContract::Verdict> verdict_ = std::nullopt,
                      std::optional<NetFailure::Kind> net_ = std::nullopt,
                      std::optional<double> retryAfter_ = std::nullopt)
        : failure(std::move(failure_)),
          status(status_),
          quotaBody(std::move(quotaBody_)),
          verdict(std::move(verdict_)),
          net(net_),
          retryAfter(retryAfter_) {}

    CallFailure failure = CallFailure::unavailable();
    std::optional<int> status;                       // the HTTP status, when the server answered
    std::optional<std::string> quotaBody;            // a 429's first 4096 body bytes
    std::optional<ServerContract::Verdict> verdict;  // set on gate replays
    std::optional<NetFailure::Kind> net;             // set when the transport failed with a code
    std::optional<double> retryAfter;                // seconds
    bool operator==(const CallFailureDetail&) const = default;

    static constexpr size_t quotaBodyLimit = 4096;

    std::optional<std::string> contractCode() const;
    // The string member "scope" of a quota body that is a JSON object.
    std::optional<std::string> quotaScope() const;
    bool reachedServer() const { return status.has_value(); }
};

}  // namespace parlendo
