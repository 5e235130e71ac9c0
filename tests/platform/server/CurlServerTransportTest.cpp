#include <gtest/gtest.h>

#include "LogCapture.h"
#include "StubBackend.h"
#include "foundation/Overloaded.h"
#include "server/CurlServerTransport.h"
#include "server/NetFailure.h"
#include "server/PostgRESTFilter.h"

#include <atomic>
#include <chrono>
#include <future>

namespace parlendo {

void PrintTo(const ServerResponse& response, std::ostream* out) {
    std::visit(overloaded{
                   [&](const ServerResponse::Http& h) {
                       *out << "http(" << h.status << ", " << h.body.size() << " bytes, "
                            << h.headers.size() << " headers)";
                   },
                   [&](const ServerResponse::Failed& f) { *out << "failed(" << f.code << ")"; },
                   [&](const ServerResponse::TimedOut&) { *out << "timedOut"; },
                   [&](const ServerResponse::Unreachable&) { *out << "unreachable"; },
               },
               response.value());
}

namespace {

using testing::StubAnswer;
using testing::StubBackend;

constexpr const char* kClientInfo = "parlendo-mac/0.2.0";

ServerRequest request(std::string path, std::string method = "GET",
                      std::optional<std::string> body = std::nullopt, double timeout = 5) {
    return ServerRequest{std::move(path),
                         std::move(method),
                         std::move(body),
                         {{"apikey", "k"}, {"Content-Type", "application/json"}},
                         timeout};
}

class CurlServerTransportTest : public ::testing::Test {
  protected:
    std::shared_ptr<CurlServerTransport> transport(
        const StubBackend& stub, SessionConfiguration configuration = ServerSessions::data(),
        std::optional<std::string> conn = std::nullopt) {
        auto session = std::make_shared<CurlSession>(configuration, StubBackend::caFile());
        return std::make_shared<CurlServerTransport>(stub.baseURL(), session, conn, kClientInfo);
    }

    static ServerResponse send(ServerTransport& transport, ServerRequest r) {
        std::promise<ServerResponse> promise;
        auto answer = promise.get_future();
        transport.send(std::move(r), [&](ServerResponse response) { promise.set_value(response); });
        if (answer.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
            ADD_FAILURE() << "no answer within 20 s";
            std::abort();  // the completion still refers to this frame
        }
        return answer.get();
    }

    std::vector<std::string> netLines() { return log_.messages("net"); }

