#include <gtest/gtest.h>

#include "FakeAuthAccess.h"
#include "LogCapture.h"
#include "StubBackend.h"
#include "foundation/WorkerQueue.h"
#include "server/CurlServerTransport.h"
#include "server/NetPathWatch.h"
#include "server/PostgRESTFilter.h"
#include "server/ServerClient.h"

#include <gio/gio.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <thread>

// GIO's base network monitor, which every monitor kind derives from; exported for GIO's modules
// but without an installed header.
extern "C" {
GType g_network_monitor_base_get_type(void);
void g_network_monitor_base_add_network(GNetworkMonitor* monitor, GInetAddressMask* network);
void g_network_monitor_base_remove_network(GNetworkMonitor* monitor, GInetAddressMask* network);
}

namespace parlendo {
namespace {

using testing::StubAnswer;
using testing::StubBackend;

// The whole road: client, curl transport and the stub, delivering on a "main" queue.
class ServerClientOverCurlTest : public ::testing::Test {
  protected:
    ServerClientOverCurlTest()
        : main_(std::make_shared<SerialQueue>("test.main")),
          auth_(std::make_shared<testing::FakeAuthAccess>()),
          gate_(std::make_shared<ServerGate>()),
          net_(std::make_shared<NetState>()) {
        auto session = std::make_shared<CurlSession>(ServerSessions::data(), StubBackend::caFile());
        auto transport = std::make_shared<CurlServerTransport>(stub_.baseURL(), session,
                                                               std::nullopt, "parlendo-mac/0.2.0");
        client_ = std::make_shared<ServerClient>(transport, auth_, "anon-key",
                                                 ServerClient::deliverOn(main_), true, gate_, net_);
    }

    DetailedCallResult call(const std::string& path, std::string method = "GET",
                            std::optional<Json> json = std::nullopt, double timeout = 5,
                            HttpHeaders headers = {}) {
        std::promise<DetailedCallResult> promise;
        client_->callDetailed(path, std::move(method), std::move(json), std::move(headers), timeout,
                              [&](DetailedCallResult result) {
                                  EXPECT_TRUE(main_->isCurrent());
                                  promise.set_value(std::move(result));
                              });
        auto future = promise.get_future();
        if (future.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
            ADD_FAILURE() << "no answer";
            std::abort();
        }
        return future.get();
    }

    testing::LogCapture log_;
    StubBackend stub_;
    std::shared_ptr<SerialQueue> main_;
    std::shared_ptr<testing::FakeAuthAccess> auth_;
    std::shared_ptr<ServerGate> gate_;
    std::shared_ptr<NetState> net_;
    std::shared_ptr<ServerClient> client_;
};

TEST_F(ServerClientOverCurlTest, RefreshesAfter401AndFindsKoreanTitles) {
    stub_.on("/rest/v1/sources", StubAnswer::json(401, R"({"code":"PGRST301"})"));
    stub_.on("/rest/v1/sources", StubAnswer::json(200, R"([{"id":"s1"}])"));
    std::string path =
        "/rest/v1/sources?select=id&title=eq." + PostgRESTFilter::value("논문 (초안)");
    EXPECT_EQ(call(path), DetailedCallResult(std::string(R"([{"id":"s1"}])")));

    auto requests = stub_.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].header("Authorization"), "Bearer token-1");
    EXPECT_EQ(requests[1].header("Authorization"), "Bearer token-2");
    EXPECT_EQ(requests[1].header("apikey"), "anon-key");
    EXPECT_EQ(requests[1].header("Content-Type"), "application/json");
    EXPECT_EQ(requests[1].query,
              "select=id&title=eq.%EB%85%BC%EB%AC%B8%20%28%EC%B4%88%EC%95%88%29");
    EXPECT_EQ(log_.messages("net").size(), 2u);
}

