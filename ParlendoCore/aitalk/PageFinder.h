#pragma once

#include "aitalk/Asking.h"
#include "aitalk/PageCopySync.h"
#include "aitalk/PageLocator.h"
#include "aitalk/ReadyDocument.h"
#include "aitalk/ViewerHints.h"
#include "foundation/Clock.h"
#include "foundation/Executor.h"
#include "projects/DriveService.h"

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace parlendo {

// Finds the page hint of a question: lists the ready documents of the active popup's project
// (kept 30 seconds), recognises the document the front viewer shows by its linked file and takes
// the viewer's own page when it can, else has the page locator search the local copies on `work`.
// Copies that were missing are requested afterwards. One log line per question. Thread-safe: the
// lock guards the document lists and the pruned user only. Lives in a shared_ptr.
class PageFinder : public std::enable_shared_from_this<PageFinder> {
  public:
    static constexpr double listTTL = 30.0;
    static constexpr double timeout = 15.0;

    using Documents = std::vector<ReadyDocument>;
    // The documents, and whether they came from the cache.
    using DocumentsResult = Result<std::pair<Documents, bool>, CallFailure>;

    PageFinder(std::shared_ptr<DriveService> drive, std::shared_ptr<PageLocator> locator,
               std::shared_ptr<PageCopySync> sync, ExecutorPtr work,
               std::shared_ptr<const MonotonicClock> clock = nullptr);

    // The page the selection comes from, none when it cannot tell. Never fails. Completes on
    // `work` or where the server's answers are delivered.
    void find(std::string selection, ActivePopup popup, ViewerHints viewer,
              Completion<void(std::optional<PageHint>)> done);

    // The ready documents of a project for a user.
    void readyDocuments(const std::string& user, const std::string& drive, bool fresh,
                        Completion<void(DocumentsResult)> done);

    // Forgets the document lists; with `all`, also the pruned user and the locator's cache.
    void invalidate(bool all);

    // The id whose linked file is the same file as `path`, compared in canonical form (links
    // resolved, "." and ".." steps removed, Unicode composed).
    static std::optional<std::string> match(const std::optional<std::string>& path,
                                            const std::map<std::string, std::string>& paths);
    static std::string canonicalPath(const std::string& path);

  private:
    struct Find;

    void located(std::shared_ptr<Find> find);
    void search(std::shared_ptr<Find> find, Completion<void(LocateResult)> done);
    void finish(std::shared_ptr<Find> find, LocateResult result);
    std::optional<std::string> matchIn(const std::optional<std::string>& path,
                                       const Documents& docs) const;
    void logResult(const Find& find, const LocateResult& result, bool viewer) const;

    std::shared_ptr<DriveService> drive_;
    std::shared_ptr<PageLocator> locator_;
    std::shared_ptr<PageCopySync> sync_;
    ExecutorPtr work_;
    std::shared_ptr<const MonotonicClock> clock_;
    mutable std::mutex mutex_;
    std::map<std::string, std::pair<double, Documents>> documents_;
    std::optional<std::string> pruned_;
};

}  // namespace parlendo
