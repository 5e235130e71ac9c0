#include "aitalk/PageFinder.h"

#include "foundation/Log.h"
#include "foundation/Text.h"

#include <cstdio>
#include <filesystem>
#include <set>

namespace parlendo {

namespace {

constexpr const char* kTag = "drive";

std::string failureCode(const CallFailure& failure) {
    auto mapped = DriveErrors::from(DriveError(failure), "server_error");
    return mapped ? mapped->code : "stale";
}

bool sameIDs(const PageFinder::Documents& a, const PageFinder::Documents& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].id != b[i].id) {
            return false;
        }
    }
    return true;
}

}  // namespace

// One question's road through the finder.
struct PageFinder::Find {
    std::string selection;
    ActivePopup popup;
    ViewerHints viewer;
    std::string user;
    double start = 0;
    Documents docs;
    std::optional<std::string> matched;
    bool retry = false;
    Completion<void(std::optional<PageHint>)> done;
};

PageFinder::PageFinder(std::shared_ptr<DriveService> drive, std::shared_ptr<PageLocator> locator,
                       std::shared_ptr<PageCopySync> sync, ExecutorPtr work,
                       std::shared_ptr<const MonotonicClock> clock)
    : drive_(std::move(drive)),
      locator_(std::move(locator)),
      sync_(std::move(sync)),
      work_(std::move(work)),
      clock_(clock ? std::move(clock) : SystemClock::shared()) {}

void PageFinder::invalidate(bool all) {
    {
        std::lock_guard lock(mutex_);
        documents_.clear();
        if (all) {
            pruned_.reset();
        }
    }
    if (all) {
        locator_->clear();
    }
}

std::string PageFinder::canonicalPath(const std::string& path) {
    std::error_code error;
    // Links of the part that exists are resolved; "." and ".." steps go in any case, so that a
    // path whose file vanished still compares by its text.
    std::filesystem::path resolved = std::filesystem::weakly_canonical(path, error);
    if (error) {
        resolved = std::filesystem::path(path).lexically_normal();
    }
    std::string out = resolved.string();
    while (out.size() > 1 && out.back() == '/') {
        out.pop_back();
    }
    return text::nfc(out);
}

std::optional<std::string> PageFinder::match(const std::optional<std::string>& path,
                                             const std::map<std::string, std::string>& paths) {
    if (!path || path->empty()) {
        return std::nullopt;
    }
    const std::string wanted = canonicalPath(*path);
    for (const auto& [id, linked] : paths) {
        if (!linked.empty() && canonicalPath(linked) == wanted) {
            return id;
        }
    }
    return std::nullopt;
}

std::optional<std::string> PageFinder::matchIn(const std::optional<std::string>& path,
                                               const Documents& docs) const {
    if (!path || path->empty()) {
        return std::nullopt;
    }
    std::vector<std::string> ids;
    ids.reserve(docs.size());
    for (const auto& doc : docs) {
        ids.push_back(doc.id);
    }
    return match(path, drive_->sourcePaths(ids));
}

void PageFinder::readyDocuments(const std::string& user, const std::string& drive, bool fresh,
                                Completion<void(DocumentsResult)> done) {
    const std::string key = user + "/" + drive;
    if (!fresh) {
        std::lock_guard lock(mutex_);
        if (auto it = documents_.find(key); it != documents_.end()) {
            const double age = clock_->uptime() - it->second.first;
            if (age < listTTL) {
                auto list = it->second.second;
                done(std::make_pair(std::move(list), true));
                return;
            }
        }
    }
    const std::string path =
        "/rest/v1/drive_documents?select=id,file_name,text_sha256,page_count,status,created_at"
        "&drive_id=eq." +
        DriveService::escape(drive) + "&deleted_at=is.null";
    std::weak_ptr<PageFinder> weak = weak_from_this();
    drive_->server()->rows(path, timeout,
                           [weak, key, done = std::move(done)](RowsResult rows) mutable {
                               if (!rows) {
                                   done(fail(std::move(rows.error())));
                                   return;
                               }
                               Documents docs;
                               for (const auto& row : *rows) {
                                   if (json::string(row, "status") != "ready") {
                                       continue;
                                   }
                                   if (auto doc = PageCopySync::ready(row)) {
                                       docs.push_back(std::move(*doc));
                                   }
                               }
                               if (auto self = weak.lock()) {
                                   std::lock_guard lock(self->mutex_);
                                   self->documents_[key] = {self->clock_->uptime(), docs};
                               }
                               done(std::make_pair(std::move(docs), false));
                           });
}

