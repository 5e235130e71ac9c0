#include <gtest/gtest.h>

#include "FakeAuthAccess.h"
#include "FakeServerTransport.h"
#include "LogCapture.h"
#include "ManualExecutor.h"
#include "server/ServerClient.h"

namespace parlendo {
namespace {

using testing::FakeAuthAccess;
using testing::FakeServerTransport;

class ServerClientTest : public ::testing::Test {
  protected:
    ServerClientTest()
        : main_(std::make_shared<testing::ManualExecutor>()),
          transport_(std::make_shared<FakeServerTransport>()),
          auth_(std::make_shared<FakeAuthAccess>()),
          gate_(std::make_shared<ServerGate>([this] { return uptime_; })),
          net_(std::make_shared<NetState>()) {}

    std::shared_ptr<ServerClient> client(bool awaited = true) {
        return std::make_shared<ServerClient>(transport_, auth_, "public-key",
                                              ServerClient::deliverOn(main_), awaited, gate_, net_,
                                              main_->clock());
    }

    // Calls and runs the delivery queue; the completion must have run exactly then.
    DetailedCallResult callDetailed(const std::string& path, std::string method = "GET",
                                    std::optional<Json> json = std::nullopt,
                                    HttpHeaders headers = {}) {
        std::optional<DetailedCallResult> out;
        client()->callDetailed(path, std::move(method), std::move(json), std::move(headers), 15,
                               [&](DetailedCallResult r) {
                                   EXPECT_TRUE(main_->isCurrent());
                                   out = std::move(r);
                               });
        EXPECT_FALSE(out.has_value()) << "completed outside the delivery hop";
        main_->runAll();
        EXPECT_TRUE(out.has_value());
        return out.value_or(fail(CallFailureDetail(CallFailure::badShape())));
    }
    CallFailureDetail failure(const std::string& path, std::string method = "GET") {
        auto result = callDetailed(path, std::move(method));
        EXPECT_FALSE(result.has_value());
        return result ? CallFailureDetail() : result.error();
    }

    testing::LogCapture log_;
    double uptime_ = 500;
    std::shared_ptr<testing::ManualExecutor> main_;
    std::shared_ptr<FakeServerTransport> transport_;
    std::shared_ptr<FakeAuthAccess> auth_;
    std::shared_ptr<ServerGate> gate_;
    std::shared_ptr<NetState> net_;
};

TEST_F(ServerClientTest, NobodySignedInFailsWithoutSendingOrCounting) {
    auth_->signOut();
    auto detail = failure("/rest/v1/words");
    EXPECT_EQ(detail, CallFailureDetail(CallFailure::authRequired()));
    EXPECT_EQ(transport_->requestCount(), 0u);
    EXPECT_EQ(auth_->beginCount(), 0);

    // A sign-out in progress closes admission before the session goes.
    auth_->signIn("user-2");
    auth_->closeAdmission();
    EXPECT_EQ(failure("/rest/v1/words").failure, CallFailure::authRequired());
    EXPECT_EQ(transport_->requestCount(), 0u);
}

TEST_F(ServerClientTest, HeadersMergeInOrderAndTheClientWins) {
    transport_->scriptHttp("/functions/v1/translate-sentence", 200, "{}");
    // The caller's fields in any letter case give way to the client's own: one field per name.
    callDetailed("/functions/v1/translate-sentence", "POST", Json{{"text", "안녕"}, {"n", 1}},
                 {{"authorization", "caller"},
                  {"APIKEY", "caller"},
                  {"content-type", "text/plain"},
                  {"X-Region", "us-east-1"},
                  {"Prefer", "return=representation"}});
    auto request = transport_->lastRequest();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.timeout, 15);
    EXPECT_EQ(request.body, R"({"n":1,"text":"안녕"})");
    std::vector<std::pair<std::string, std::string>> fields(request.headers.begin(),
                                                            request.headers.end());
    EXPECT_EQ(fields, (std::vector<std::pair<std::string, std::string>>{
                          {"apikey", "public-key"},
                          {"Authorization", "Bearer token-1"},
                          {"Content-Type", "application/json"},
                          {"Prefer", "return=representation"},
                          {"x-region", "ap-northeast-2"}}));

