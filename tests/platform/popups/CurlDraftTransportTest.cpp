#include <gtest/gtest.h>

#include "FakeSecretStore.h"
#include "FakeSession.h"
#include "LogCapture.h"
#include "StubBackend.h"
#include "popups/CurlDraftTransport.h"
#include "popups/PopupDraftRules.h"
#include "server/CurlServerTransport.h"

#include <chrono>
#include <future>

namespace parlendo {
namespace {

using testing::FakeSecretStore;
using testing::FakeSession;
using testing::StubAnswer;
using testing::StubBackend;

const std::string path = "/v1beta/models/gemini-3.1-flash-lite:generateContent";

template <class T, class Start>
T await(Start start) {
    std::promise<T> promise;
    auto future = promise.get_future();
    start([&](T value) { promise.set_value(std::move(value)); });
    if (future.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        ADD_FAILURE() << "no answer within 20 s";
        std::abort();  // the completion still refers to this frame
    }
    return future.get();
}

std::shared_ptr<CurlSession> trustingSession() {
    return std::make_shared<CurlSession>(ServerSessions::data(), StubBackend::caFile());
}

DraftResponse post(CurlDraftTransport& transport, const std::string& url, double timeout = 5,
                   HttpHeaders headers = {}) {
    return await<DraftResponse>([&](auto done) {
        transport.post(url, std::move(headers), R"({"a":1})", timeout, std::move(done));
    });
}

TEST(CurlDraftTransportTest, PostsTheBodyWithEveryHeader) {
    StubBackend stub;
    stub.on("POST", path, StubAnswer::json(200, R"({"candidates":[]})"));
    CurlDraftTransport transport(trustingSession());

    auto response = post(transport, PopupDraftRules::endpoint(stub.baseURL()), 30,
                         {{"x-goog-api-key", "KEY"}, {"Content-Type", "application/json"}});
    EXPECT_EQ(response, DraftResponse::http(200, R"({"candidates":[]})"));
    auto request = stub.lastRequest();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.path, path);
    EXPECT_EQ(request.header("x-goog-api-key"), "KEY");
    EXPECT_EQ(request.header("content-type"), "application/json");
    EXPECT_EQ(request.body, R"({"a":1})");
}

TEST(CurlDraftTransportTest, FailedAnswersKeepTheirStatus) {
    StubBackend stub;
    stub.on("POST", path, StubAnswer::json(403, R"({"error":"denied"})"));
    CurlDraftTransport transport(trustingSession());
    EXPECT_EQ(post(transport, stub.baseURL() + path),
              DraftResponse::http(403, R"({"error":"denied"})"));
}

TEST(CurlDraftTransportTest, TimeOutsAndUnreachableServers) {
    StubBackend stub;
    stub.on("POST", "/hang", StubAnswer::hanging());
    stub.on("POST", "/drop", StubAnswer::dropped());
    CurlDraftTransport transport(trustingSession());

    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(post(transport, stub.baseURL() + "/hang", 0.5), DraftResponse::timedOut());
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));

    EXPECT_EQ(post(transport, stub.baseURL() + "/drop"), DraftResponse::unreachable());
    EXPECT_EQ(post(transport, "not a url"), DraftResponse::unreachable());
    EXPECT_EQ(post(transport, "file:///etc/passwd"), DraftResponse::unreachable());
    // Nothing listens there.
    EXPECT_EQ(post(transport, "http://127.0.0.1:1/x"), DraftResponse::unreachable());
    // The test certificate is not trusted without the test's trust store.
    CurlDraftTransport untrusting(std::make_shared<CurlSession>(ServerSessions::data()));
    EXPECT_EQ(post(transport, stub.baseURL() + "/other").as<DraftResponse::Http>()->status, 404);
    EXPECT_EQ(post(untrusting, stub.baseURL() + "/other"), DraftResponse::unreachable());
}

TEST(CurlDraftTransportTest, HeadersThatWouldAddLinesAreNeverSent) {
    StubBackend stub;
    stub.on("POST", path, StubAnswer::json(200, "{}"));
    CurlDraftTransport transport(trustingSession());
    for (auto headers : std::vector<HttpHeaders>{{{"x-goog-api-key", "KEY\r\nX-Injected: 1"}},
                                                 {{"x-goog-api-key", "KEY\nX-Injected: 1"}},
                                                 {{"x-goog-api-key", std::string("KEY\0X", 5)}},
                                                 {{"X-Injected: 1\r\nx-goog-api-key", "KEY"}}}) {
        EXPECT_EQ(post(transport, stub.baseURL() + path, 5, headers), DraftResponse::unreachable());
    }
    EXPECT_EQ(stub.requestCount(), 0u);
}

