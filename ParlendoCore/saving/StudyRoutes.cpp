#include "saving/StudyRoutes.h"

#include "manage/ManageContract.h"

namespace parlendo {

namespace {

// Calls `done` on `main` (at once when already there or when there is no main executor).
Completion<void(BridgeReply)> onMain(const ExecutorPtr& main, Completion<void(BridgeReply)> done) {
    if (!main) {
        return done;
    }
    return [main, done = std::move(done)](BridgeReply reply) mutable {
        if (main->isCurrent()) {
            done(std::move(reply));
            return;
        }
        main->post([done = std::move(done), reply = std::move(reply)]() mutable {
            done(std::move(reply));
        });
    };
}

}  // namespace

StudyRoutes::StudyRoutes(std::shared_ptr<StudyRecording> recorder, ExecutorPtr main)
    : recorder_(std::move(recorder)), main_(std::move(main)) {}

std::map<std::string, BridgeEntry> StudyRoutes::routes() const {
    auto recorder = recorder_;
    auto main = main_;
    return {
        {"save_review",
         BridgeEntry::implemented([recorder, main](const BridgeArgs& args, auto done) {
             const std::optional<bool> isKnown = ManageContract::boolean(args.any(0));
             recorder->saveReview(isKnown, args.string(1),
                                  [reply = onMain(main, std::move(done))](StudySave save) mutable {
                                      reply(ManageContract::studySave(save));
                                  });
         })},
        {"save_status",
         BridgeEntry::implemented([recorder, main](const BridgeArgs& args, auto done) {
             recorder->status(args.string(0), [reply = onMain(main, std::move(done))](
                                                  std::optional<StudySave> save) mutable {
                 reply(statusReply(save));
             });
         })},
    };
}

BridgeReply StudyRoutes::statusReply(const std::optional<StudySave>& save) {
    if (!save) {
        return BridgeReply::custom(ManageContract::writeFailure(
            std::string(ManageContract::WriteErrorCode::unknown), Json::object()));
    }
    if (save->stale) {
        return BridgeReply::failed(CallFailure::stale());
    }
    if (save->authRequired) {
        return BridgeReply::failed(CallFailure::authRequired());
    }
    return BridgeReply::ok(save->screen());
}

}  // namespace parlendo
