#pragma once

#include "foundation/Function.h"
#include "foundation/Json.h"
#include "manage/BridgeTypes.h"
#include "server/AuthTypes.h"
#include "server/CallFailure.h"

#include <optional>
#include <string>
#include <type_traits>
#include <variant>

namespace parlendo {

// The shared reply functions of the manage page's route groups: the same failure reaches the page
// in the same shape, with its error code, its class and, for saves, the save's own state.
// Pure functions; the `writing` wrapper completes on the thread its body completes on.
namespace ManageContract {

namespace WriteErrorCode {
inline constexpr const char* unknown = "transport_or_response_unknown";
inline constexpr const char* rejected = "contract_or_permission_rejected";
inline constexpr const char* contractUnavailable = "server_contract_unavailable";
}  // namespace WriteErrorCode

// What a write can fail with: a failure of its server call, or the writer's own failure with its
// log reason and its write error code.
class WriteError {
  public:
    struct Writer {
        std::string reason;
        std::string writeErrorCode;
        bool operator==(const Writer&) const = default;
    };
    WriteError(CallFailure failure) : value_(std::move(failure)) {}  // NOLINT: implicit
    WriteError(Writer writer) : value_(std::move(writer)) {}         // NOLINT: implicit

    const std::variant<CallFailure, Writer>& value() const { return value_; }
    bool operator==(const WriteError&) const = default;

  private:
    std::variant<CallFailure, Writer> value_;
};

// The envelope of a failed backend call: authentication, stale or request.
Json failure(const CallFailure& f);
// The text logged after "reason=".
std::string reason(const CallFailure& f);
// The write error code of a failure; none for authRequired and stale.
std::optional<std::string> writeErrorCode(const CallFailure& f);
Json writeFailure(const CallFailure& f, const Json& save);
Json writeFailure(const std::string& code, const Json& save);

using WriteBody = UniqueFunction<void(Completion<void(Result<Json, WriteError>)>)>;
// Runs a write: its value becomes `ok`, a failure with a write error code the save-failure
// envelope (logged), an authentication or stale failure the matching `failed` reply.
void writing(WriteBody body, Completion<void(BridgeReply)> completion);

BridgeReply reply(const Json& object);
// A JSON boolean; none for anything else, numbers included.
std::optional<bool> boolean(const Json* value);
// A finite JSON number that is not a boolean.
std::optional<double> number(const Json* value);

// The reply of a study save, from what a save tells about itself.
BridgeReply studySaveReply(bool confirmed, const std::optional<Json>& evidence, bool stale,
                           bool authRequired, const std::optional<std::string>& errorCode,
                           Json screen);

// The reply of a study save: any save type with `state` (whose enumeration has `confirmed`),
// `evidence`, `stale`, `authRequired`, `errorCode` and `screen()`.
template <class Save>
BridgeReply studySave(const Save& save) {
    using State = std::decay_t<decltype(save.state)>;
    return studySaveReply(save.state == State::confirmed, save.evidence, save.stale,
                          save.authRequired, save.errorCode, save.screen());
}

// The sign-out report.
Json signOut(const LogoutOutcome& outcome);

}  // namespace ManageContract
}  // namespace parlendo
