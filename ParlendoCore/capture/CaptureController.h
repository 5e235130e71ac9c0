#pragma once

#include "capture/CaptureNotice.h"
#include "capture/CapturePipeline.h"
#include "capture/ContextReader.h"
#include "capture/SelectionFetch.h"
#include "capture/SelectionSource.h"
#include "foundation/Clock.h"
#include "foundation/Executor.h"
#include "foundation/Function.h"
#include "saving/CaptureSnapshot.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace parlendo {

class SyntheticCopyLedger;

// Turns one lookup chord into one capture: decides on the main thread whether to take it, reads
// the window context, the selection and its bounds on the serial fetch queue, and back on the
// main thread either tells the user why nothing was captured or hands a snapshot to the pipeline.
// One fetch at a time. Owns the late clean-up of a copy that arrived after the wait and the
// "timing" line of every capture. Lives in a shared_ptr (the fetch holds it weakly); every
// member is used on the main thread.
class CaptureController : public std::enable_shared_from_this<CaptureController> {
  public:
    // What the controller reads of the desktop.
    struct Readers {
        // The front application now; main thread.
        std::function<std::optional<RunningApplication>()> frontApplication;
        // This process's id.
        std::int32_t ownPid = 0;
        // A new selection reader for one lookup in `app`; main thread. Never null.
        std::function<std::shared_ptr<SelectionReading>(const RunningApplication& app)> makeReader;
        // The window context reader; used on the fetch queue.
        std::shared_ptr<ContextReader> context;
    };

    struct Dependencies {
        // The capture pipeline.
        std::shared_ptr<CaptureSink> pipeline;
        // Shows a short notice to the user.
        std::function<void(const std::string& text)> notice;
        // Called when a chord is accepted, before any reading.
        std::function<void()> onCapture;
        std::shared_ptr<SyntheticCopyLedger> syntheticCopies;
        Readers readers;
        // The serial queue "parlendo.selection-fetch".
        ExecutorPtr fetchQueue;
        ExecutorPtr main;
        std::shared_ptr<Clock> clock;
    };

    static std::shared_ptr<CaptureController> make(Dependencies dependencies);

    // Counts a turned-away chord: true = a fetch was still running, false = nothing fetched.
    // Does nothing until set.
    std::function<void(bool busy)> onRejected;

    // Capture allowed; false at first. The coordinator follows detection's `watching`.
    bool enabled() const { return enabled_; }
    void setEnabled(bool enabled) { enabled_ = enabled; }
    bool fetching() const { return fetching_; }

    // The lookup chord was released at `releasedAt` (uptime seconds).
    void lookupSelection(double releasedAt);

  private:
    struct Fetched;
    struct Lane;

    explicit CaptureController(Dependencies dependencies);

    void fetch(const RunningApplication& app, std::shared_ptr<SelectionReading> reader,
               std::string bundle, double capturedAt, double releasedAt, Task done);
    void finish(Fetched fetched);
    void captured(Fetched& fetched, SelectionFetch::Text& text, double ms);
    static CaptureSnapshot makeSnapshot(const std::string& text, double capturedAt,
                                        const std::optional<ReadingContext>& context);
    void notice(const std::string& text);
    void scheduleLateCheck(std::shared_ptr<SelectionReading> reader,
                           SelectionFetch::Pending pending, const std::string& bundle);
    void showSkipNotice(CaptureNotice notice);
    void copyUsed(const std::string& bundle, const char* outcome,
                  std::optional<double> waitedMs = std::nullopt);
    void rejected(bool busy);

    Dependencies deps_;
    std::shared_ptr<Lane> lane_;
    bool enabled_ = false;
    bool fetching_ = false;
};

}  // namespace parlendo