    // No region outside edge functions; Content-Type even without a body.
    transport_->scriptHttp("/rest/v1/words", 200, "[]");
    callDetailed("/rest/v1/words?select=id");
    request = transport_->lastRequest();
    EXPECT_EQ(request.body, std::nullopt);
    EXPECT_EQ(request.headers.count("x-region"), 0u);
    EXPECT_EQ(request.headers.at("content-type"), "application/json");
}

TEST_F(ServerClientTest, ABodyThatCannotBeWrittenFailsWithoutSending) {
    size_t sent = transport_->requestCount();
    auto result = callDetailed("/rest/v1/words?select=id", "POST", Json{{"bad", "\xff\xfe"}});
    EXPECT_EQ(result, DetailedCallResult(fail(CallFailureDetail(CallFailure::badShape()))));
    EXPECT_EQ(transport_->requestCount(), sent);
    EXPECT_EQ(auth_->awaitedInFlight(), 0);
    EXPECT_EQ(log_.messages("net"),
              std::vector<std::string>{
                  "path=/rest/v1/words method=POST 본문을 JSON으로 만들 수 없어 보내지 않음"});
}

TEST_F(ServerClientTest, SuccessBodiesPassUntouchedAndRowsCheckTheirShape) {
    transport_->scriptHttp("/rest/v1/empty", 204, "");
    EXPECT_EQ(callDetailed("/rest/v1/empty"), DetailedCallResult(std::string()));
    std::string odd = "\xff\x00not json" + std::string(200000, 'x');
    transport_->scriptHttp("/rest/v1/odd", 200, odd);
    EXPECT_EQ(callDetailed("/rest/v1/odd"), DetailedCallResult(odd));

    auto rows = [&](const std::string& path) {
        std::optional<RowsResult> out;
        client()->rows(path, 8, [&](RowsResult r) { out = std::move(r); });
        main_->runAll();
        return out.value();
    };
    EXPECT_EQ(rows("/rest/v1/empty"), RowsResult(fail(CallFailure::badShape())));
    transport_->scriptHttp("/rest/v1/words", 200, R"([{"id":1},{"id":2}])");
    auto good = rows("/rest/v1/words?select=id");
    ASSERT_TRUE(good);
    EXPECT_EQ(good->size(), 2u);
    EXPECT_EQ((*good)[1]["id"], 2);
    EXPECT_EQ(transport_->lastRequest().method, "GET");
    EXPECT_EQ(transport_->lastRequest().timeout, 8);
    transport_->scriptHttp("/rest/v1/object", 200, R"({"id":1})");
    EXPECT_EQ(rows("/rest/v1/object"), RowsResult(fail(CallFailure::badShape())));
    transport_->scriptHttp("/rest/v1/mixed", 200, R"([{"id":1},2])");
    EXPECT_EQ(rows("/rest/v1/mixed"), RowsResult(fail(CallFailure::badShape())));
    transport_->scriptHttp("/rest/v1/missing", 404, "");
    EXPECT_EQ(rows("/rest/v1/missing"), RowsResult(fail(CallFailure::rejected(404))));
}

TEST_F(ServerClientTest, A401RecoversAndResendsOnce) {
    transport_->scriptHttp("/rest/v1/words", 401, "");
    transport_->scriptHttp("/rest/v1/words", 200, "[1]");
    EXPECT_EQ(callDetailed("/rest/v1/words", "POST", Json::array({1})),
              DetailedCallResult(std::string("[1]")));
    auto requests = transport_->requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].headers.at("Authorization"), "Bearer token-1");
    EXPECT_EQ(requests[1].headers.at("Authorization"), "Bearer token-2");
    EXPECT_EQ(requests[1].body, requests[0].body);
    EXPECT_EQ(auth_->recoverCount(), 1);
    EXPECT_EQ(auth_->awaitedInFlight(), 0);
    EXPECT_EQ(auth_->endCount(), 1);
}

