#include <gtest/gtest.h>

#include "DeletionRig.h"
#include "LogCapture.h"
#include "account/AccountRoutes.h"
#include "capture/DetectState.h"

namespace parlendo {
namespace {

using namespace parlendo::testing;

struct RoutesRig : DeletionRig {
    std::vector<bool> switches;
    AccountRoutes routes{
        deletion, session,
        DetectControl([] { return DetectState{}; }, [this](bool on) { switches.push_back(on); })};

    BridgeReply call(const std::string& name, Json args = Json::array()) {
        std::optional<BridgeReply> reply;
        routes.routes().at(name).handler()(BridgeArgs::fromJson(args),
                                           [&](BridgeReply r) { reply = std::move(r); });
        settle();
        return reply.value_or(BridgeReply::requestFailed("no_reply"));
    }
};

TEST(AccountRoutes, DeletionCallsAnswerTheResultOrTheCode) {
    LogCapture logs;
    RoutesRig rig;
    EXPECT_EQ(rig.routes.routes().size(), 4u);
    rig.signIn("u1");
    // No password, or a password that is not text: refused before anything is sent.
    EXPECT_EQ(rig.call("delete_account"), BridgeReply::authScreenFailed("ACCOUNT_DELETE_FAILED"));
    EXPECT_EQ(rig.call("delete_account", Json{42}),
              BridgeReply::authScreenFailed("ACCOUNT_DELETE_FAILED"));
    EXPECT_TRUE(rig.requests->passwords.empty());
    EXPECT_EQ(rig.call("forget_deleted_account"),
              BridgeReply::authScreenFailed("ACCOUNT_CLEANUP_NOT_OFFERED"));

    rig.requests->answers = {DeleteAnswer::wrongPassword};
    EXPECT_EQ(rig.call("delete_account", Json{"pw"}),
              BridgeReply::authScreenFailed("ACCOUNT_DELETE_WRONG_PASSWORD"));
    EXPECT_TRUE(rig.switches.empty());
    rig.requests->answers = {DeleteAnswer::deleted};
    auto reply = rig.call("delete_account", Json{"pw"});
    ASSERT_TRUE(reply.is<BridgeReply::Ok>());
    EXPECT_EQ(reply.as<BridgeReply::Ok>()->value["deleted"], true);
    // Detection was switched off before the session went.
    EXPECT_EQ(rig.switches, std::vector<bool>{false});

    // Answered only after another account signed in: the page gets the stale envelope.
    rig.signIn("u1");
    rig.requests->holding = true;
    std::optional<BridgeReply> late;
    rig.routes.routes()
        .at("delete_account")
        .handler()(BridgeArgs::fromJson(Json{"pw"}), [&](BridgeReply r) { late = std::move(r); });
    rig.settle();
    rig.session->signOut(nullptr, [](LogoutOutcome) {});
    rig.settle();
    rig.signIn("u2", "b");
    rig.requests->answerHeld(DeleteAnswer::deleted);
    rig.settle();
    EXPECT_EQ(late, BridgeReply::failed(CallFailure::stale()));
    EXPECT_TRUE(rig.auth->isLoggedIn());
}

TEST(AccountRoutes, ResendAndResetAnswerWithoutTheDeleteEndpoint) {
    LogCapture logs;
    RoutesRig rig;
    EXPECT_EQ(rig.call("resend_confirmation", Json{"  mina@example.com "}),
              BridgeReply::ok(Json{{"sent", true}}));
    EXPECT_EQ(rig.endpoints->resends, std::vector<std::string>{"mina@example.com"});
    EXPECT_EQ(rig.call("resend_confirmation"),
              BridgeReply::authScreenFailed("AUTH_SIGNUP_EMAIL_INVALID"));
    rig.endpoints->resendAnswer = fail(AuthFailure::rateLimited());
    EXPECT_EQ(rig.call("resend_confirmation", Json{"a@b.c"}),
              BridgeReply::authScreenFailed("AUTH_EMAIL_RATE_LIMIT"));

    rig.signIn("u1");
    auto reply = rig.call("reset_local_state");
    ASSERT_TRUE(reply.is<BridgeReply::Ok>());
    EXPECT_EQ(reply.as<BridgeReply::Ok>()->value["reset"], true);
    EXPECT_TRUE(rig.requests->passwords.empty());
    EXPECT_FALSE(rig.auth->isLoggedIn());
    rig.store->setClearWorks(false);
    EXPECT_EQ(rig.call("reset_local_state"),
              BridgeReply::authScreenFailed("AUTH_RESET_CREDENTIALS_UNCONFIRMED"));
}

}  // namespace
}  // namespace parlendo
