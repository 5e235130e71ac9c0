#pragma once

#include "foundation/Completion.h"
#include "foundation/Function.h"
#include "foundation/Json.h"
#include "foundation/Result.h"
#include "server/CallFailure.h"
#include "server/ServerContract.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace parlendo {

// The process-wide memory of what the backend said about this client: features blocked until a
// time (with the failure to hand back instead of sending), retry hints, the auth rate-limit
// window, whether an update is required, the notice to show, and the one-time app-gate read.
// Thread-safe: one lock guards all state; the clock is read before locking, and the log and
// `onNoticeChange` are called after unlocking (so the closure may call back into the gate).
class ServerGate : public std::enable_shared_from_this<ServerGate> {
  public:
    struct Notice {
        std::string key;
        std::string text;  // Korean
        bool updateRequired = false;
        bool operator==(const Notice&) const = default;
        // {"key", "text", "update_required"} for the manage page.
        Json screen() const;
    };

    static constexpr std::string_view gateRPC = "/rest/v1/rpc/app_gate_v1";
    static constexpr double gateTimeout = 3.0;
    static std::optional<std::string> noticeText(std::string_view key);
    static std::optional<std::string> menuText(std::string_view key);

    // `clock` gives monotonic seconds (the process uptime by default); `wallNow` gives wall-clock
    // seconds for reading HTTP dates in the app-gate reply.
    explicit ServerGate(std::function<double()> clock = {}, std::function<double()> wallNow = {});

    ServerContract::Verdict observe(const ServerContract::Verdict& verdict,
                                    const std::optional<std::string>& feature = std::nullopt,
                                    std::optional<int> status = std::nullopt,
                                    std::optional<CallFailureDetail> replay = std::nullopt,
                                    std::string_view source = "response");

    std::optional<CallFailureDetail> replay(std::string_view path);
    static CallFailureDetail replayFailure(const ServerContract::Verdict& verdict,
                                           std::optional<int> status);

    bool backgroundAllowed(const std::vector<std::string>& features);
    std::optional<double> authRetryAfter();
    bool updateRequired() const;
    std::optional<Notice> notice();
    std::optional<std::string> menuLine();
    double remaining(std::string_view feature);
    double retryHint(std::string_view feature);

    bool beginAppGateRead();
    std::string appGateState() const;

    // Sends the app-gate request through `call` and applies the reply; completes with the new
    // state ("ok", "not_found" or "error") on whatever thread `call` completed on.
    using GateCall = UniqueFunction<void(Completion<void(Result<std::string, CallFailureDetail>)>)>;
    void readAppGate(std::string appVersion, std::string platform, GateCall call,
                     Completion<void(std::string)> completion);
    int applyAppGate(const Json& reply, std::string_view appVersion, std::string_view platform);

    static bool functionMissing(const CallFailure& error);
    static bool functionMissing(const CallFailureDetail& error);
    template <class E, class = std::enable_if_t<!std::is_same_v<E, CallFailure> &&
                                                !std::is_same_v<E, CallFailureDetail>>>
    static bool functionMissing(const E&) {
        return false;
    }

    void setOnNoticeChange(std::function<void()> onNoticeChange);

  private:
    struct Block {
        double until = 0;
        ServerContract::Kind kind = ServerContract::Kind::busy;
        CallFailureDetail replay;
    };

    // The live block of `feature`; an expired one is removed. Lock held.
    const Block* liveBlockLocked(const std::string& feature, double now);
    void noticeChanged();

    std::function<double()> clock_;
    std::function<double()> wallNow_;
    mutable std::mutex mutex_;
    bool updateRequiredFlag_ = false;
    std::optional<std::string> noticeKey_;
    std::set<std::string> noticeFeatures_;
    std::map<std::string, Block, std::less<>> blocked_;
    std::map<std::string, double, std::less<>> hints_;
    std::optional<double> authUntil_;
    std::string gateState_ = "not_started";
    std::function<void()> onNoticeChange_;
};

}  // namespace parlendo
