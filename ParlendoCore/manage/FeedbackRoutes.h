#pragma once

#include "manage/BridgeRoutes.h"
#include "manage/FeedbackSender.h"

#include <memory>

namespace parlendo {

// The manage page's "send_feedback" call. Without a sender the call is not served. Main executor.
class FeedbackRoutes final : public BridgeRoutes {
  public:
    FeedbackRoutes() = default;
    explicit FeedbackRoutes(std::shared_ptr<FeedbackSender> sender);

    std::map<std::string, BridgeEntry> routes() const override;

  private:
    std::shared_ptr<FeedbackSender> sender_;
};

}  // namespace parlendo
