#pragma once

#include "aitalk/ReadyDocument.h"
#include "foundation/Completion.h"
#include "foundation/Executor.h"
#include "foundation/Json.h"
#include "projects/DriveService.h"

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace parlendo {

// Keeps local copies of the page texts of the user's ready project documents, so that pages can
// be located without a request per question. A document's pages are read in ranges of 100, must
// arrive complete and in order, and must hash to the document's text SHA-256 before the copy is
// stored; a failed check is remembered (per document and hash, for a day) so that it is not
// retried at once. Two roads lead here: the prefetch after each sign-in and the page finder's
// fetch of documents it found without a copy. At most two documents download at a time; a
// document already queued or downloading is not queued again. Thread-safe; the lock guards only
// the queue. Every answer is parsed and checked, and every copy hashed and written, on `work`
// (the project service's work executor): the executor where the server client delivers only
// hands the answers on. Lives in a shared_ptr.
class PageCopySync : public std::enable_shared_from_this<PageCopySync> {
  public:
    static constexpr int rangePages = 100;
    static constexpr double timeout = 15.0;
    static constexpr int maxWorkers = 2;
    static constexpr int listingSize = 1000;
    static constexpr const char* livePath =
        "/rest/v1/drive_documents?select=id,drive_id,file_name,text_sha256,page_count,status,"
        "created_at&deleted_at=is.null&order=created_at.desc";
    static constexpr const char* trashPath =
        "/rest/v1/drive_documents?select=id&deleted_at=not.is.null&purged_at=is.null"
        "&order=created_at.desc";

    PageCopySync(std::shared_ptr<DriveService> drive, ExecutorPtr work);

    // Whether background work may run now (always, until set).
    void setBackgroundAllowed(std::function<bool()> allowed);

    // Queues the downloads of the documents' copies and starts workers; returns at once.
    void fetch(const std::string& user, const std::vector<ReadyDocument>& documents);
    // Downloads every missing copy of the signed-in user, the documents of `first` (a project
    // id) before the others; completes with the number of missing documents (0 when it did not
    // run or failed).
    void prefetch(std::optional<std::string> first, Completion<void(int)> done);

    // A drive_documents row as a document: none without a text "id" and "text_sha256".
    static std::optional<ReadyDocument> ready(const Json& row);
    // The path of one page range of a document.
    static std::string rangePath(const std::string& document, std::int64_t first,
                                 std::int64_t last);

    // What is queued or downloading now.
    size_t running() const;
    int activeWorkers() const;

  private:
    struct Entry {
        std::string user;
        ReadyDocument doc;
    };
    struct Download;

    void work();
    void fetchOne(const std::string& user, const ReadyDocument& doc, Completion<void(bool)> done);
    void readRange(std::shared_ptr<Download> download);
    void finishDownload(std::shared_ptr<Download> download);
    void missing(std::string user, std::optional<std::string> first, std::vector<Json> live,
                 std::optional<std::vector<Json>> trash, double started,
                 Completion<void(int)> done);
    bool signedIn(const std::string& user) const;
    long long millisSince(double started) const;
    std::function<bool()> allowed() const;

    std::shared_ptr<DriveService> drive_;
    ExecutorPtr work_;
    mutable std::mutex mutex_;
    std::function<bool()> backgroundAllowed_;
    std::set<std::string> running_;
    std::deque<Entry> queue_;
    int active_ = 0;
};

}  // namespace parlendo
