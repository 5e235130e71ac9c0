#include <gtest/gtest.h>

#include "LogCapture.h"
#include "server/NetFailure.h"
#include "server/NetNotingAuthTransport.h"
#include "server/NetState.h"

namespace parlendo {
namespace {

TEST(NetStateTest, EachTransitionLogsOnce) {
    testing::LogCapture log;
    NetState net;
    net.notePath(false);
    net.notePath(true);
    net.noteAnswered();
    EXPECT_FALSE(net.offline());
    EXPECT_TRUE(log.messages("net").empty());

    net.noteNotConnected();
    net.noteNotConnected();
    net.notePath(false);  // an unusable path never marks the network down, nor up
    EXPECT_TRUE(net.offline());
    net.noteAnswered();
    net.noteAnswered();
    net.noteNotConnected();
    net.notePath(true);
    EXPECT_EQ(log.messages("net"), (std::vector<std::string>{
                                       "인터넷 없음 — 연결되지 않은 것으로 본다",
                                       "다시 연결됨 — 서버가 답했다",
                                       "인터넷 없음 — 연결되지 않은 것으로 본다",
                                       "다시 연결됨 — 네트워크 경로가 돌아왔다",
                                   }));
}

TEST(NetFailureTest, KindsAndNames) {
    using NetFailure::Kind;
    EXPECT_EQ(NetFailure::kind(-1009), Kind::notConnected);
    EXPECT_EQ(NetFailure::kind(-1020), Kind::notConnected);
    EXPECT_EQ(NetFailure::kind(-1018), Kind::notConnected);
    EXPECT_EQ(NetFailure::kind(-1005), Kind::connectionLost);
    EXPECT_EQ(NetFailure::kind(-1001), Kind::other);
    EXPECT_EQ(NetFailure::name(NetFailure::urlErrorDomain, -1202), "tls_certificate");
    EXPECT_EQ(NetFailure::name(NetFailure::urlErrorDomain, -1200), "tls_failed");
    EXPECT_EQ(NetFailure::name(NetFailure::urlErrorDomain, -1000), "url_-1000");
    EXPECT_EQ(NetFailure::name(-1206), "tls_certificate");
    EXPECT_EQ(NetFailure::name(-1207), "url_-1207");
    EXPECT_EQ(NetFailure::name(-999), "cancelled");
    EXPECT_EQ(NetFailure::name("curl", 7), "curl#7");
    EXPECT_EQ(netFailureKindFromString("connection_lost"), Kind::connectionLost);
    EXPECT_EQ(netFailureKindFromString("lost"), std::nullopt);
}

// An auth transport that answers every call with the result it was given.
class CannedAuthTransport final : public AuthTransport {
  public:
    explicit CannedAuthTransport(AuthSessionResult result) : result_(std::move(result)) {}
    void signIn(const std::string&, const std::string&,
                Completion<void(AuthSessionResult)> completion) override {
        completion(result_);
    }
    void signUp(
        const std::string&, const std::string&,
        Completion<void(Result<std::optional<AuthSession>, AuthFailure>)> completion) override {
        if (result_) {
            completion(std::optional<AuthSession>());
        } else {
            completion(fail(result_.error()));
        }
    }
    void refresh(const std::string&, Completion<void(AuthSessionResult)> completion) override {
        completion(result_);
    }
    void signOut(const std::string&, Completion<void(bool)> completion) override {
        completion(true);
    }

  private:
    AuthSessionResult result_;
};

TEST(NetNotingAuthTransportTest, OnlyAnswersOfTheAuthServiceMarkTheNetworkUp) {
    testing::LogCapture log;
    struct Case {
        AuthSessionResult result;
        bool answered;
    };
    std::vector<Case> cases = {
        {AuthSession{}, true},
        {fail(AuthFailure::rejected("invalid_credentials")), true},
        {fail(AuthFailure::server(502)), true},
        {fail(AuthFailure::confirmedInvalid()), true},
        {fail(AuthFailure::rateLimited()), true},
        {fail(AuthFailure::network()), false},
        {fail(AuthFailure::badResponse()), false},
        {fail(AuthFailure::superseded()), false},
    };
    for (auto& c : cases) {
        auto net = std::make_shared<NetState>();
        NetNotingAuthTransport transport(std::make_shared<CannedAuthTransport>(c.result), net);
        int calls = 0;
        for (int op = 0; op < 3; ++op) {
            net->noteNotConnected();
            auto check = [&](bool ok) {
                ++calls;
                EXPECT_EQ(ok, c.result.has_value());
            };
            if (op == 0) {
                transport.signIn("a@b.c", "pw", [&](AuthSessionResult r) { check(r.has_value()); });
            } else if (op == 1) {
                transport.signUp("a@b.c", "pw", [&](auto r) { check(r.has_value()); });
            } else {
                transport.refresh("rt", [&](AuthSessionResult r) { check(r.has_value()); });
            }
            EXPECT_EQ(net->offline(), !c.answered);
        }
        net->noteNotConnected();
        transport.signOut("at", [&](bool revoked) { calls += revoked ? 1 : 0; });
        EXPECT_TRUE(net->offline());
        EXPECT_EQ(calls, 4);
    }
}

}  // namespace
}  // namespace parlendo
