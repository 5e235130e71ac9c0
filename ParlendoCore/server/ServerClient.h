#pragma once

#include "foundation/Clock.h"
#include "foundation/Executor.h"
#include "server/AuthTypes.h"
#include "server/NetState.h"
#include "server/ServerCalling.h"
#include "server/ServerGate.h"
#include "server/ServerTransport.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace parlendo {

// The one road by which data (/rest/v1/) and edge-function (/functions/v1/) requests reach the
// backend. Each call captures the auth context, counts itself as an operation, consults the gate,
// sends through the transport, resends once after a 401 and a successful recovery, reports
// verdicts to the gate and reachability to the network state, turns results of a superseded
// account into `stale`, and completes through `deliver` (the main executor in the application),
// early failures included.
//
// The client keeps no per-call state and holds no lock; calls may start on any thread. A call in
// flight holds the collaborators, not the client.
class ServerClient final : public DetailedServerCalling {
  public:
    // Runs a completion where the caller wants it.
    using Deliver = std::function<void(Task)>;

    ServerClient(std::shared_ptr<ServerTransport> transport, std::shared_ptr<AuthAccess> auth,
                 std::string apiKey, Deliver deliver, bool awaited,
                 std::shared_ptr<ServerGate> gate = nullptr,
                 std::shared_ptr<NetState> net = nullptr,
                 std::shared_ptr<const WallClock> clock = nullptr);

    // A delivery hop that posts to `executor`.
    static Deliver deliverOn(ExecutorPtr executor);

    using ServerCalling::call;
    void call(std::string path, std::string method, std::optional<Json> json, HttpHeaders headers,
              double timeout, Completion<void(CallResult)> completion) override;
    void callDetailed(std::string path, std::string method, std::optional<Json> json,
                      HttpHeaders headers, double timeout,
                      Completion<void(DetailedCallResult)> completion) override;

    // The headers with "x-region" set for edge-function paths.
    static HttpHeaders withRegion(std::string_view path, HttpHeaders headers);
    // The failure of a bare HTTP status.
    static CallFailure classify(int status);

    static constexpr std::string_view region = "ap-northeast-2";

  private:
    struct Shared;
    struct Call;
    static void send(const std::shared_ptr<Call>& call, bool retried);
    static void answer(const std::shared_ptr<Call>& call, bool retried, ServerResponse response);
    static void answerHttp(const std::shared_ptr<Call>& call, bool retried,
                           ServerResponse::Http http);
    static void finish(const std::shared_ptr<Call>& call, DetailedCallResult result);

    std::shared_ptr<const Shared> shared_;
};

}  // namespace parlendo