TEST_F(ServerClientTest, A401OnTheResendIsNotRecoveredAgain) {
    transport_->scriptHttp("/rest/v1/a", 401, "");
    transport_->scriptHttp("/rest/v1/a", 401, R"({"code":"PGRST301","message":"JWT expired"})");
    auto detail = failure("/rest/v1/a");
    EXPECT_EQ(detail.failure, CallFailure::rejectedDetail({401, "PGRST301", "JWT expired"}));
    EXPECT_EQ(detail.status, 401);

    transport_->scriptHttp("/rest/v1/b", 401, "");
    EXPECT_EQ(failure("/rest/v1/b"), CallFailureDetail(CallFailure::authRequired(), 401));
    EXPECT_EQ(auth_->recoverCount(), 2);
    EXPECT_EQ(transport_->requestCount(), 4u);

    // A failed recovery: authRequired with the status, nothing resent.
    auth_->scriptRecover(fail(AuthFailure::rateLimited()));
    EXPECT_EQ(failure("/rest/v1/b"), CallFailureDetail(CallFailure::authRequired(), 401));
    EXPECT_EQ(transport_->requestCount(), 5u);
}

TEST_F(ServerClientTest, QuotaAnswersKeepTheirBodyAndWait) {
    transport_->scriptHttp("/functions/v1/generate-sense", 429, R"({"scope":"daily"})",
                           {{"Retry-After", "120"}});
    auto detail = failure("/functions/v1/generate-sense", "POST");
    EXPECT_EQ(detail.failure, CallFailure::quota());
    EXPECT_EQ(detail.status, 429);
    EXPECT_EQ(detail.quotaScope(), "daily");
    EXPECT_EQ(detail.retryAfter, 120.0);
    EXPECT_EQ(detail.verdict, std::nullopt);

    std::string big = R"({"scope":")" + std::string(5000, 'q') + R"("})";
    transport_->scriptHttp("/rest/v1/q", 429, big);
    detail = failure("/rest/v1/q");
    ASSERT_TRUE(detail.quotaBody);
    EXPECT_EQ(*detail.quotaBody, big.substr(0, 4096));
    EXPECT_EQ(detail.quotaScope(), std::nullopt);
    EXPECT_EQ(detail.retryAfter, std::nullopt);
}

TEST_F(ServerClientTest, ServerErrorsAndRejections) {
    transport_->scriptHttp("/storage/v1/x", 503, R"({"code":"service_paused"})",
                           {{"retry-after", "30"}});
    EXPECT_EQ(failure("/storage/v1/x"),
              CallFailureDetail(CallFailure::unavailable(), 503, {}, {}, {}, 30.0));
    EXPECT_TRUE(log_.messages("server_gate").empty());

    std::string longMessage(200, 'm');
    transport_->scriptHttp("/rest/v1/r", 400,
                           R"({"code":"bad code!","message":")" + longMessage + R"("})");
    auto detail = failure("/rest/v1/r");
    ASSERT_TRUE(detail.failure.is<CallFailure::RejectedDetail>());
    const auto& rejection = detail.failure.as<CallFailure::RejectedDetail>()->rejection;
    EXPECT_EQ(rejection.code, "bad code!");
    EXPECT_EQ(rejection.message, std::string(80, 'm'));
    EXPECT_EQ(detail.failure.logReason(), "rejected_400_other");

    for (const char* body : {"", "\xff\xfe", "[1,2]", R"({"code":5})", "<html>"}) {
        transport_->scriptHttp("/rest/v1/bad", 409, body);
        EXPECT_EQ(failure("/rest/v1/bad"), CallFailureDetail(CallFailure::rejected(409), 409))
            << body;
    }
}