    testing::LogCapture log_;
    StubBackend stub_;
};

TEST_F(CurlServerTransportTest, SendsTheRequestAndLogsItsTiming) {
    stub_.on("GET", "/rest/v1/words", StubAnswer::json(200, R"([{"id":1}])"));
    auto t = transport(stub_);
    auto response = send(*t, request("/rest/v1/words?select=id&limit=1"));
    EXPECT_EQ(response, ServerResponse::http(200, R"([{"id":1}])"));

    auto seen = stub_.lastRequest();
    EXPECT_EQ(seen.method, "GET");
    EXPECT_EQ(seen.target, "/rest/v1/words?select=id&limit=1");
    EXPECT_EQ(seen.header("apikey"), "k");
    EXPECT_EQ(seen.header("X-Client-Info"), kClientInfo);
    EXPECT_EQ(seen.header("Expect"), std::nullopt);

    ASSERT_EQ(netLines().size(), 1u);
    std::string line = netLines()[0];
    EXPECT_EQ(line.rfind("path=/rest/v1/words status=200 total_ms=", 0), 0u) << line;
    EXPECT_NE(line.find(" reused=false dns="), std::string::npos) << line;
    EXPECT_NE(line.find(" proto=http/1.1 sent=0 body=0"), std::string::npos) << line;
    EXPECT_EQ(line.find("select"), std::string::npos);
    EXPECT_EQ(line.find("conn="), std::string::npos);

    // The next request reuses the connection: no lookup, connect or handshake of its own.
    send(*t, request("/rest/v1/words"));
    line = netLines().back();
    EXPECT_NE(line.find(" reused=true dns=- connect=- tls=- ttfb="), std::string::npos) << line;
}

TEST_F(CurlServerTransportTest, MethodsAndBodies) {
    stub_.on("/rest/v1/words", StubAnswer::json(201, "[]"));
    auto t = transport(stub_);
    std::string body = R"({"w":"단어"})";
    EXPECT_EQ(send(*t, request("/rest/v1/words", "PATCH", body)), ServerResponse::http(201, "[]"));
    auto seen = stub_.lastRequest();
    EXPECT_EQ(seen.method, "PATCH");
    EXPECT_EQ(seen.body, body);
    EXPECT_EQ(seen.header("Content-Type"), "application/json");
    auto line = netLines().back();
    auto size = std::to_string(body.size());
    EXPECT_NE(line.find(" sent=" + size + " body=" + size), std::string::npos) << line;

    send(*t, request("/rest/v1/words", "POST"));
    EXPECT_EQ(stub_.lastRequest().method, "POST");
    EXPECT_EQ(stub_.lastRequest().body, "");
    send(*t, request("/rest/v1/words?id=eq.1", "DELETE"));
    EXPECT_EQ(stub_.lastRequest().method, "DELETE");

    // Without a Content-Type of the caller's, none of curl's own is added either.
    ServerRequest bare{"/rest/v1/words", "POST", std::string("x=1"), {}, 5};
    send(*t, bare);
    EXPECT_EQ(stub_.lastRequest().header("Content-Type"), std::nullopt);
}

TEST_F(CurlServerTransportTest, OnlyRetryAfterIsPassedOn) {
    stub_.on("/functions/v1/ask-document",
             StubAnswer::json(503, R"({"code":"service_paused"})",
                              {{"Retry-After", "30"}, {"Content-Type", "application/json"}}));
    stub_.on("/rest/v1/ok", StubAnswer::json(200, "{}", {{"X-Other", "1"}}));
    auto t = transport(stub_);
    EXPECT_EQ(send(*t, request("/functions/v1/ask-document", "POST", "{}")),
              ServerResponse::http(503, R"({"code":"service_paused"})", {{"Retry-After", "30"}}));
    EXPECT_EQ(send(*t, request("/rest/v1/ok")), ServerResponse::http(200, "{}"));
}

TEST_F(CurlServerTransportTest, AnswerBodiesArriveUntouched) {
    std::string binary("\xff\xfe\x00{\"not\":json", 15);
    std::string huge(6 * 1024 * 1024, 'z');
    stub_.on("/rest/v1/binary", StubAnswer::json(200, binary));
    stub_.on("/rest/v1/huge", StubAnswer::json(400, huge));
    stub_.on("/rest/v1/empty", StubAnswer::json(204, ""));
    auto t = transport(stub_);
    EXPECT_EQ(send(*t, request("/rest/v1/binary")), ServerResponse::http(200, binary));
    EXPECT_EQ(send(*t, request("/rest/v1/huge")), ServerResponse::http(400, huge));
    EXPECT_EQ(send(*t, request("/rest/v1/empty")), ServerResponse::http(204, ""));
}

TEST_F(CurlServerTransportTest, HeadersThatWouldAddLinesAreNeverSent) {
    stub_.on("/rest/v1/words", StubAnswer::json(200, "[]"));
    auto t = transport(stub_);
    for (auto headers : std::vector<HttpHeaders>{{{"apikey", "k\r\nX-Injected: 1"}},
                                                 {{"apikey", "k\nX-Injected: 1"}},
                                                 {{"apikey", "k\rX-Injected: 1"}},
                                                 {{"apikey", std::string("k\0X-Injected: 1", 16)}},
                                                 {{"X-Injected: 1\r\napikey", "k"}},
                                                 {{"X-Injected: 1", "k"}},
                                                 {{"", "k"}}}) {
        ServerRequest r = request("/rest/v1/words?select=id");
        r.headers = headers;
        EXPECT_EQ(send(*t, r), ServerResponse::unreachable());
    }
    EXPECT_EQ(stub_.requestCount(), 0u);
    EXPECT_EQ(log_.count("net", "path=/rest/v1/words 헤더에 줄바꿈이나 NUL이 있어 보내지 않음"),
              7u);

    // Any other text, blanks and non-ASCII included, goes as it is.
    ServerRequest fine = request("/rest/v1/words");
    fine.headers["Prefer"] = "return=minimal, count=exact";
    fine.headers["X-Note"] = "한글 \t값";
    EXPECT_EQ(send(*t, fine), ServerResponse::http(200, "[]"));
    EXPECT_EQ(stub_.lastRequest().header("X-Note"), "한글 \t값");
}

TEST_F(CurlServerTransportTest, CaseVariantsOfANameGoOutAsOneField) {
    stub_.on("/rest/v1/words", StubAnswer::json(200, "[]"));
    auto t = transport(stub_);
    ServerRequest r = request("/rest/v1/words");
    r.headers = {{"apikey", "k"}, {"APIKEY", "other"}, {"x-client-info", "caller"}};
    EXPECT_EQ(send(*t, r), ServerResponse::http(200, "[]"));
    auto seen = stub_.lastRequest();
    EXPECT_EQ(seen.headerCount("apikey"), 1u);
    EXPECT_EQ(seen.header("apikey"), "k");
    EXPECT_EQ(seen.headerCount("X-Client-Info"), 1u);
    EXPECT_EQ(seen.header("X-Client-Info"), kClientInfo);
}

TEST_F(CurlServerTransportTest, AnswersPastTheLimitFail) {
    // Far past the limit, announced or not: the transfer stops early and nothing is kept.
    stub_.on("/rest/v1/long", StubAnswer::generated(size_t{10} << 30, true));
    stub_.on("/rest/v1/chunked", StubAnswer::generated(size_t{10} << 30, false));
    stub_.on("/rest/v1/pages", StubAnswer::generated(CurlSession::apiAnswerLimit + 1, false));
    auto api = transport(stub_);
    auto started = std::chrono::steady_clock::now();
    const auto tooLong = ServerResponse::failed(NetFailure::code::dataLengthExceedsMaximum);
    EXPECT_EQ(send(*api, request("/rest/v1/long")), tooLong);
    EXPECT_EQ(send(*api, request("/rest/v1/chunked")), tooLong);
    EXPECT_EQ(send(*api, request("/rest/v1/pages")), tooLong);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    EXPECT_LT(stub_.generatedBytesSent(), size_t{512} << 20);
    auto lines = netLines();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_NE(lines[2].find(" error=url_-1103"), std::string::npos) << lines[2];
    EXPECT_EQ(lines[3], "path=/rest/v1/chunked 답이 8388608바이트를 넘어 끊음");

    // A transport that carries documents takes in more.
    auto documents = std::make_shared<CurlServerTransport>(
        stub_.baseURL(),
        std::make_shared<CurlSession>(ServerSessions::data(), StubBackend::caFile()), std::nullopt,
        kClientInfo, CurlSession::documentAnswerLimit);
    auto pages = send(*documents, request("/rest/v1/pages"));
    ASSERT_TRUE(pages.is<ServerResponse::Http>());
    EXPECT_EQ(pages.as<ServerResponse::Http>()->body.size(), CurlSession::apiAnswerLimit + 1);
}

TEST_F(CurlServerTransportTest, BurstsKeepTheirConnectionsForTheNextBurst) {
    stub_.on("/rest/v1/slow", [] {
        auto answer = StubAnswer::json(200, "ok");
        answer.delay = 0.1;
        return answer;
    }());
    auto t = transport(stub_);
    auto burst = [&] {
        constexpr int count = 6;
        std::atomic<int> completions{0};
        std::promise<void> all;
        for (int i = 0; i < count; ++i) {
            t->send(request("/rest/v1/slow"), [&](ServerResponse) {
                if (++completions == count) {
                    all.set_value();
                }
            });
        }
        ASSERT_EQ(all.get_future().wait_for(std::chrono::seconds(20)), std::future_status::ready);
    };
    burst();
    EXPECT_EQ(log_.count("net", " reused=false "), 6u);
    // Every connection of the first burst is still there for the second.
    burst();
    EXPECT_EQ(log_.count("net", " reused=false "), 6u);
    EXPECT_EQ(log_.count("net", " reused=true "), 6u);
}

TEST_F(CurlServerTransportTest, FailuresBecomeResponses) {
    stub_.on("/rest/v1/hang", StubAnswer::hanging());
    stub_.on("/rest/v1/drop", StubAnswer::dropped());
    auto t = transport(stub_);

    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(send(*t, request("/rest/v1/hang", "GET", std::nullopt, 0.3)),
              ServerResponse::timedOut());
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    EXPECT_NE(netLines().back().find(" error=timed_out"), std::string::npos) << netLines().back();

    EXPECT_EQ(send(*t, request("/rest/v1/drop")), ServerResponse::failed(-1005));
    EXPECT_NE(netLines().back().find(" error=connection_lost"), std::string::npos);

    // A path that makes no URL is never sent and never logged.
    size_t lines = netLines().size();
    size_t requests = stub_.requestCount();
    EXPECT_EQ(send(*t, request("/rest/v1/a\nb")), ServerResponse::unreachable());
    EXPECT_EQ(netLines().size(), lines);
    EXPECT_EQ(stub_.requestCount(), requests);
}

TEST_F(CurlServerTransportTest, ConnectionAndTrustFailures) {
    int closedPort = 0;
    {
        StubBackend gone;
        closedPort = gone.port();
    }
    auto session = std::make_shared<CurlSession>(ServerSessions::data(), StubBackend::caFile());
    CurlServerTransport refused("https://127.0.0.1:" + std::to_string(closedPort), session,
                                std::nullopt, kClientInfo);
    EXPECT_EQ(send(refused, request("/rest/v1/x")), ServerResponse::failed(-1004));
    EXPECT_NE(netLines().back().find("status=- "), std::string::npos);
    EXPECT_NE(netLines().back().find(" error=cannot_connect"), std::string::npos);

    // Without the test certificate the stub is not trusted.
    CurlServerTransport untrusted(stub_.baseURL(),
                                  std::make_shared<CurlSession>(ServerSessions::data()),
                                  std::nullopt, kClientInfo);
    EXPECT_EQ(send(untrusted, request("/rest/v1/x")), ServerResponse::failed(-1202));
    EXPECT_NE(netLines().back().find(" error=tls_certificate"), std::string::npos);
}

TEST_F(CurlServerTransportTest, TheUploadRouteIsCappedAtTls12) {
    StubBackend modern(StubBackend::Options{true, true, 4});
    modern.on("/functions/v1/upload", StubAnswer::json(200, "{}"));
    auto upload = transport(modern, ServerSessions::upload(), "upload");
    auto fallback = transport(modern, ServerSessions::data(), "fallback");

    EXPECT_EQ(send(*upload, request("/functions/v1/upload", "POST", "{}")),
              ServerResponse::failed(-1200));
    auto line = netLines().back();
    EXPECT_NE(line.find(" error=tls_failed conn=upload"), std::string::npos) << line;
    EXPECT_EQ(modern.requestCount(), 0u);

    EXPECT_EQ(send(*fallback, request("/functions/v1/upload", "POST", "{}")),
              ServerResponse::http(200, "{}"));
    line = netLines().back();
    EXPECT_EQ(line.substr(line.size() - 14), " conn=fallback") << line;

    // Against a TLS 1.2 server the upload route works.
    stub_.on("/functions/v1/upload", StubAnswer::json(200, "{}"));
    auto ordinary = transport(stub_, ServerSessions::upload(), "upload");
    EXPECT_EQ(send(*ordinary, request("/functions/v1/upload", "POST", "{}")),
              ServerResponse::http(200, "{}"));
}

TEST_F(CurlServerTransportTest, ClientInfoGoesOnlyToTheProjectHost) {
    stub_.on("/other", StubAnswer::json(200, "{}"));
    auto t = transport(stub_);
    std::string elsewhere = "https://localhost:" + std::to_string(stub_.port()) + "/other";
    ServerRequest r = request(elsewhere);
    r.headers["X-Client-Info"] = "caller";
    EXPECT_EQ(send(*t, r), ServerResponse::http(200, "{}"));
    EXPECT_EQ(stub_.lastRequest().header("X-Client-Info"), std::nullopt);
    EXPECT_EQ(stub_.lastRequest().header("apikey"), "k");
    EXPECT_NE(netLines().back().find("path=https://localhost:"), std::string::npos);
}

TEST_F(CurlServerTransportTest, KoreanFilterValuesTravelPercentEncoded) {
    stub_.on("/rest/v1/sources", StubAnswer::json(200, "[]"));
    auto t = transport(stub_);
    std::string path = "/rest/v1/sources?title=eq." + PostgRESTFilter::value("한국 어.txt");
    EXPECT_EQ(path, "/rest/v1/sources?title=eq.한국%20어%2Etxt");
    EXPECT_EQ(send(*t, request(path)), ServerResponse::http(200, "[]"));
    EXPECT_EQ(stub_.lastRequest().query, "title=eq.%ED%95%9C%EA%B5%AD%20%EC%96%B4%2Etxt");
    EXPECT_EQ(CurlServerTransport::percentEncodeNonAscii("a/é?x=1"), "a/%C3%A9?x=1");
}

TEST_F(CurlServerTransportTest, ManyRequestsInFlightEachCompleteOnce) {
    stub_.on("/rest/v1/slow", [] {
        auto answer = StubAnswer::json(200, "ok");
        answer.delay = 0.05;
        return answer;
    }());
    auto t = transport(stub_);
    constexpr int count = 48;
    std::atomic<int> completions{0};
    std::promise<void> all;
    for (int i = 0; i < count; ++i) {
        t->send(request("/rest/v1/slow?i=" + std::to_string(i)), [&](ServerResponse response) {
            EXPECT_EQ(response, ServerResponse::http(200, "ok"));
            if (++completions == count) {
                all.set_value();
            }
        });
    }
    EXPECT_EQ(all.get_future().wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_EQ(completions, count);
    EXPECT_EQ(stub_.requestCount(), static_cast<size_t>(count));
}

TEST_F(CurlServerTransportTest, ReleasingTheSessionAbortsWhatIsInFlight) {
    stub_.on("/rest/v1/hang", StubAnswer::hanging());
    std::promise<ServerResponse> promise;
    {
        auto session = std::make_shared<CurlSession>(ServerSessions::data(), StubBackend::caFile());
        CurlServerTransport t(stub_.baseURL(), session, std::nullopt, kClientInfo);
        t.send(request("/rest/v1/hang"), [&](ServerResponse r) { promise.set_value(r); });
        ASSERT_TRUE(stub_.waitForRequests(1, 10));
    }
    auto answer = promise.get_future();
    ASSERT_EQ(answer.wait_for(std::chrono::seconds(0)), std::future_status::ready);
    EXPECT_EQ(answer.get(), ServerResponse::failed(-999));
}

}  // namespace
}  // namespace parlendo
