#include <gtest/gtest.h>

#include "DeletionRig.h"
#include "LogCapture.h"
#include "auth/AuthCode.h"

namespace parlendo {
namespace {

using namespace parlendo::testing;

std::string codeOf(const std::optional<RemovalResult>& result) {
    if (!result) {
        return "no answer";
    }
    return *result ? "ok" : result->error().code;
}

TEST(AccountDeletion, NothingIsSentWithoutALoginOrAPassword) {
    DeletionRig rig;
    rig.pending->mark("u1");
    EXPECT_EQ(codeOf(rig.remove("pw")), "AUTH_REAUTH_REQUIRED");
    rig.signIn("u2");
    EXPECT_EQ(codeOf(rig.remove("")), "ACCOUNT_DELETE_FAILED");
    EXPECT_TRUE(rig.requests->passwords.empty());
    EXPECT_EQ(rig.stops, 0);
    EXPECT_EQ(AccountDeletion::error(AuthCode::deleteFailed).message,
              "계정을 삭제하지 못했어요. 잠시 후 다시 시도해 주세요.");
    EXPECT_EQ(AccountDeletion::error(AuthCode::cleanupNotOffered).message,
              "요청을 처리하지 못했어요.");
}

TEST(AccountDeletion, AConfirmedDeletionWipesWhatThisComputerKeepsForTheUser) {
    LogCapture logs;
    DeletionRig rig;
    std::vector<std::string> forgotten;
    rig.localData.registerForgetter("projects", [&](const std::string& user) {
        // Files are removed and rewritten off the main loop, which a busy disk would hold.
        EXPECT_TRUE(rig.background->runningTask()) << "forgotten on the main loop";
        forgotten.push_back("projects:" + user);
        return true;
    });
    rig.localData.registerForgetter("pages", [&](const std::string& user) {
        forgotten.push_back("pages:" + user);
        return false;
    });
    rig.signIn("u1");
    rig.pending->mark("u1");
    rig.secrets->items["optional_custom_ai_key"] = "k";
    rig.requests->answers = {DeleteAnswer::deleted};
    auto result = rig.remove("비밀번호");
    ASSERT_EQ(codeOf(result), "ok");
    EXPECT_EQ(**result, (Json{{"deleted", true},
                              {"inferred", false},
                              {"local_files_removed", false},
                              {"credentials_absent_verified", true},
                              {"markers_removed", true},
                              {"optional_key_removed", true},
                              {"runtime_files_removed", 0},
                              {"work_stopped", true},
                              {"operations_drained", true}}));
    EXPECT_EQ(rig.requests->passwords, std::vector<std::string>{"비밀번호"});
    EXPECT_EQ(forgotten, (std::vector<std::string>{"projects:u1", "pages:u1"}));
    EXPECT_EQ(rig.stops, 1);
    EXPECT_FALSE(rig.auth->isLoggedIn());
    EXPECT_EQ(rig.store->token(), std::nullopt);
    EXPECT_TRUE(rig.secrets->items.empty());
    EXPECT_TRUE(rig.pending->users().empty());
    EXPECT_EQ(logs.messages("account").back(),
              "wipe done inferred=false users=1 local=false store_cleared=true "
              "optional_key_removed=true work_stopped=true drained=true");
    EXPECT_TRUE(logs.has("account", "delete ok ms=0 — 이 기기를 정리한다"));
}

TEST(AccountDeletion, AnAnswerOtherThanDeletedChangesNothingButTheRecord) {
    LogCapture logs;
    DeletionRig rig;
    rig.signIn("u1");
    const std::vector<std::pair<DeleteAnswer, std::string>> cases = {
        {DeleteAnswer::wrongPassword, "ACCOUNT_DELETE_WRONG_PASSWORD"},
        {DeleteAnswer::rateLimited, "ACCOUNT_DELETE_RATE_LIMITED"},
        {DeleteAnswer::network, "ACCOUNT_DELETE_NO_RESPONSE"},
        {DeleteAnswer::failed, "ACCOUNT_DELETE_FAILED"},
    };
    for (const auto& [answer, code] : cases) {
        rig.requests->answers = {answer};
        EXPECT_EQ(codeOf(rig.remove("pw")), code);
        // Sent but unanswered: remembered; any other answer: forgotten again.
        EXPECT_EQ(rig.pending->users().count("u1"), answer == DeleteAnswer::network ? 1u : 0u);
        EXPECT_TRUE(rig.auth->isLoggedIn());
    }
    EXPECT_EQ(rig.stops, 0);
    EXPECT_EQ(rig.keyDrops, 0);
    EXPECT_TRUE(logs.has("account", "delete failed answer=network ms=0 — 아무것도 바꾸지 않음"));
}

TEST(AccountDeletion, AnUnauthorizedAnswerGetsOneRefreshAndOneRetry) {
    LogCapture logs;
    // Refreshed, then refused again: a plain failure, the record untouched.
    {
        DeletionRig rig;
        rig.signIn("u1");
        rig.pending->mark("u1");
        rig.transport->answerRefresh(testSession("u1", "b"));
        rig.requests->answers = {DeleteAnswer::unauthorized};
        EXPECT_EQ(codeOf(rig.remove("pw")), "ACCOUNT_DELETE_FAILED");
        EXPECT_EQ(rig.requests->passwords.size(), 2u);
        EXPECT_EQ(rig.transport->refreshTokens(), std::vector<std::string>{"refresh-a"});
        EXPECT_EQ(rig.pending->users(), std::set<std::string>{"u1"});
    }
    // Refreshed, then deleted.
    {
        DeletionRig rig;
        rig.signIn("u1");
        rig.transport->answerRefresh(testSession("u1", "b"));
        rig.requests->answers = {DeleteAnswer::unauthorized, DeleteAnswer::deleted};
        EXPECT_EQ(codeOf(rig.remove("pw")), "ok");
    }
    // The refresh fails while the session stays: a pending deletion suggests the account is gone.
    {
        DeletionRig rig;
        rig.signIn("u1");
        rig.pending->mark("u1");
        rig.transport->answerRefresh(fail(AuthFailure::network()));
        rig.requests->answers = {DeleteAnswer::unauthorized};
        EXPECT_EQ(codeOf(rig.remove("pw")), "ACCOUNT_DELETE_NO_RESPONSE");
        EXPECT_EQ(rig.requests->passwords.size(), 1u);
        EXPECT_TRUE(logs.has(
            "account", "delete unauthorized · 세션을 되살리지 못함 hinted=true logged_in=true"));
    }
    // Without that hint, or with the session gone, the user must sign in again.
    {
        DeletionRig rig;
        rig.signIn("u1");
        rig.transport->answerRefresh(fail(AuthFailure::network()));
        rig.requests->answers = {DeleteAnswer::unauthorized};
        EXPECT_EQ(codeOf(rig.remove("pw")), "AUTH_REAUTH_REQUIRED");
        rig.pending->mark("u1");
        rig.transport->answerRefresh(fail(AuthFailure::confirmedInvalid()));
        rig.clock->advance(600);
        EXPECT_EQ(codeOf(rig.remove("pw")), "AUTH_REAUTH_REQUIRED");
        EXPECT_FALSE(rig.auth->isLoggedIn());
        EXPECT_EQ(rig.pending->users(), std::set<std::string>{"u1"});
    }
}

// Within the request's time-out the user may sign out and sign in as someone else. The late
// answer settles the deletion for the account it was asked for and leaves the new login alone.
TEST(AccountDeletion, ALateAnswerActsOnlyOnTheAccountItWasAskedFor) {
    LogCapture logs;
    struct Switched : DeletionRig {
        std::vector<std::string> forgotten;
        std::optional<RemovalResult> result;

        // Sends the request as u1, then signs out and in as u2 before it is answered.
        Switched() {
            localData.registerForgetter("pages", [this](const std::string& user) {
                forgotten.push_back(user);
                return true;
            });
            signIn("u1");
            requests->holding = true;
            deletion->deleteAccount("pw", stopWork(),
                                    [this](RemovalResult r) { result = std::move(r); });
            settle();
            session->signOut(nullptr, [](LogoutOutcome) {});
            settle();
            signIn("u2", "b");
            secrets->items["optional_custom_ai_key"] = "key of u2";
            requests->holding = false;
        }
        void answer(DeleteAnswer late) {
            requests->answerHeld(late);
            settle();
        }
        void expectU2Untouched() {
            EXPECT_EQ(auth->userID(), std::optional<std::string>("u2"));
            EXPECT_EQ(store->token(), std::optional<std::string>("refresh-b"));
            EXPECT_EQ(secrets->items.size(), 1u);
            EXPECT_EQ(keyDrops, 0);
            EXPECT_EQ(stops, 0);
        }
    };
    // Deleted: u1's files go and its record is settled; u2 stays signed in with its key, and
    // another user's record stays.
    {
        Switched rig;
        rig.pending->mark("u9");
        rig.answer(DeleteAnswer::deleted);
        EXPECT_EQ(codeOf(rig.result), "AUTH_STALE_COMPLETION");
        rig.expectU2Untouched();
        EXPECT_EQ(rig.forgotten, std::vector<std::string>{"u1"});
        EXPECT_EQ(rig.pending->users(), std::set<std::string>{"u9"});
        EXPECT_TRUE(logs.has("account",
                             "delete ok ms=0 local=true — 그사이 로그인한 계정이 바뀌어 지금의 "
                             "로그인은 그대로 둔다"));
    }
    // No answer: u1 is remembered so that its deletion can still be settled.
    {
        Switched rig;
        rig.answer(DeleteAnswer::network);
        EXPECT_EQ(codeOf(rig.result), "ACCOUNT_DELETE_NO_RESPONSE");
        rig.expectU2Untouched();
        EXPECT_EQ(rig.pending->users(), std::set<std::string>{"u1"});
    }
    // Unauthorized: u2's login is not refreshed and u1's password never goes out with it.
    {
        Switched rig;
        rig.transport->answerRefresh(testSession("u2", "c"));
        rig.answer(DeleteAnswer::unauthorized);
        EXPECT_EQ(codeOf(rig.result), "AUTH_STALE_COMPLETION");
        EXPECT_EQ(rig.requests->passwords.size(), 1u);
        EXPECT_TRUE(rig.transport->refreshTokens().empty());
        rig.expectU2Untouched();
        EXPECT_TRUE(rig.forgotten.empty());
        EXPECT_TRUE(logs.has(
            "account", "delete unauthorized · 그사이 로그인한 계정이 바뀌어 다시 보내지 않음"));
    }
}

// The server deletes the account and ends its session while the request is out: a refresh
// meanwhile finds the login refused, or the user signs out (and perhaps in again as the same
// account). The confirmed deletion still cleans this computer up for that account.
TEST(AccountDeletion, ADeletionWhoseSessionWasLostMeanwhileIsSettledInFull) {
    LogCapture logs;
    enum class Lost { refused, signedOut, signedInAgain };
    for (const Lost lost : {Lost::refused, Lost::signedOut, Lost::signedInAgain}) {
        SCOPED_TRACE(static_cast<int>(lost));
        DeletionRig rig;
        std::vector<std::string> forgotten;
        rig.localData.registerForgetter("pages", [&](const std::string& user) {
            forgotten.push_back(user);
            return true;
        });
        rig.signIn("u1");
        rig.secrets->items["optional_custom_ai_key"] = "k";
        rig.requests->holding = true;
        std::optional<RemovalResult> result;
        rig.deletion->deleteAccount("pw", rig.stopWork(),
                                    [&](RemovalResult r) { result = std::move(r); });
        rig.settle();
        if (lost == Lost::refused) {
            rig.transport->answerRefresh(fail(AuthFailure::confirmedInvalid()));
            rig.auth->recover([](AuthSessionResult) {});
        } else {
            rig.session->signOut(nullptr, [](LogoutOutcome) {});
        }
        rig.settle();
        if (lost == Lost::signedInAgain) {
            rig.signIn("u1", "b");
        }
        rig.requests->answerHeld(DeleteAnswer::deleted);
        rig.settle();
        ASSERT_EQ(codeOf(result), "ok");
        EXPECT_EQ((**result)["deleted"], true);
        EXPECT_EQ((**result)["optional_key_removed"], true);
        EXPECT_EQ(forgotten, std::vector<std::string>{"u1"});
        EXPECT_TRUE(rig.secrets->items.empty());
        EXPECT_FALSE(rig.auth->isLoggedIn());
        EXPECT_EQ(rig.store->token(), std::nullopt);
        EXPECT_TRUE(rig.pending->users().empty());
        EXPECT_EQ(rig.stops, 1);
    }
    EXPECT_FALSE(logs.contains("account", "그사이 로그인한 계정이 바뀌어"));
}

// The request is sent and its answer does not come: a sign-out waits its drain and goes on; the
// late "no answer" is remembered, and at the next start a login the server refuses makes the
// clean-up offerable, which wipes what was kept for that user.
TEST(AccountDeletion, ADeletionWithoutAnswerIsSettledAtTheNextStart) {
    LogCapture logs;
    auto folder = std::make_shared<TempDir>();
    {
        DeletionRig rig(folder);
        rig.signIn("u1");
        rig.requests->holding = true;
        std::optional<RemovalResult> result;
        rig.deletion->deleteAccount("pw", rig.stopWork(),
                                    [&](RemovalResult r) { result = std::move(r); });
        rig.settle();
        ASSERT_EQ(rig.requests->held.size(), 1u);
        EXPECT_FALSE(result);
        EXPECT_TRUE(rig.auth->isLoggedIn());
        EXPECT_TRUE(rig.pending->users().empty());
        EXPECT_FALSE(rig.deletion->cleanupOffered());
        // The answer comes at last as "no answer": the user is remembered.
        rig.requests->answerHeld(DeleteAnswer::network);
        rig.settle();
        EXPECT_EQ(codeOf(result), "ACCOUNT_DELETE_NO_RESPONSE");
        EXPECT_EQ(TempDir::read(rig.pending->file()), R"({"users":["u1"]})");
    }
    DeletionRig next(folder);
    int forgets = 0;
    next.localData.registerForgetter("pages", [&](const std::string& user) {
        forgets += user == "u1";
        return true;
    });
    next.store->setToken("refresh-a");
    EXPECT_EQ(codeOf(next.run([&](auto done) { next.deletion->settle(nullptr, done); })),
              "ACCOUNT_CLEANUP_NOT_OFFERED");
    next.transport->answerRefresh(fail(AuthFailure::confirmedInvalid()));
    next.session->restoreState([](RestoreOutcome) {});
    next.settle();
    EXPECT_TRUE(next.deletion->cleanupOffered());
    EXPECT_TRUE(logs.has("account",
                         "delete_pending 뒤 서버가 로그인을 받지 않음 — 화면이 정리할지 묻는다"));
    auto settled = next.run([&](auto done) { next.deletion->settle(next.stopWork(), done); });
    ASSERT_EQ(codeOf(settled), "ok");
    EXPECT_EQ((**settled)["inferred"], true);
    EXPECT_EQ((**settled)["local_files_removed"], true);
    EXPECT_EQ(forgets, 1);
    EXPECT_FALSE(std::filesystem::exists(next.pending->file()));
    EXPECT_FALSE(next.deletion->cleanupOffered());
    EXPECT_TRUE(next.requests->passwords.empty());
}

TEST(AccountDeletion, AnAcceptedLoginClearsTheRecordAndSettleNeedsAnOffer) {
    LogCapture logs;
    DeletionRig rig;
    rig.pending->mark("u1");
    rig.pending->mark("u2");
    rig.store->setToken("refresh-a");
    rig.transport->answerRefresh(fail(AuthFailure::confirmedInvalid()));
    rig.session->restoreState([](RestoreOutcome) {});
    rig.settle();
    ASSERT_TRUE(rig.deletion->cleanupOffered());
    // Signed in again: no offer while logged in, and the accepted login clears the record.
    rig.signIn("u3");
    EXPECT_FALSE(rig.deletion->cleanupOffered());
    EXPECT_TRUE(rig.pending->users().empty());
    EXPECT_EQ(codeOf(rig.run([&](auto done) { rig.deletion->settle(nullptr, done); })),
              "ACCOUNT_CLEANUP_NOT_OFFERED");
    EXPECT_TRUE(logs.has("account", "settle refused — 물을 일이 없었다"));
    EXPECT_TRUE(rig.auth->isLoggedIn());
}

TEST(AccountDeletion, AWipeWithoutForgettersSaysNone) {
    LogCapture logs;
    DeletionRig rig;
    rig.signIn("u1");
    rig.requests->answers = {DeleteAnswer::deleted};
    auto result = rig.remove("pw");
    ASSERT_EQ(codeOf(result), "ok");
    EXPECT_TRUE((**result)["local_files_removed"].is_null());
    EXPECT_NE(logs.messages("account").back().find(" local=none "), std::string::npos);
}

TEST(AccountDeletion, ResetSignsOutWithoutTheServerAndNeedsTheLoginGone) {
    LogCapture logs;
    DeletionRig rig;
    rig.signIn("u1");
    rig.pending->mark("u9");
    auto result = rig.run([&](auto done) { rig.deletion->resetLocalState(rig.stopWork(), done); });
    ASSERT_EQ(codeOf(result), "ok");
    EXPECT_EQ(**result, (Json{{"reset", true},
                              {"credentials_absent_verified", true},
                              {"markers_removed", true},
                              {"optional_key_removed", true},
                              {"runtime_files_removed", 0},
                              {"work_stopped", true},
                              {"operations_drained", true}}));
    EXPECT_TRUE(rig.requests->passwords.empty());
    EXPECT_TRUE(rig.pending->users().empty());
    EXPECT_FALSE(rig.auth->isLoggedIn());
    EXPECT_TRUE(logs.has("account", "reset_local ok optional_key_removed=true"));

    // The stored login could not be removed: refused, the record kept, the key dropped anyway.
    rig.signIn("u1");
    rig.pending->mark("u9");
    rig.store->setClearWorks(false);
    const int drops = rig.keyDrops;
    result = rig.run([&](auto done) { rig.deletion->resetLocalState(nullptr, done); });
    EXPECT_EQ(codeOf(result), "AUTH_RESET_CREDENTIALS_UNCONFIRMED");
    EXPECT_EQ(rig.keyDrops, drops + 1);
    EXPECT_EQ(rig.pending->users(), std::set<std::string>{"u9"});
    EXPECT_TRUE(logs.has("account", "reset_local failed — 저장된 로그인을 지웠는지 확인하지 못함"));
}

}  // namespace
}  // namespace parlendo