TEST_F(ServerClientOverCurlTest, BusyEdgeFunctionsAreBlockedAndTimeoutsReported) {
    stub_.on(
        "/functions/v1/translate-sentence",
        StubAnswer::json(503, R"({"code":"global_budget_exceeded"})", {{"Retry-After", "90"}}));
    auto first = call("/functions/v1/translate-sentence", "POST", Json{{"text", "hi"}});
    ASSERT_FALSE(first);
    EXPECT_EQ(first.error().contractCode(), "global_budget_exceeded");
    EXPECT_EQ(first.error().retryAfter, 90.0);
    EXPECT_EQ(stub_.lastRequest().header("x-region"), "ap-northeast-2");
    auto second = call("/functions/v1/translate-sentence", "POST", Json{{"text", "hi"}});
    ASSERT_FALSE(second);
    EXPECT_EQ(second.error().failure, CallFailure::unavailable());
    EXPECT_EQ(stub_.requestCount(), 1u);

    stub_.on("/rest/v1/slow", StubAnswer::hanging());
    auto slow = call("/rest/v1/slow", "GET", std::nullopt, 0.25);
    EXPECT_EQ(slow, DetailedCallResult(fail(CallFailureDetail(CallFailure::timeout()))));
    EXPECT_EQ(auth_->awaitedInFlight(), 0);
}

TEST_F(ServerClientOverCurlTest, OneFieldPerNameAndTheClientsOwnValue) {
    stub_.on("/functions/v1/translate-sentence", StubAnswer::json(200, "{}"));
    EXPECT_TRUE(call("/functions/v1/translate-sentence", "POST", Json{{"text", "hi"}}, 5,
                     {{"APIKEY", "page-key"},
                      {"authorization", "Bearer page-token"},
                      {"content-type", "text/plain"},
                      {"X-REGION", "us-east-1"}}));
    auto seen = stub_.lastRequest();
    for (const auto& [name, value] :
         std::vector<std::pair<std::string, std::string>>{{"apikey", "anon-key"},
                                                          {"Authorization", "Bearer token-1"},
                                                          {"Content-Type", "application/json"},
                                                          {"x-region", "ap-northeast-2"}}) {
        EXPECT_EQ(seen.headerCount(name), 1u) << name;
        EXPECT_EQ(seen.header(name), value) << name;
    }
}

TEST_F(ServerClientOverCurlTest, ABodyThatCannotBeWrittenIsNeverSent) {
    stub_.on("/rest/v1/words", StubAnswer::json(201, "[]"));
    auto result = call("/rest/v1/words", "POST", Json{{"word", "caf\xe9"}});
    EXPECT_EQ(result, DetailedCallResult(fail(CallFailureDetail(CallFailure::badShape()))));
    EXPECT_EQ(stub_.requestCount(), 0u);
    EXPECT_EQ(auth_->awaitedInFlight(), 0);
}

TEST(NetPathWatchTest, TheDefaultMonitorSignalsOnTheMainContext) {
    ::setenv("GIO_USE_NETWORK_MONITOR", "base", 1);
    auto net = std::make_shared<NetState>();
    { NetPathWatch watch(net); }
    // GTK and WebKit listen to the default monitor from the main context; its signals must
    // arrive there, also once the watch is gone.
    GNetworkMonitor* shared = g_network_monitor_get_default();
    ASSERT_TRUE(G_TYPE_CHECK_INSTANCE_TYPE(shared, g_network_monitor_base_get_type()));
    int changes = 0;
    gulong handler = g_signal_connect(
        shared, "network-changed",
        G_CALLBACK(+[](GNetworkMonitor*, gboolean, gpointer user) { ++*static_cast<int*>(user); }),
        &changes);
    GInetAddressMask* mask = g_inet_address_mask_new_from_string("192.0.2.0/24", nullptr);
    g_network_monitor_base_add_network(shared, mask);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (changes == 0 && std::chrono::steady_clock::now() < deadline) {
        g_main_context_iteration(nullptr, FALSE);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_GT(changes, 0);
    g_network_monitor_base_remove_network(shared, mask);
    g_signal_handler_disconnect(shared, handler);
    g_object_unref(mask);
}

TEST(NetPathWatchTest, AUsablePathBringsTheNetworkBack) {
    // GIO's base monitor always reports a usable network.
    ::setenv("GIO_USE_NETWORK_MONITOR", "base", 1);
    testing::LogCapture log;
    auto net = std::make_shared<NetState>();
    net->noteNotConnected();
    {
        NetPathWatch watch(net);
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (net->offline() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    EXPECT_FALSE(net->offline());
    EXPECT_EQ(log.count("net", "다시 연결됨 — 네트워크 경로가 돌아왔다"), 1u);
}

}  // namespace
}  // namespace parlendo
