#include "projects/DriveThumbnails.h"

#include "foundation/Base64.h"
#include "foundation/FileIO.h"
#include "foundation/Log.h"

#include <sys/stat.h>

namespace parlendo {
namespace {

// A file's modification time in nanoseconds.
std::int64_t modified(const struct stat& info) {
    return static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
}

}  // namespace

struct DriveThumbnails::Made {
    enum class Kind { png, failed, accountChanged };
    Kind kind = Kind::failed;
    std::string data;
    bool cached = false;
};

DriveThumbnails::DriveThumbnails(std::shared_ptr<DriveService> drive,
                                 std::shared_ptr<PageCopyStore> copies,
                                 std::shared_ptr<SessionProviding> session,
                                 std::shared_ptr<PDFThumbnailing> renderer, std::int64_t maxBytes,
                                 ExecutorPtr work, std::shared_ptr<const MonotonicClock> clock)
    : drive_(std::move(drive)),
      copies_(std::move(copies)),
      session_(std::move(session)),
      renderer_(std::move(renderer)),
      maxBytes_(maxBytes),
      work_(std::move(work)),
      clock_(std::move(clock)) {}

void DriveThumbnails::finish(double start, const std::string& state, bool cached,
                             const std::string* png,
                             Completion<void(Result<Json, CallFailure>)> done) const {
    const auto ms = static_cast<std::int64_t>((clock_->uptime() - start) * 1000);
    Log::write("drive", "표지 state=" + state + " cached=" + (cached ? "true" : "false") +
                            " ms=" + std::to_string(ms));
    Json reply{{"state", state}};
    if (png) {
        reply["png"] = Base64::encode(*png);
    }
    done(std::move(reply));
}

void DriveThumbnails::thumbnail(std::string document,
                                Completion<void(Result<Json, CallFailure>)> done) {
    const double start = clock_->uptime();
    auto user = session_->userID();
    if (!user || document.empty()) {
        finish(start, "error", false, nullptr, std::move(done));
        return;
    }
    // The link is resolved with the drawing, off the caller's thread: resolving looks at the file
    // and may read through its folder.
    work_->post([self = shared_from_this(), start, user = *user, document = std::move(document),
                 done = std::move(done)]() mutable {
        auto [state, path] = self->drive_->sourceState(document, user);
        if (!path) {
            self->finish(start, state, false, nullptr, std::move(done));
            return;
        }
        auto target = self->copies_->thumbnailPath(user, document);
        if (!target) {
            self->finish(start, "unknown", false, nullptr, std::move(done));
            return;
        }
        Made made = self->draw(*path, target->string(), user);
        if (self->session_->userID() != user) {
            done(fail(CallFailure::stale()));
            return;
        }
        switch (made.kind) {
            case Made::Kind::accountChanged:
                Log::write("drive", "표지 버림 — 그리는 사이 계정이 바뀜");
                done(fail(CallFailure::stale()));
                return;
            case Made::Kind::failed:
                self->finish(start, "failed", false, nullptr, std::move(done));
                return;
            case Made::Kind::png:
                self->finish(start, "ok", made.cached, &made.data, std::move(done));
                return;
        }
    });
}

DriveThumbnails::Made DriveThumbnails::draw(const std::string& path, const std::string& target,
                                            const std::string& user) const {
    struct stat pdf {};
    if (::stat(path.c_str(), &pdf) != 0) {
        return Made{};
    }
    if (static_cast<std::int64_t>(pdf.st_size) > maxBytes_) {
        return Made{};
    }
    struct stat cached {};
    if (::stat(target.c_str(), &cached) == 0 && modified(cached) >= modified(pdf)) {
        if (auto data = fileio::readFile(target); data && !data->empty()) {
            return Made{Made::Kind::png, std::move(*data), true};
        }
    }
    auto png = renderer_->firstPagePNG(path, width);
    if (!png || png->empty()) {
        return Made{};
    }
    if (session_->userID() != user) {
        return Made{Made::Kind::accountChanged, {}, false};
    }
    if (fileio::writeAtomically(target, *png, copies_->root())) {
        return Made{};
    }
    return Made{Made::Kind::png, std::move(*png), false};
}

}  // namespace parlendo
