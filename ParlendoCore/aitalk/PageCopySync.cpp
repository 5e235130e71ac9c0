#include "aitalk/PageCopySync.h"

#include "foundation/Log.h"
#include "foundation/SHA256.h"

#include <algorithm>

namespace parlendo {

namespace {

constexpr const char* kTag = "drive";

// The failure code of a server call for the log ("stale" for a result of another account).
std::string code(const CallFailure& failure) {
    auto mapped = DriveErrors::from(DriveError(failure), "server_error");
    return mapped ? mapped->code : "stale";
}

}  // namespace

// One document's download: the ranges read so far.
struct PageCopySync::Download {
    std::string user;
    ReadyDocument doc;
    double started = 0;
    std::int64_t next = 1;
    std::vector<std::string> pages;
    Completion<void(bool)> done;
};

PageCopySync::PageCopySync(std::shared_ptr<DriveService> drive, ExecutorPtr work)
    : drive_(std::move(drive)), work_(std::move(work)) {}

void PageCopySync::setBackgroundAllowed(std::function<bool()> allowed) {
    std::lock_guard lock(mutex_);
    backgroundAllowed_ = std::move(allowed);
}

std::function<bool()> PageCopySync::allowed() const {
    std::lock_guard lock(mutex_);
    return backgroundAllowed_;
}

size_t PageCopySync::running() const {
    std::lock_guard lock(mutex_);
    return running_.size();
}

int PageCopySync::activeWorkers() const {
    std::lock_guard lock(mutex_);
    return active_;
}

std::optional<ReadyDocument> PageCopySync::ready(const Json& row) {
    auto id = json::string(row, "id");
    auto sha = json::string(row, "text_sha256");
    if (!id || !sha) {
        return std::nullopt;
    }
    const Json* pages = row.contains("page_count") ? &row["page_count"] : nullptr;
    return ReadyDocument{std::move(*id), json::string(row, "file_name").value_or(""),
                         std::move(*sha), DriveService::integer(pages),
                         json::string(row, "created_at").value_or("")};
}

std::string PageCopySync::rangePath(const std::string& document, std::int64_t first,
                                    std::int64_t last) {
    return "/rest/v1/drive_pages?select=page_no,text&document_id=eq." +
           DriveService::escape(document) + "&page_no=gte." + std::to_string(first) +
           "&page_no=lte." + std::to_string(last) + "&order=page_no.asc";
}

bool PageCopySync::signedIn(const std::string& user) const {
    return drive_->session()->userID() == std::optional<std::string>(user);
}

long long PageCopySync::millisSince(double started) const {
    return static_cast<long long>((drive_->clock()->uptime() - started) * 1000);
}

void PageCopySync::fetch(const std::string& user, const std::vector<ReadyDocument>& documents) {
    std::vector<const ReadyDocument*> wanted;
    int skipped = 0;
    for (const auto& doc : documents) {
        if (drive_->copies()->fetchSkipped(user, doc.id, doc.sha)) {
            ++skipped;
        } else {
            wanted.push_back(&doc);
        }
    }
    if (skipped > 0) {
        Log::write(kTag,
                   "사본 받기 건너뜀 reason=failed_recently documents=" + std::to_string(skipped));
    }
    int start = 0;
    {
        std::lock_guard lock(mutex_);
        for (const auto* doc : wanted) {
            if (running_.insert(doc->id).second) {
                queue_.push_back({user, *doc});
            }
        }
        start = std::max(0, std::min(static_cast<int>(queue_.size()), maxWorkers - active_));
        active_ += start;
    }
    for (int i = 0; i < start; ++i) {
        work_->post([self = shared_from_this()] { self->work(); });
    }
}

void PageCopySync::work() {
    Entry entry;
    {
        std::lock_guard lock(mutex_);
        if (queue_.empty()) {
            active_ -= 1;
            return;
        }
        entry = std::move(queue_.front());
        queue_.pop_front();
    }
    const std::string id = entry.doc.id;
    fetchOne(entry.user, entry.doc, [self = shared_from_this(), id](bool) {
        {
            std::lock_guard lock(self->mutex_);
            self->running_.erase(id);
        }
        self->work_->post([self] { self->work(); });
    });
}

void PageCopySync::fetchOne(const std::string& user, const ReadyDocument& doc,
                            Completion<void(bool)> done) {
    auto download = std::make_shared<Download>();
    download->user = user;
    download->doc = doc;
    download->started = drive_->clock()->uptime();
    download->done = std::move(done);
    readRange(std::move(download));
}

// Work executor: each range is parsed and checked there, the next one asked for from there.
void PageCopySync::readRange(std::shared_ptr<Download> download) {
    if (download->next > download->doc.pageCount) {
        finishDownload(std::move(download));
        return;
    }
    const std::int64_t first = download->next;
    const std::int64_t last = std::min(download->doc.pageCount, first + rangePages - 1);
    drive_->readRows(
        rangePath(download->doc.id, first, last), timeout,
        [self = shared_from_this(), download, first, last](RowsResult rows) mutable {
            if (!rows) {
                Log::write(kTag, "사본 실패 where=backfill reason=" + code(rows.error()) +
                                     " ms=" + std::to_string(self->millisSince(download->started)));
                download->done(false);
                return;
            }
            bool complete = static_cast<std::int64_t>(rows->size()) == last - first + 1;
            for (size_t i = 0; complete && i < rows->size(); ++i) {
                const Json* number =
                    (*rows)[i].contains("page_no") ? &(*rows)[i]["page_no"] : nullptr;
                complete = DriveService::integer(number) == first + static_cast<std::int64_t>(i);
            }
            if (!complete) {
                Log::write(kTag, "사본 실패 where=backfill reason=pages_incomplete pages=" +
                                     std::to_string(download->pages.size()) +
                                     " ms=" + std::to_string(self->millisSince(download->started)));
                if (self->signedIn(download->user)) {
                    self->drive_->copies()->noteFetchFailure(download->user, download->doc.id,
                                                             download->doc.sha);
                }
                download->done(false);
                return;
            }
            for (const auto& row : *rows) {
                download->pages.push_back(json::string(row, "text").value_or(""));
            }
            download->next = last + 1;
            self->readRange(std::move(download));
        });
}

void PageCopySync::finishDownload(std::shared_ptr<Download> download) {
    if (!signedIn(download->user)) {
        download->done(false);
        return;
    }
    std::string joined;
    size_t size = 0;
    for (const auto& page : download->pages) {
        size += page.size() + 1;
    }
    joined.reserve(size);
    for (size_t i = 0; i < download->pages.size(); ++i) {
        if (i > 0) {
            joined += '\f';
        }
        joined += download->pages[i];
    }
    const std::string pages = std::to_string(download->pages.size());
    if (SHA256::hex(joined) != download->doc.sha) {
        Log::write(kTag, "사본 실패 where=backfill reason=sha_mismatch pages=" + pages +
                             " ms=" + std::to_string(millisSince(download->started)));
        drive_->copies()->noteFetchFailure(download->user, download->doc.id, download->doc.sha);
        download->done(false);
        return;
    }
    const bool written =
        drive_->copies()
            ->write(download->user, download->doc.id, download->pages, download->doc.sha)
            .has_value();
    Log::write(kTag, std::string("사본 ") + (written ? "ok" : "실패") + " where=backfill pages=" +
                         pages + " ms=" + std::to_string(millisSince(download->started)));
    download->done(written);
}

void PageCopySync::prefetch(std::optional<std::string> first, Completion<void(int)> done) {
    auto user = drive_->session()->userID();
    if (!user) {
        done(0);
        return;
    }
    if (auto gate = allowed(); gate && !gate()) {
        Log::write(kTag, "사본 미리 받기 건너뜀 reason=server_gate");
        done(0);
        return;
    }
    const double started = drive_->clock()->uptime();
    drive_->paged(livePath, listingSize,
                  [self = shared_from_this(), user = *user, first = std::move(first), started,
                   done = std::move(done)](RowsResult live) mutable {
                      if (!live) {
                          Log::write(kTag, "사본 미리 받기 실패 reason=" + code(live.error()));
                          done(0);
                          return;
                      }
                      self->drive_->paged(trashPath, listingSize,
                                          [self, user = std::move(user), first = std::move(first),
                                           started, live = std::move(*live),
                                           done = std::move(done)](RowsResult trash) mutable {
                                              std::optional<std::vector<Json>> trashed;
                                              if (trash) {
                                                  trashed = std::move(*trash);
                                              }
                                              // On the work executor, where the listing was read:
                                              // reading the copies and pruning touch the disk.
                                              self->missing(std::move(user), std::move(first),
                                                            std::move(live), std::move(trashed),
                                                            started, std::move(done));
                                          });
                  });
}

void PageCopySync::missing(std::string user, std::optional<std::string> first,
                           std::vector<Json> live, std::optional<std::vector<Json>> trash,
                           double started, Completion<void(int)> done) {
    std::string removed = "skipped";
    if (trash && signedIn(user)) {
        std::set<std::string> keeping;
        for (const auto* rows : {&live, &*trash}) {
            for (const auto& row : *rows) {
                if (auto id = json::string(row, "id")) {
                    keeping.insert(*id);
                }
            }
        }
        removed = std::to_string(drive_->copies()->prune(user, keeping));
    }
    struct Missing {
        ReadyDocument doc;
        std::string drive;
    };
    std::vector<Missing> wanted;
    for (const auto& row : live) {
        if (json::string(row, "status") != "ready") {
            continue;
        }
        auto doc = ready(row);
        if (!doc || drive_->copies()->pages(user, doc->id, doc->sha)) {
            continue;
        }
        wanted.push_back({std::move(*doc), json::string(row, "drive_id").value_or("")});
    }
    if (first) {
        std::stable_partition(wanted.begin(), wanted.end(),
                              [&](const Missing& m) { return m.drive == *first; });
    }
    if (!wanted.empty()) {
        std::vector<ReadyDocument> docs;
        for (auto& m : wanted) {
            docs.push_back(std::move(m.doc));
        }
        fetch(user, docs);
    }
    Log::write(kTag, "사본 미리 받기 documents=" + std::to_string(live.size()) +
                         " missing=" + std::to_string(wanted.size()) + " removed=" + removed +
                         " ms=" + std::to_string(millisSince(started)));
    done(static_cast<int>(wanted.size()));
}

}  // namespace parlendo
