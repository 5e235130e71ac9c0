#include "account/AccountRoutes.h"

#include "account/SessionRoutes.h"
#include "auth/AuthCode.h"

namespace parlendo {

namespace {

// An answer made stale by a change of account reaches the page as the stale envelope.
Completion<void(RemovalResult)> replying(Completion<void(BridgeReply)> done) {
    return [done = std::move(done)](RemovalResult result) mutable {
        if (result) {
            done(BridgeReply::ok(std::move(*result)));
        } else if (result.error().code == AuthCode::staleCompletion) {
            done(BridgeReply::failed(CallFailure::stale()));
        } else {
            done(SessionRoutes::refused(result.error()));
        }
    };
}

}  // namespace

AccountRoutes::AccountRoutes(std::shared_ptr<AccountRemoval> removal,
                             std::shared_ptr<AccountEntry> account, DetectControl detect)
    : removal_(std::move(removal)), account_(std::move(account)), detect_(std::move(detect)) {}

std::map<std::string, BridgeEntry> AccountRoutes::routes() const {
    auto removal = removal_;
    auto account = account_;
    // Detection goes off before the session does; the switch does nothing while it cannot act,
    // and the work counts as stopped either way.
    StopWork stopWork = [setEnabled = detect_.setEnabled] {
        if (setEnabled) {
            setEnabled(false);
        }
        return true;
    };
    return {
        {"delete_account",
         BridgeEntry::implemented([removal, stopWork](const BridgeArgs& args, auto done) {
             removal->deleteAccount(args.string(0), stopWork, replying(std::move(done)));
         })},
        {"forget_deleted_account",
         BridgeEntry::implemented([removal, stopWork](const BridgeArgs&, auto done) {
             removal->settle(stopWork, replying(std::move(done)));
         })},
        {"resend_confirmation",
         BridgeEntry::implemented([account](const BridgeArgs& args, auto done) {
             account->resendConfirmation(args.string(0),
                                         [done = std::move(done)](VoidResult result) mutable {
                                             done(result ? BridgeReply::ok(Json{{"sent", true}})
                                                         : SessionRoutes::refused(result.error()));
                                         });
         })},
        {"reset_local_state",
         BridgeEntry::implemented([removal, stopWork](const BridgeArgs&, auto done) {
             removal->resetLocalState(stopWork, replying(std::move(done)));
         })},
    };
}

}  // namespace parlendo
