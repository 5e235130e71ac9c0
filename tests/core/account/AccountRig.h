#pragma once

#include "FakeAccountEndpoints.h"
#include "FakeAuthTransport.h"
#include "FakeClock.h"
#include "FakeSessionStore.h"
#include "ManualExecutor.h"
#include "auth/AccountSession.h"
#include "auth/AuthRuntime.h"
#include "auth/ProfileStore.h"

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace parlendo::testing {

// A profile row in memory: the username, names the server refuses, and a read that fails.
struct MemoryProfiles final : ProfileStore {
    std::optional<std::string> name;
    std::set<std::string> refused;
    std::optional<CallFailure> readFailure;
    std::vector<std::string> ensured;

    void username(
        Completion<void(Result<std::optional<std::string>, CallFailure>)> completion) override {
        if (readFailure) {
            completion(fail(*readFailure));
            return;
        }
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

// The real auth runtime and account session over fake transports, a fake store and a fake clock:
// every wait is a timer the test fires with `clock->advance`, every hop a task it runs with
// `settle`.
struct AccountRig {
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    std::shared_ptr<ManualExecutor> main = std::make_shared<ManualExecutor>(clock);
    std::shared_ptr<ManualExecutor> background = std::make_shared<ManualExecutor>(clock);
    std::shared_ptr<FakeAuthTransport> transport = std::make_shared<FakeAuthTransport>();
    std::shared_ptr<FakeSessionStore> store = std::make_shared<FakeSessionStore>();
    std::shared_ptr<FakeAccountEndpoints> endpoints = std::make_shared<FakeAccountEndpoints>();
    std::shared_ptr<MemoryProfiles> profiles = std::make_shared<MemoryProfiles>();
    std::shared_ptr<AuthRuntime> auth =
        AuthRuntime::make({transport, store, clock, clock, main, background});
    std::shared_ptr<AccountSession> session =
        AccountSession::make({auth, endpoints, store, main, background, clock});

    // Runs every queued task of both executors until none is left.
    void settle() {
        while (main->runAll() + background->runAll() > 0) {
        }
    }

    // Signs `userID` in through the session.
    void signIn(const std::string& userID, const std::string& name = "a") {
        transport->answerSignIn(testSession(userID, name));
        session->signIn(userID + "@example.com", "pw", [](Result<std::string, AccountError>) {});
        settle();
        transport->answerSignIn(std::nullopt);
    }
};

}  // namespace parlendo::testing