void PageFinder::find(std::string selection, ActivePopup popup, ViewerHints viewer,
                      Completion<void(std::optional<PageHint>)> done) {
    auto find = std::make_shared<Find>();
    find->start = clock_->uptime();
    find->selection = std::move(selection);
    find->popup = std::move(popup);
    find->viewer = std::move(viewer);
    find->done = std::move(done);
    auto user = drive_->session()->userID();
    if (!user) {
        find->done(std::nullopt);
        return;
    }
    find->user = *user;
    work_->post([self = shared_from_this(), find] {
        bool prune = false;
        {
            std::lock_guard lock(self->mutex_);
            prune = self->pruned_ != find->user;
        }
        if (prune) {
            self->drive_->copies()->pruneOthers(find->user);
            std::lock_guard lock(self->mutex_);
            self->pruned_ = find->user;
        }
        self->readyDocuments(
            find->user, find->popup.driveID, false, [self, find](DocumentsResult listed) {
                if (!listed) {
                    Log::write(kTag, "쪽 찾기 실패 reason=" + failureCode(listed.error()) +
                                         " viewer=" + find->viewer.route);
                    find->done(std::nullopt);
                    return;
                }
                find->docs = std::move(listed->first);
                const bool cached = listed->second;
                self->work_->post([self, find, cached] {
                    find->matched = self->matchIn(find->viewer.documentPath, find->docs);
                    find->retry = cached;
                    if (find->matched || !cached || !find->viewer.documentPath) {
                        self->located(find);
                        return;
                    }
                    // The viewer shows a file that none of the cached documents links.
                    self->readyDocuments(
                        find->user, find->popup.driveID, true, [self, find](DocumentsResult fresh) {
                            if (fresh && !sameIDs(fresh->first, find->docs)) {
                                find->docs = std::move(fresh->first);
                                find->retry = false;
                                self->work_->post([self, find] {
                                    find->matched =
                                        self->matchIn(find->viewer.documentPath, find->docs);
                                    self->located(find);
                                });
                                return;
                            }
                            self->work_->post([self, find] { self->located(find); });
                        });
                });
            });
    });
}

void PageFinder::located(std::shared_ptr<Find> find) {
    if (find->matched && !find->viewer.selectionPages.empty()) {
        const int page = find->viewer.selectionPages.front();
        for (const auto& doc : find->docs) {
            if (doc.id == *find->matched && page >= 1 &&
                page <= std::max<std::int64_t>(doc.pageCount, 1)) {
                LocateResult viewer;
                viewer.hit = PageHint{doc.id, page};
                viewer.route = "viewer";
                logResult(*find, viewer, true);
                find->done(viewer.hit);
                return;
            }
        }
    }
    auto self = shared_from_this();
    search(find, [self, find](LocateResult result) mutable {
        if (result.hit || result.route == "timeout" || !find->retry) {
            self->finish(find, std::move(result));
            return;
        }
        self->readyDocuments(
            find->user, find->popup.driveID, true,
            [self, find, first = std::move(result)](DocumentsResult fresh) mutable {
                if (!fresh || sameIDs(fresh->first, find->docs)) {
                    self->work_->post([self, find, first = std::move(first)]() mutable {
                        self->finish(find, std::move(first));
                    });
                    return;
                }
                find->docs = std::move(fresh->first);
                self->search(find, [self, find](LocateResult second) mutable {
                    self->finish(find, std::move(second));
                });
            });
    });
}

void PageFinder::search(std::shared_ptr<Find> find, Completion<void(LocateResult)> done) {
    work_->post([self = shared_from_this(), find, done = std::move(done)]() mutable {
        done(self->locator_->locate(find->user, find->docs, find->selection, find->matched,
                                    find->viewer.visiblePages, find->viewer.title));
    });
}

void PageFinder::finish(std::shared_ptr<Find> find, LocateResult result) {
    if (!result.missing.empty()) {
        const std::set<std::string> missing(result.missing.begin(), result.missing.end());
        Documents wanted;
        for (const auto& doc : find->docs) {
            if (missing.count(doc.id) > 0) {
                wanted.push_back(doc);
            }
        }
        sync_->fetch(find->user, wanted);
    }
    logResult(*find, result, false);
    find->done(result.hit);
}

void PageFinder::logResult(const Find& find, const LocateResult& result, bool viewer) const {
    const ViewerHints& v = find.viewer;
    char viewerMs[48];
    std::snprintf(viewerMs, sizeof viewerMs, "viewer_ms=%.0f", v.ms);
    const long long ms = static_cast<long long>((clock_->uptime() - find.start) * 1000);
    std::string line = std::string("쪽 찾기 ") + (result.hit ? "ok" : "not_found");
    line += " route=" + result.route;
    line += " viewer=" + v.route;
    line += " app=" + v.bundleID.value_or("-");
    line += std::string(" doc_matched=") + (find.matched ? "true" : "false") + " ";
    line += "sel_pages=" + std::to_string(v.selectionPages.size());
    line += " visible=" + std::to_string(v.visiblePages.size());
    line += " docs=" + std::to_string(find.docs.size());
    line += " missing=" + std::to_string(viewer ? 0 : result.missing.size());
    line += " checked=" + std::to_string(viewer ? 0 : result.checked) + " ";
    line += viewerMs;
    line += " search_ms=" + std::to_string(viewer ? 0 : result.ms);
    line += " ms=" + std::to_string(ms);
    Log::write(kTag, line);
}

}  // namespace parlendo
