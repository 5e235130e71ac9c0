#include <gtest/gtest.h>

#include "LogCapture.h"
#include "capture/DetectState.h"

#include <set>
#include "account/SessionRoutes.h"

namespace parlendo {
namespace {

struct ScriptedProfiles final : ProfileStore {
    std::optional<std::string> name;
    std::vector<std::string> ensured;
    std::set<std::string> refused;
    void username(
        Completion<void(Result<std::optional<std::string>, CallFailure>)> completion) override {
        completion(name);
    }
    void ensure(const std::string& username,
                Completion<void(Result<void, CallFailure>)> completion) override {
        ensured.push_back(username);
        if (refused.count(username)) {
            completion(fail(CallFailure::rejected(409)));
            return;
        }
        name = username;
        completion({});
    }
};

struct ScriptedAccount final : AccountEntry {
    RestoreOutcome outcome = RestoreOutcome::ready;
    Result<std::string, AccountError> signInAnswer = std::string("u1");
    Result<SignUpOutcome, AccountError> signUpAnswer = SignUpOutcome::signedIn("u1");
    std::optional<std::string> mail = "mina@example.com";
    std::vector<std::string> signUps;
    bool isLoggedIn() const override { return true; }
    std::optional<std::string> email() const override { return mail; }
    std::optional<std::string> userID() const override { return "u1"; }
    void restore(Completion<void(bool)> c) override { c(true); }
    void signIn(const std::string&, const std::string&,
                Completion<void(Result<std::string, AccountError>)> c) override {
        c(signInAnswer);
    }
    void signUp(const std::string& e, const std::string& p,
                Completion<void(Result<SignUpOutcome, AccountError>)> c) override {
        signUp(e, p, "", std::move(c));
    }
    void signOut(std::function<bool()> stopWork, Completion<void(LogoutOutcome)> c) override {
        c(LogoutOutcome{stopWork(), true, true, true, 4});
    }
    void sendPasswordReset(const std::string&, Completion<void(VoidResult)> c) override { c({}); }
    bool adoptRecoverySession(std::string_view) override { return false; }
    void updatePassword(const std::string&, Completion<void(VoidResult)> c) override { c({}); }
    void restoreState(Completion<void(RestoreOutcome)> c) override { c(outcome); }
    void signUp(const std::string& e, const std::string&, const std::string& username,
                Completion<void(Result<SignUpOutcome, AccountError>)> c) override {
        signUps.push_back(e + "|" + username);
        c(signUpAnswer);
    }
    void resendConfirmation(const std::string&, Completion<void(VoidResult)> c) override { c({}); }
    void signupUsername(Completion<void(std::optional<std::string>)> c) override {
        c(std::nullopt);
    }
};

struct Harness {
    std::shared_ptr<ScriptedAccount> account = std::make_shared<ScriptedAccount>();
    std::shared_ptr<ScriptedProfiles> profiles = std::make_shared<ScriptedProfiles>();
    std::vector<bool> detectSwitches;
    bool offered = true;
    int presented = 0;
    SessionRoutes routes{account, profiles,
                         DetectControl([] { return DetectState{}; },
                                       [this](bool on) { detectSwitches.push_back(on); }),
                         SessionRoutes::CleanupOffer{[this] { return offered; },
                                                     [this] {
                                                         ++presented;
                                                     }}};

    BridgeReply call(const std::string& name, Json args = Json::array()) {
        std::optional<BridgeReply> reply;
        routes.routes().at(name).handler()(BridgeArgs::fromJson(args),
                                           [&](BridgeReply r) { reply = r; });
        return *reply;
    }
};

TEST(SessionRoutes, LoginAnswersTheSignedInStateOrWhyNot) {
    testing::LogCapture logs;
    Harness h;
    h.profiles->name = "민지";
    EXPECT_EQ(h.call("login"),
              BridgeReply::ok(Json{{"username", "민지"}, {"email", "mina@example.com"}}));
    h.account->mail = std::string(255, 'a');
    EXPECT_EQ(h.call("login"), BridgeReply::ok(Json{{"username", "민지"}}));

    h.account->outcome = RestoreOutcome::reauthRequired;
    EXPECT_EQ(h.call("login"), BridgeReply::ok(Json{{"need_login", true},
                                                    {"auth_state", "reauth_required"},
                                                    {"account_cleanup_offer", true}}));
    h.account->outcome = RestoreOutcome::offline;
    EXPECT_EQ(h.call("login"), BridgeReply::ok(Json{{"need_login", true},
                                                    {"auth_state", "offline_or_unavailable"}}));
}

TEST(SessionRoutes, SignInAndSignUp) {
    testing::LogCapture logs;
    Harness h;
    h.account->signInAnswer = fail(AccountError(std::nullopt, "AUTH_LOGIN_FAILED"));
    EXPECT_EQ(h.call("sign_in", Json{"a@b.c", 5}),
              BridgeReply::authScreenFailed("AUTH_LOGIN_FAILED"));
    EXPECT_EQ(h.presented, 1);
    EXPECT_EQ(SessionRoutes::refused(CallFailure::timeout()),
              BridgeReply::requestFailed("account_timeout"));

    h.account->signUpAnswer = SignUpOutcome::needsEmailConfirmation();
    EXPECT_EQ(h.call("sign_up", Json{"a@b.c", "pw", "  민지 "}),
              BridgeReply::ok(Json{{"need_confirm", true}}));
    EXPECT_EQ(h.account->signUps.back(), "a@b.c|민지");
    EXPECT_TRUE(h.profiles->ensured.empty());

    // A blank name: the address's local part, refused by the server, comes back to be replaced.
    h.account->signUpAnswer = SignUpOutcome::signedIn("u1");
    h.profiles->refused = {"mina"};
    EXPECT_EQ(h.call("sign_up", Json{"mina@example.com", "pw", " "}),
              BridgeReply::ok(Json::parse(R"({"need_profile":true,
                  "suggested_username":"mina","username_rejected":true})")));
}

TEST(SessionRoutes, SetUsernameAndSignOut) {
    Harness h;
    EXPECT_EQ(h.call("set_username", Json{"  새 이름 "}),
              BridgeReply::ok(Json{{"username", "새 이름"}, {"email", "mina@example.com"}}));
    EXPECT_EQ(h.profiles->ensured.back(), "새 이름");
    h.profiles->refused = {"x"};
    EXPECT_EQ(h.call("set_username", Json{"x"}), BridgeReply::failed(CallFailure::rejected(409)));

    auto reply = h.call("sign_out");
    EXPECT_EQ(h.detectSwitches, std::vector<bool>{false});
    EXPECT_EQ(reply.as<BridgeReply::Ok>()->value["account_generation"], 4);
    EXPECT_EQ(h.routes.logModes().size(), 0u);
}

}  // namespace
}  // namespace parlendo