TEST_F(ServerClientTest, TransportFailures) {
    transport_->script("/rest/v1/off", ServerResponse::failed(-1009));
    EXPECT_EQ(failure("/rest/v1/off"), CallFailureDetail(CallFailure::unavailable(), {}, {}, {},
                                                         NetFailure::Kind::notConnected));
    EXPECT_TRUE(net_->offline());

    transport_->script("/rest/v1/lost", ServerResponse::failed(-1005));
    EXPECT_EQ(failure("/rest/v1/lost").net, NetFailure::Kind::connectionLost);
    transport_->script("/rest/v1/slow", ServerResponse::failed(-1001));
    EXPECT_EQ(failure("/rest/v1/slow").net, NetFailure::Kind::other);
    transport_->script("/rest/v1/gone", ServerResponse::unreachable());
    EXPECT_EQ(failure("/rest/v1/gone"), CallFailureDetail(CallFailure::unavailable()));
    EXPECT_TRUE(net_->offline());

    transport_->script("/rest/v1/wait", ServerResponse::timedOut());
    EXPECT_EQ(failure("/rest/v1/wait"), CallFailureDetail(CallFailure::timeout()));

    // Any HTTP answer brings the network back.
    transport_->scriptHttp("/rest/v1/back", 500, "");
    failure("/rest/v1/back");
    EXPECT_FALSE(net_->offline());
    EXPECT_EQ(log_.count("net", "인터넷 없음"), 1u);
    EXPECT_EQ(log_.count("net", "다시 연결됨 — 서버가 답했다"), 1u);
}

TEST_F(ServerClientTest, ResultsOfASupersededAccountGoStale) {
    transport_->hold(true);
    std::optional<DetailedCallResult> out;
    client()->callDetailed("/rest/v1/words", "GET", std::nullopt, {}, 15,
                           [&](DetailedCallResult r) { out = std::move(r); });
    auth_->signOut();
    auth_->signIn("user-2");
    transport_->scriptHttp("/rest/v1/words", 200, "[]");
    transport_->releaseAll();
    main_->runAll();
    ASSERT_TRUE(out);
    EXPECT_EQ(*out, DetailedCallResult(fail(CallFailureDetail(CallFailure::stale()))));

    // authRequired is never turned into stale.
    transport_->hold(false);
    transport_->scriptHttp("/rest/v1/x", 401, "");
    auth_->holdRecover(true);
    out.reset();
    client()->callDetailed("/rest/v1/x", "GET", std::nullopt, {}, 15,
                           [&](DetailedCallResult r) { out = std::move(r); });
    auth_->signOut();
    auth_->releaseRecover();
    main_->runAll();
    ASSERT_TRUE(out);
    EXPECT_EQ(*out, DetailedCallResult(fail(CallFailureDetail(CallFailure::authRequired(), 401))));
    EXPECT_EQ(auth_->awaitedInFlight(), 0);
    EXPECT_EQ(auth_->beginCount(), auth_->endCount());
}

TEST_F(ServerClientTest, OperationsAreCountedByKind) {
    transport_->hold(true);
    client(true)->call("/rest/v1/a", "GET", std::nullopt, 15, [](CallResult) {});
    client(false)->call("/rest/v1/b", "GET", std::nullopt, 15, [](CallResult) {});
    EXPECT_EQ(auth_->awaitedInFlight(), 1);
    EXPECT_EQ(auth_->backgroundInFlight(), 1);
    transport_->releaseAll();
    EXPECT_EQ(auth_->awaitedInFlight(), 0);
    EXPECT_EQ(auth_->backgroundInFlight(), 0);

    // No token: counted, not sent, ended.
    transport_->hold(false);
    auth_->setAccessToken(std::nullopt);
    EXPECT_EQ(failure("/rest/v1/a"), CallFailureDetail(CallFailure::authRequired()));
    EXPECT_EQ(transport_->requestCount(), 2u);
    EXPECT_EQ(auth_->beginCount(), 3);
    EXPECT_EQ(auth_->endCount(), 3);
}

