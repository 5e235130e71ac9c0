#pragma once

#include "AccountRig.h"
#include "FakeSecretStore.h"
#include "TempDir.h"
#include "account/AccountDeletion.h"

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace parlendo::testing {

// Delete requests answered from a queue, or held until the test answers them.
struct ScriptedDeleteRequests final : AccountDeleteRequesting {
    std::deque<DeleteAnswer> answers;
    bool holding = false;
    std::vector<std::string> passwords;
    std::deque<Completion<void(DeleteAnswer)>> held;

    void request(const std::string& password, Completion<void(DeleteAnswer)> completion) override {
        passwords.push_back(password);
        if (holding || answers.empty()) {
            held.push_back(std::move(completion));
            return;
        }
        auto answer = answers.front();
        if (answers.size() > 1) {
            answers.pop_front();
        }
        completion(answer);
    }
    void answerHeld(DeleteAnswer answer) {
        auto completion = std::move(held.front());
        held.pop_front();
        completion(answer);
    }
};

// An account deletion over the real session, with its record in a temporary state folder, its
// own forgetter registry (run on the background executor) and an optional key in memory.
struct DeletionRig : AccountRig {
    std::shared_ptr<TempDir> state = std::make_shared<TempDir>();
    std::shared_ptr<ScriptedDeleteRequests> requests = std::make_shared<ScriptedDeleteRequests>();
    std::shared_ptr<FileDeletePendingStore> pending =
        std::make_shared<FileDeletePendingStore>(state->path());
    AccountLocalData localData;
    std::shared_ptr<FakeSecretStore> secrets = std::make_shared<FakeSecretStore>();
    int keyDrops = 0;
    int stops = 0;
    std::shared_ptr<AccountDeletion> deletion;

    explicit DeletionRig(std::shared_ptr<TempDir> stateFolder = nullptr) {
        if (stateFolder) {
            state = std::move(stateFolder);
            pending = std::make_shared<FileDeletePendingStore>(state->path());
        }
        deletion = AccountDeletion::make({session, auth, requests, pending, &localData,
                                          [this](Completion<void(bool)> done) {
                                              ++keyDrops;
                                              secrets->items.clear();
                                              done(true);
                                          },
                                          main, clock, background});
    }

    StopWork stopWork() {
        return [this] {
            ++stops;
            return true;
        };
    }

    // Runs a flow to its end.
    template <class Start>
    std::optional<RemovalResult> run(Start start) {
        std::optional<RemovalResult> result;
        start([&](RemovalResult r) { result = std::move(r); });
        settle();
        return result;
    }
    std::optional<RemovalResult> remove(const std::string& password) {
        return run([&](auto done) { deletion->deleteAccount(password, stopWork(), done); });
    }
};

}  // namespace parlendo::testing
