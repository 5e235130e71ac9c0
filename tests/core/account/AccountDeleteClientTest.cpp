#include <gtest/gtest.h>

#include "AccountRig.h"
#include "FakeServerTransport.h"
#include "LogCapture.h"
#include "account/AccountDeleteClient.h"

namespace parlendo {
namespace {

using namespace parlendo::testing;

DeleteAnswer answerOf(int status, std::string body, HttpHeaders headers = {}) {
    return AccountDeleteClient::answer(
        ServerResponse::http(status, std::move(body), std::move(headers)));
}

TEST(AccountDeleteClient, AnswersMapToTheirOutcome) {
    EXPECT_EQ(answerOf(200, R"({"status":"deleted","extra":1})"), DeleteAnswer::deleted);
    EXPECT_EQ(answerOf(200, R"({"status":"pending"})"), DeleteAnswer::failed);
    EXPECT_EQ(answerOf(200, R"({})"), DeleteAnswer::failed);
    // A body that is not an object: no usable answer came back.
    EXPECT_EQ(answerOf(200, R"([{"status":"deleted"}])"), DeleteAnswer::network);
    EXPECT_EQ(answerOf(200, "<html>"), DeleteAnswer::network);
    EXPECT_EQ(answerOf(200, R"("deleted")"), DeleteAnswer::network);

    EXPECT_EQ(answerOf(403, R"({"error":"wrong_password"})"), DeleteAnswer::wrongPassword);
    EXPECT_EQ(answerOf(403, R"({"error":"forbidden"})"), DeleteAnswer::failed);
    EXPECT_EQ(answerOf(403, ""), DeleteAnswer::failed);
    EXPECT_EQ(answerOf(429, ""), DeleteAnswer::rateLimited);
    EXPECT_EQ(answerOf(401, ""), DeleteAnswer::unauthorized);
    EXPECT_EQ(answerOf(404, ""), DeleteAnswer::failed);
    EXPECT_EQ(answerOf(503, R"({"error":"db down"})"), DeleteAnswer::failed);
    EXPECT_EQ(answerOf(503, ""), DeleteAnswer::network);
    EXPECT_EQ(answerOf(500, R"({"error":42})"), DeleteAnswer::network);
    // A contract answer of the server wins over the status.
    EXPECT_EQ(answerOf(503, R"({"code":"service_paused"})"), DeleteAnswer::failed);
    EXPECT_EQ(answerOf(429, R"({"code":"service_paused"})"), DeleteAnswer::failed);

    EXPECT_EQ(AccountDeleteClient::answer(ServerResponse::timedOut()), DeleteAnswer::network);
    EXPECT_EQ(AccountDeleteClient::answer(ServerResponse::failed(-1009)), DeleteAnswer::network);
    EXPECT_EQ(AccountDeleteClient::answer(ServerResponse::unreachable()), DeleteAnswer::network);

    for (auto answer :
         {DeleteAnswer::deleted, DeleteAnswer::wrongPassword, DeleteAnswer::rateLimited,
          DeleteAnswer::unauthorized, DeleteAnswer::network, DeleteAnswer::failed}) {
        EXPECT_EQ(deleteAnswerFromString(toString(answer)), answer);
    }
    EXPECT_EQ(deleteAnswerFromString("Deleted"), std::nullopt);
}

struct ClientRig : AccountRig {
    std::shared_ptr<FakeServerTransport> server = std::make_shared<FakeServerTransport>();
    std::shared_ptr<ServerGate> gate = std::make_shared<ServerGate>(
        [c = clock] { return c->uptime(); }, [c = clock] { return c->now(); });
    AccountDeleteClient client{{server, auth, "anon", "0.2.0", gate, clock}};

    std::optional<DeleteAnswer> request(const std::string& password) {
        std::optional<DeleteAnswer> answer;
        client.request(password, [&](DeleteAnswer a) { answer = a; });
        return answer;
    }
};

TEST(AccountDeleteClient, SendsOneCountedRequestWithThePassword) {
    ClientRig rig;
    // Nobody signed in: nothing is sent.
    EXPECT_EQ(rig.request("pw"), DeleteAnswer::unauthorized);
    EXPECT_EQ(rig.server->requestCount(), 0u);

    rig.signIn("u1");
    rig.server->hold(true);
    rig.server->scriptHttp(AccountDeleteClient::path, 200, R"({"status":"deleted"})");
    std::optional<DeleteAnswer> answer;
    rig.client.request("비밀번호 🔑", [&](DeleteAnswer a) { answer = a; });
    // On the wire it counts as an awaited operation: a sign-out or a quit waits for it.
    EXPECT_EQ(rig.auth->inFlightOperations(), 1);
    const ServerRequest sent = rig.server->lastRequest();
    EXPECT_EQ(sent.path, "/functions/v1/delete-account");
    EXPECT_EQ(sent.method, "POST");
    EXPECT_DOUBLE_EQ(sent.timeout, 30.0);
    EXPECT_EQ(sent.headers.at("apikey"), "anon");
    EXPECT_EQ(sent.headers.at("Authorization"), "Bearer access-a");
    EXPECT_EQ(sent.headers.at("Content-Type"), "application/json");
    EXPECT_EQ(sent.headers.at("x-region"), "ap-northeast-2");
    EXPECT_EQ(json::parse(*sent.body),
              (Json{{"password", "비밀번호 🔑"}, {"app_version", "0.2.0"}}));
    rig.server->releaseAll();
    EXPECT_EQ(answer, DeleteAnswer::deleted);
    EXPECT_EQ(rig.auth->inFlightOperations(), 0);

    // A password that is not valid text is never sent as an empty request.
    EXPECT_EQ(rig.request(std::string("\xff\xfe")), DeleteAnswer::failed);
    EXPECT_EQ(rig.server->requestCount(), 1u);
    EXPECT_EQ(rig.auth->inFlightOperations(), 0);
}

TEST(AccountDeleteClient, TheGateBlocksAndLearnsFromContractAnswers) {
    LogCapture logs;
    ClientRig rig;
    rig.signIn("u1");
    rig.server->scriptHttp(AccountDeleteClient::path, 503,
                           R"({"code":"feature_disabled",)"
                           R"("feature":"account","retry_after":120})");
    EXPECT_EQ(rig.request("pw"), DeleteAnswer::failed);
    EXPECT_EQ(rig.server->requestCount(), 1u);
    // While the block lasts the request is answered at once, without sending.
    EXPECT_EQ(rig.request("pw"), DeleteAnswer::failed);
    EXPECT_EQ(rig.server->requestCount(), 1u);
    EXPECT_TRUE(logs.has("server_gate", "replay path=account"));
    EXPECT_EQ(rig.auth->inFlightOperations(), 0);
    // Once it has run out the request goes out again.
    rig.clock->advance(121);
    EXPECT_EQ(rig.request("pw"), DeleteAnswer::failed);
    EXPECT_EQ(rig.server->requestCount(), 2u);
}

}  // namespace
}  // namespace parlendo