TEST_F(ServerClientTest, ContractVerdictsReachTheGateAndBlockLaterCalls) {
    transport_->scriptHttp("/functions/v1/ask-document", 503,
                           R"({"code":"service_paused","notice":"service_paused"})",
                           {{"Retry-After", "45"}});
    auto detail = failure("/functions/v1/ask-document", "POST");
    EXPECT_EQ(detail.failure, CallFailure::unavailable());
    EXPECT_EQ(detail.status, 503);
    EXPECT_EQ(detail.contractCode(), "service_paused");
    EXPECT_EQ(detail.retryAfter, 45.0);
    EXPECT_EQ(log_.messages("server_gate"),
              std::vector<std::string>{
                  "reason=service_paused where=ask http_status=503 retry_after_s=45"});
    ASSERT_TRUE(gate_->notice());

    // The next call is answered from the gate without sending or counting.
    int begins = auth_->beginCount();
    auto replayed = failure("/functions/v1/ask-document", "POST");
    EXPECT_EQ(replayed.contractCode(), "service_paused");
    EXPECT_EQ(replayed.retryAfter, std::nullopt);
    EXPECT_EQ(transport_->requestCount(), 1u);
    EXPECT_EQ(auth_->beginCount(), begins);
    EXPECT_EQ(log_.messages("server_gate").back(), "replay path=ask code=service_paused");

    // An update requirement from a data path replays as a rejection.
    transport_->scriptHttp("/rest/v1/words", 426,
                           R"({"code":"PT426","message":"app_update_required"})");
    detail = failure("/rest/v1/words");
    EXPECT_EQ(detail.failure,
              CallFailure::rejectedDetail({426, "app_update_required", "app_update_required"}));
    EXPECT_TRUE(gate_->updateRequired());
    EXPECT_EQ(log_.count("server_gate", "reason=app_update_required where=rest http_status=426"),
              1u);
}

TEST_F(ServerClientTest, CallReducesTheDetailToItsFailure) {
    transport_->scriptHttp("/rest/v1/words", 429, "{}");
    std::optional<CallResult> out;
    client()->call("/rest/v1/words", "GET", std::nullopt, 15, [&](CallResult r) { out = r; });
    main_->runAll();
    ASSERT_TRUE(out);
    EXPECT_EQ(*out, CallResult(fail(CallFailure::quota())));
}

TEST(CallFailureTest, LogReasonsAndConversions) {
    EXPECT_EQ(CallFailure::rejected(404).logReason(), "rejected_404");
    EXPECT_EQ(CallFailure::rejectedDetail({400, "PGRST202", ""}).logReason(),
              "rejected_400_PGRST202");
    EXPECT_EQ(CallFailure::rejectedDetail({400, "", ""}).logReason(), "rejected_400_other");
    EXPECT_EQ(CallFailure::rejectedDetail({400, std::string(41, 'a'), ""}).logReason(),
              "rejected_400_other");
    EXPECT_EQ(CallFailure::authRequired().logReason(), "auth_required");
    EXPECT_EQ(CallFailure::badShape().logReason(), "bad_shape");
    EXPECT_EQ(CallFailure::safeCode("23505"), "23505");
    EXPECT_EQ(CallFailure::safeCode("한글"), "other");
    EXPECT_EQ(CallFailure::from(CallFailure::stale()), CallFailure::stale());
    EXPECT_EQ(CallFailure::from(std::runtime_error("x")), CallFailure::unavailable());
    EXPECT_EQ(ServerClient::classify(401), CallFailure::authRequired());
    EXPECT_EQ(ServerClient::classify(503), CallFailure::unavailable());
    EXPECT_EQ(ServerClient::classify(418), CallFailure::rejected(418));
    EXPECT_FALSE(CallFailureDetail(CallFailure::timeout()).reachedServer());
    EXPECT_EQ(ServerRejection::parse(400, R"({"code":""})"), (ServerRejection{400, "", ""}));
    EXPECT_EQ(ServerRejection::parse(400, R"("code")"), std::nullopt);
}

}  // namespace
}  // namespace parlendo
