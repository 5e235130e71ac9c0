#pragma once

#include "../../../core/manage/RouteFixtures.h"
#include "FakeSession.h"
#include "auth/AccountTypes.h"
#include "auth/ProfileStore.h"
#include "manage/BridgeRoutes.h"
#include "manage/ThemeMode.h"
#include "manage/UIFonts.h"
#include "popups/PopupDraftService.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace parlendo::testing {

// The account as the session calls see it: signing in takes the password "right", an address
// that begins with "confirm" waits for its mail link, and signing out empties the session.
class FakeAccount final : public AccountEntry {
  public:
    explicit FakeAccount(std::shared_ptr<FakeSession> session) : session_(std::move(session)) {}

    RestoreOutcome restoreAs = RestoreOutcome::needLogin;  // when nobody is signed in
    std::vector<std::string> signIns;
    int signOuts = 0;

    bool isLoggedIn() const override { return session_->isLoggedIn(); }
    std::optional<std::string> email() const override {
        return isLoggedIn() ? std::optional<std::string>("minji@example.com") : std::nullopt;
    }
    std::optional<std::string> userID() const override { return session_->userID(); }

    void restore(Completion<void(bool)> completion) override { completion(isLoggedIn()); }
    void restoreState(Completion<void(RestoreOutcome)> completion) override {
        completion(isLoggedIn() ? RestoreOutcome::ready : restoreAs);
    }
    void signIn(const std::string& email, const std::string& password,
                Completion<void(Result<std::string, AccountError>)> completion) override {
        signIns.push_back(email);
        if (password != "right") {
            completion(fail(AccountError(std::nullopt, "AUTH_LOGIN_FAILED")));
            return;
        }
        session_->setUser("user-1");
        completion(std::string("user-1"));
    }
    void signUp(const std::string& email, const std::string& password,
                Completion<void(Result<SignUpOutcome, AccountError>)> completion) override {
        signUp(email, password, "", std::move(completion));
    }
    void signUp(const std::string& email, const std::string&, const std::string&,
                Completion<void(Result<SignUpOutcome, AccountError>)> completion) override {
        if (email.rfind("confirm", 0) == 0) {
            completion(SignUpOutcome::needsEmailConfirmation());
            return;
        }
        session_->setUser("user-1");
        completion(SignUpOutcome::signedIn("user-1"));
    }
    void signOut(std::function<bool()> stopWork, Completion<void(LogoutOutcome)> done) override {
        ++signOuts;
        const bool stopped = stopWork ? stopWork() : true;
        session_->setUser(std::nullopt);
        done(LogoutOutcome{stopped, true, true, true, ++generation_});
    }
    void sendPasswordReset(const std::string&, Completion<void(VoidResult)> done) override {
        done(VoidResult());
    }
    bool adoptRecoverySession(std::string_view) override { return false; }
    void updatePassword(const std::string&, Completion<void(VoidResult)> done) override {
        done(VoidResult());
    }
    void resendConfirmation(const std::string&, Completion<void(VoidResult)> done) override {
        done(VoidResult());
    }
    void signupUsername(Completion<void(std::optional<std::string>)> done) override {
        done(std::nullopt);
    }

  private:
    std::shared_ptr<FakeSession> session_;
    std::int64_t generation_ = 0;
};

// Every signed-in account has the profile "민지".
class FakeProfiles final : public ProfileStore {
  public:
    void username(Completion<void(Result<std::optional<std::string>, CallFailure>)> done) override {
        done(std::optional<std::string>("민지"));
    }
    void ensure(const std::string&, Completion<void(Result<void, CallFailure>)> done) override {
        done(Result<void, CallFailure>());
    }
};

// The draft service's outside API: answers each request with the next scripted response.
class ScriptedDraft final : public DraftTransport {
  public:
    std::vector<DraftResponse> answers;
    int requests = 0;
    void post(std::string, HttpHeaders, std::string, double,
              Completion<void(DraftResponse)> completion) override {
        ++requests;
        if (answers.empty()) {
            completion(DraftResponse::unreachable());
            return;
        }
        DraftResponse answer = answers.front();
        if (answers.size() > 1) {
            answers.erase(answers.begin());
        }
        completion(std::move(answer));
    }
};

// A route group that records each call's name and arguments and hands it to the real group.
class RecordingRoutes final : public BridgeRoutes {
  public:
    RecordingRoutes(std::shared_ptr<const BridgeRoutes> inner,
                    std::shared_ptr<std::vector<std::pair<std::string, Json>>> calls)
        : inner_(std::move(inner)), calls_(std::move(calls)) {}

    std::map<std::string, BridgeEntry> routes() const override {
        auto table = inner_->routes();
        for (auto& [name, entry] : table) {
            if (!entry.isImplemented()) {
                continue;
            }
            BridgeHandler handler = entry.handler();
            entry = BridgeEntry::implemented(
                [calls = calls_, name = name, handler](const BridgeArgs& args,
                                                       Completion<void(BridgeReply)> done) {
                    calls->emplace_back(name, Json(args.raw));
                    handler(args, std::move(done));
                });
        }
        return table;
    }
    std::map<std::string, BridgeLogMode> logModes() const override { return inner_->logModes(); }

  private:
    std::shared_ptr<const BridgeRoutes> inner_;
    std::shared_ptr<std::vector<std::pair<std::string, Json>>> calls_;
};

}  // namespace parlendo::testing
