#pragma once

#include "foundation/Executor.h"
#include "manage/BridgeRoutes.h"
#include "saving/StudyRecording.h"

#include <map>
#include <memory>
#include <string>

namespace parlendo {

// The manage page's study calls: "save_review" records a review (a word marked as known or not
// known), "save_status" asks about an earlier one. Handlers run on the main executor and reply
// there: when `main` is given, a recorder answer that arrives elsewhere is handed back to it.
class StudyRoutes final : public BridgeRoutes {
  public:
    explicit StudyRoutes(std::shared_ptr<StudyRecording> recorder, ExecutorPtr main = nullptr);

    std::map<std::string, BridgeEntry> routes() const override;

    // The reply of "save_status" for what the recorder answered.
    static BridgeReply statusReply(const std::optional<StudySave>& save);

  private:
    std::shared_ptr<StudyRecording> recorder_;
    ExecutorPtr main_;
};

}  // namespace parlendo
