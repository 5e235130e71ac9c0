#include "account/SessionRoutes.h"

#include "foundation/Text.h"
#include "manage/ManageContract.h"

namespace parlendo {

SessionRoutes::SessionRoutes(std::shared_ptr<AccountEntry> account,
                             std::shared_ptr<ProfileStore> profiles, DetectControl detect,
                             CleanupOffer cleanup)
    : parts_(std::make_shared<Parts>(
          Parts{std::move(account), std::move(profiles), std::move(detect), std::move(cleanup)})) {}

std::map<std::string, BridgeEntry> SessionRoutes::routes() const {
    auto parts = parts_;
    return {
        {"login", BridgeEntry::implemented(
                      [parts](const BridgeArgs&, auto done) { login(parts, std::move(done)); })},
        {"sign_in", BridgeEntry::implemented([parts](const BridgeArgs& args, auto done) {
             signIn(parts, args, std::move(done));
         })},
        {"sign_up", BridgeEntry::implemented([parts](const BridgeArgs& args, auto done) {
             signUp(parts, args, std::move(done));
         })},
        {"set_username", BridgeEntry::implemented([parts](const BridgeArgs& args, auto done) {
             setUsername(parts, args, std::move(done));
         })},
        {"sign_out", BridgeEntry::implemented([parts](const BridgeArgs&, auto done) {
             signOut(parts, std::move(done));
         })},
    };
}

BridgeReply SessionRoutes::refused(const AccountError& error) {
    return BridgeReply::authScreenFailed(error.code);
}

BridgeReply SessionRoutes::refused(const CallFailure& error) {
    return BridgeReply::requestFailed("account_" + error.logReason());
}

Json SessionRoutes::signedIn(const ProfileState& state, const std::optional<std::string>& email) {
    Json data = state.bridgeData();
    if (state.is<ProfileState::Ready>() && email && !email->empty() &&
        text::codePointCount(*email) < 255) {
        data["email"] = *email;
    }
    return data;
}

void SessionRoutes::settled(const std::shared_ptr<Parts>& parts,
                            Completion<void(BridgeReply)> completion) {
    parts->onboarding().settle([parts, completion = std::move(completion)](
                                   Result<ProfileState, CallFailure> result) mutable {
        if (!result) {
            completion(BridgeReply::failed(result.error()));
            return;
        }
        completion(BridgeReply::ok(signedIn(*result, parts->account->email())));
    });
}

void SessionRoutes::login(const std::shared_ptr<Parts>& parts, Completion<void(BridgeReply)> done) {
    parts->account->restoreState([parts, done = std::move(done)](RestoreOutcome outcome) mutable {
        if (outcome == RestoreOutcome::ready) {
            settled(parts, std::move(done));
            return;
        }
        Json data{{"need_login", true}, {"auth_state", toString(outcome)}};
        if (outcome != RestoreOutcome::offline && parts->cleanup.isOffered &&
            parts->cleanup.isOffered()) {
            data["account_cleanup_offer"] = true;
        }
        done(BridgeReply::ok(std::move(data)));
    });
}

void SessionRoutes::signIn(const std::shared_ptr<Parts>& parts, const BridgeArgs& args,
                           Completion<void(BridgeReply)> done) {
    parts->account->signIn(
        args.string(0), args.string(1),
        [parts, done = std::move(done)](Result<std::string, AccountError> result) mutable {
            if (result) {
                settled(parts, std::move(done));
                return;
            }
            if (parts->cleanup.isOffered && parts->cleanup.isOffered() && parts->cleanup.present) {
                parts->cleanup.present();
            }
            done(refused(result.error()));
        });
}

void SessionRoutes::signUp(const std::shared_ptr<Parts>& parts, const BridgeArgs& args,
                           Completion<void(BridgeReply)> done) {
    const std::string email = args.string(0);
    const std::string username = trimWhitespaceAndNewlines(args.string(2));
    parts->account->signUp(
        email, args.string(1), username,
        [parts, email, username,
         done = std::move(done)](Result<SignUpOutcome, AccountError> result) mutable {
            if (!result) {
                done(refused(result.error()));
                return;
            }
            if (!result->isSignedIn()) {
                done(BridgeReply::ok(Json{{"need_confirm", true}}));
                return;
            }
            std::string name = username.empty() ? ProfileOnboarding::localPart(email) : username;
            parts->onboarding().create(
                name, [parts, done = std::move(done)](ProfileState state) mutable {
                    done(BridgeReply::ok(signedIn(state, parts->account->email())));
                });
        });
}

void SessionRoutes::setUsername(const std::shared_ptr<Parts>& parts, const BridgeArgs& args,
                                Completion<void(BridgeReply)> done) {
    parts->profiles->ensure(
        trimWhitespaceAndNewlines(args.string(0)),
        [parts, done = std::move(done)](Result<void, CallFailure> result) mutable {
            if (!result) {
                done(BridgeReply::failed(result.error()));
                return;
            }
            settled(parts, std::move(done));
        });
}

void SessionRoutes::signOut(const std::shared_ptr<Parts>& parts,
                            Completion<void(BridgeReply)> done) {
    auto setEnabled = parts->detect.setEnabled;
    parts->account->signOut(
        [setEnabled] {
            if (setEnabled) {
                setEnabled(false);
            }
            return true;
        },
        [done = std::move(done)](LogoutOutcome outcome) mutable {
            done(BridgeReply::ok(ManageContract::signOut(outcome)));
        });
}

}  // namespace parlendo
