#include <gtest/gtest.h>

#include "LogCapture.h"
#include "auth/ProfileOnboarding.h"

#include <deque>

namespace parlendo {
namespace {

using NameResult = Result<std::optional<std::string>, CallFailure>;

struct FakeProfiles final : ProfileStore {
    std::deque<NameResult> reads;
    Result<void, CallFailure> ensureAnswer;
    std::vector<std::string> ensured;
    int readCount = 0;
    void username(Completion<void(NameResult)> completion) override {
        ++readCount;
        NameResult next = reads.empty() ? NameResult(std::nullopt) : reads.front();
        if (!reads.empty()) {
            reads.pop_front();
        }
        completion(next);
    }
    void ensure(const std::string& username,
                Completion<void(Result<void, CallFailure>)> completion) override {
        ensured.push_back(username);
        completion(ensureAnswer);
    }
};

// Only the sign-up name matters to onboarding.
struct NamedAccount final : AccountEntry {
    std::optional<std::string> name;
    void signupUsername(Completion<void(std::optional<std::string>)> c) override { c(name); }
    bool isLoggedIn() const override { return true; }
    std::optional<std::string> email() const override { return std::nullopt; }
    std::optional<std::string> userID() const override { return "u"; }
    void restore(Completion<void(bool)> c) override { c(true); }
    void signIn(const std::string&, const std::string&,
                Completion<void(Result<std::string, AccountError>)> c) override {
        c(std::string("u"));
    }
    void signUp(const std::string&, const std::string&,
                Completion<void(Result<SignUpOutcome, AccountError>)> c) override {
        c(SignUpOutcome::needsEmailConfirmation());
    }
    void signOut(std::function<bool()>, Completion<void(LogoutOutcome)> c) override { c({}); }
    void sendPasswordReset(const std::string&, Completion<void(VoidResult)> c) override { c({}); }
    bool adoptRecoverySession(std::string_view) override { return false; }
    void updatePassword(const std::string&, Completion<void(VoidResult)> c) override { c({}); }
    void restoreState(Completion<void(RestoreOutcome)> c) override { c(RestoreOutcome::ready); }
    void signUp(const std::string&, const std::string&, const std::string&,
                Completion<void(Result<SignUpOutcome, AccountError>)> c) override {
        c(SignUpOutcome::needsEmailConfirmation());
    }
    void resendConfirmation(const std::string&, Completion<void(VoidResult)> c) override { c({}); }
};

struct Harness {
    std::shared_ptr<FakeProfiles> profiles = std::make_shared<FakeProfiles>();
    std::shared_ptr<NamedAccount> account = std::make_shared<NamedAccount>();
    ProfileOnboarding onboarding{account, profiles};

    Result<ProfileState, CallFailure> settle() {
        std::optional<Result<ProfileState, CallFailure>> out;
        onboarding.settle([&](auto r) { out = r; });
        return *out;
    }
};

TEST(ProfileOnboarding, SettlesExistingMissingAndRefusedProfiles) {
    testing::LogCapture logs;
    Harness h;
    h.profiles->reads = {std::optional<std::string>("민지")};
    EXPECT_EQ(*h.settle(), ProfileState(ProfileState::Ready{"민지"}));
    EXPECT_TRUE(h.profiles->ensured.empty());

    // No profile and no sign-up name: ask, with null as suggestion in the page's data.
    auto missing = *h.settle();
    EXPECT_EQ(missing.bridgeData(), Json::parse(R"({"need_profile":true,
        "suggested_username":null,"username_rejected":false})"));

    // A refused sign-up name comes back as a rejected suggestion; fillIn then uses the e-mail.
    h.account->name = "taken";
    h.profiles->ensureAnswer = fail(CallFailure::rejected(409));
    auto refused = *h.settle();
    EXPECT_EQ(refused, ProfileState(ProfileState::NeedProfile{"taken", true}));
    h.profiles->ensureAnswer = {};
    std::optional<ProfileState> filled;
    h.onboarding.fillIn(refused, "@mina@example.com", [&](ProfileState s) { filled = s; });
    EXPECT_EQ(*filled, ProfileState(ProfileState::Ready{"mina"}));
    EXPECT_EQ(h.profiles->ensured, (std::vector<std::string>{"taken", "mina"}));
    EXPECT_EQ(ProfileOnboarding::localPart(std::nullopt), "user");
    EXPECT_EQ(ProfileOnboarding::localPart("@@"), "user");
}

TEST(ProfileOnboarding, RetriesAFailedReadOnceExceptStaleOrSignedOut) {
    testing::LogCapture logs;
    Harness h;
    h.profiles->reads = {fail(CallFailure::timeout()), std::optional<std::string>("a")};
    EXPECT_TRUE(h.settle());
    EXPECT_EQ(h.profiles->readCount, 2);
    EXPECT_TRUE(logs.contains("account", "profile read failed reason=timeout — 한 번 더"));

    h.profiles->readCount = 0;
    h.profiles->reads = {fail(CallFailure::stale())};
    EXPECT_EQ(h.settle().error(), CallFailure::stale());
    EXPECT_EQ(h.profiles->readCount, 1);

    h.profiles->reads = {fail(CallFailure::timeout()), fail(CallFailure::unavailable())};
    std::optional<bool> ready;
    h.onboarding.ensureReady("a@b.c", [&](bool ok) { ready = ok; });
    EXPECT_EQ(ready, false);
}

TEST(AccountMessages, Texts) {
    EXPECT_EQ(AccountMessages::authEndpoint("INVALID login Credentials", 400),
              "이메일 또는 비밀번호가 맞지 않아요.");
    EXPECT_EQ(AccountMessages::authEndpoint("Password should be at least 6 characters", 422),
              "비밀번호는 6자 이상이어야 해요.");
    EXPECT_EQ(AccountMessages::authEndpoint("Password too weak", 429),
              "요청이 너무 잦아요. 잠시 뒤 다시 해주세요.");
    EXPECT_EQ(AccountMessages::authEndpoint("Odd Thing", 400), "Odd Thing");
    EXPECT_EQ(AccountMessages::profileFailure(CallFailure::rejected(500)), "서버 오류 (500)");
    EXPECT_EQ(AccountMessages::profileFailure(
                  CallFailure::rejectedDetail(ServerRejection{409, "23505", ""})),
              "서버 오류 (409)");
    EXPECT_EQ(AccountMessages::profileFailure(CallFailure::timeout()),
              "서버에 연결하지 못했어요. 인터넷 연결을 확인해 주세요.");
}

}  // namespace
}  // namespace parlendo
