#pragma once

#include "foundation/Executor.h"
#include "manage/BridgeRoutes.h"
#include "projects/DriveScreen.h"
#include "projects/DriveService.h"
#include "projects/DriveThumbnails.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace parlendo {

// The manage page's thirty "drive_*" calls: each reads the page's arguments, calls one operation
// of the project service, the thumbnail maker or the screen, and turns the outcome into a reply.
// An operation's failure reaches the page inside a successful reply, {"error": code[, "scope"]},
// logged as "요청 실패 reason=<code>"; only a stale call (the account changed meanwhile) replies
// as a failure. Handlers start on the main executor and reply there: answers that arrive on
// another thread are handed back to `main`; upload progress is posted to it, one task per report.
class DriveRoutes final : public BridgeRoutes {
  public:
    using DetectStatus = std::function<Json()>;
    // Hands over the mathematics script (empty when there is none), read off the main loop.
    using MathSource = std::function<void(Completion<void(std::string)>)>;

    static const std::vector<std::string>& names();

    DriveRoutes(std::shared_ptr<DriveService> service, std::shared_ptr<DriveScreen> screen,
                DetectStatus detectStatus, MathSource mathSource,
                std::shared_ptr<DriveThumbnails> thumbnails, ExecutorPtr main = nullptr);

    std::map<std::string, BridgeEntry> routes() const override;

  private:
    struct Wiring {
        std::shared_ptr<DriveService> service;
        std::shared_ptr<DriveScreen> screen;
        DetectStatus detectStatus;
        MathSource mathSource;
        std::shared_ptr<DriveThumbnails> thumbnails;
        ExecutorPtr main;
    };
    std::shared_ptr<const Wiring> wiring_;
};

}  // namespace parlendo