TEST(CurlDraftTransportTest, AnswersPastTheLimitAreCutOff) {
    StubBackend stub;
    // Far more than the limit, with and without an announced length: the transfer stops early.
    stub.on("POST", "/long", StubAnswer::generated(size_t{1} << 30, true));
    stub.on("POST", "/chunked", StubAnswer::generated(size_t{1} << 30, false));
    stub.on("POST", "/limit", StubAnswer::generated(CurlSession::apiAnswerLimit, false));
    CurlDraftTransport transport(trustingSession());
    testing::LogCapture log;
    EXPECT_EQ(post(transport, stub.baseURL() + "/long"), DraftResponse::unreachable());
    EXPECT_EQ(post(transport, stub.baseURL() + "/chunked"), DraftResponse::unreachable());
    EXPECT_LT(stub.generatedBytesSent(), size_t{256} << 20);
    EXPECT_EQ(log.count("draft", "answer too large"), 1u);
    auto atLimit = post(transport, stub.baseURL() + "/limit");
    ASSERT_TRUE(atLimit.as<DraftResponse::Http>());
    EXPECT_EQ(atLimit.as<DraftResponse::Http>()->body.size(), CurlSession::apiAnswerLimit);
}

TEST(CurlDraftTransportTest, SharesTheSessionsConnectionsWithTheServerTransport) {
    StubBackend stub;
    stub.on("POST", path, StubAnswer::json(200, "{}"));
    stub.on("GET", "/rest/v1/words", StubAnswer::json(200, "[]"));
    auto session = trustingSession();
    CurlDraftTransport drafts(session);
    CurlServerTransport server(stub.baseURL(), session, std::nullopt, "parlendo-mac/0.2.0");
    testing::LogCapture log;
    EXPECT_EQ(post(drafts, stub.baseURL() + path), DraftResponse::http(200, "{}"));
    auto answer = await<ServerResponse>([&](auto done) {
        server.send(ServerRequest{"/rest/v1/words", "GET", std::nullopt, {}, 5}, std::move(done));
    });
    EXPECT_EQ(answer, ServerResponse::http(200, "[]"));
    auto lines = log.messages("net");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(" reused=true "), std::string::npos) << lines[0];
}

TEST(CurlDraftTransportTest, DraftServiceEndToEnd) {
    StubBackend stub;
    Json call = {{"functionCall",
                  {{"name", "create_custom_popup"},
                   {"args", {{"contents", {"korean"}}, {"name", "뜻만"}, {"opacity", 20}}}}}};
    Json answer = {{"candidates", Json::array({{{"content", {{"parts", Json::array({call})}}}}})}};
    stub.on("POST", path, StubAnswer::json(200, answer.dump()));

    auto store = std::make_shared<FakeSecretStore>();
    store->items = {{"optional_custom_ai_key", "KEY"}, {"optional_custom_ai_key_owner", "u"}};
    auto session = std::make_shared<FakeSession>("u");
    PopupDraftService service(std::make_shared<ConnectionSettings>(store, session), session,
                              std::make_shared<CurlDraftTransport>(trustingSession()), nullptr,
                              PopupDraftRules::endpoint(stub.baseURL()));
    Json reply =
        await<Json>([&](auto done) { service.propose("한글 뜻만, 연하게", std::move(done)); });
    EXPECT_EQ(reply["status"], "ok");
    EXPECT_EQ(reply["options"], (Json{{"opacity", 40}}));
    EXPECT_EQ(reply["warnings"], Json::array({"'팝업 불투명도(%)' 20.0 → 40(으)로 범위 조정"}));
    EXPECT_EQ(stub.lastRequest().header("x-goog-api-key"), "KEY");
    auto sent = json::parse(stub.lastRequest().body);
    ASSERT_TRUE(sent);
    EXPECT_EQ((*sent)["generationConfig"]["temperature"], 0);
}

}  // namespace
}  // namespace parlendo
