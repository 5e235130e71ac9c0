#include "manage/FeedbackRoutes.h"

namespace parlendo {

FeedbackRoutes::FeedbackRoutes(std::shared_ptr<FeedbackSender> sender)
    : sender_(std::move(sender)) {}

std::map<std::string, BridgeEntry> FeedbackRoutes::routes() const {
    if (!sender_) {
        return notYet({"send_feedback"});
    }
    return {{"send_feedback",
             BridgeEntry::implemented([sender = sender_](const BridgeArgs& args, auto reply) {
                 sender->send(args.any(0), [reply = std::move(reply)](Json object) mutable {
                     reply(BridgeReply::custom(std::move(object)));
                 });
             })}};
}

}  // namespace parlendo
