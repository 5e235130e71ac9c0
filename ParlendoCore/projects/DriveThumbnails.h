#pragma once

#include "foundation/Clock.h"
#include "foundation/Completion.h"
#include "foundation/Executor.h"
#include "foundation/Json.h"
#include "foundation/Result.h"
#include "projects/DriveService.h"
#include "projects/PDFThumbnailing.h"
#include "projects/PageCopyStore.h"
#include "server/AuthTypes.h"
#include "server/CallFailure.h"

#include <cstdint>
#include <memory>
#include <string>

namespace parlendo {

// The first-page pictures of the manage page's documents. A picture is drawn from the PDF the
// document was uploaded from (found through its stored bookmark), cached as a PNG in the user's
// page-copy folder until the PDF is newer, and answered as {"state": "ok", "png": Base64} or with
// another state: "failed", "missing", "unknown" or "error". The only failure is `stale`: the
// signed-in account changed while the picture was made; a picture of another account is never
// saved or answered.
// Any thread; resolving the bookmark, the file reads, the drawing and the write run on the work
// executor.
class DriveThumbnails : public std::enable_shared_from_this<DriveThumbnails> {
  public:
    static constexpr int width = 240;
    static constexpr std::int64_t maxPDFBytes = 209715200;  // 200 MiB

    DriveThumbnails(std::shared_ptr<DriveService> drive, std::shared_ptr<PageCopyStore> copies,
                    std::shared_ptr<SessionProviding> session,
                    std::shared_ptr<PDFThumbnailing> renderer, std::int64_t maxBytes,
                    ExecutorPtr work, std::shared_ptr<const MonotonicClock> clock);

    void thumbnail(std::string document, Completion<void(Result<Json, CallFailure>)> done);

  private:
    struct Made;
    Made draw(const std::string& path, const std::string& target, const std::string& user) const;
    void finish(double start, const std::string& state, bool cached, const std::string* png,
                Completion<void(Result<Json, CallFailure>)> done) const;

    std::shared_ptr<DriveService> drive_;
    std::shared_ptr<PageCopyStore> copies_;
    std::shared_ptr<SessionProviding> session_;
    std::shared_ptr<PDFThumbnailing> renderer_;
    std::int64_t maxBytes_;
    ExecutorPtr work_;
    std::shared_ptr<const MonotonicClock> clock_;
};

}  // namespace parlendo
