#pragma once

#include "foundation/Clock.h"
#include "saving/CaptureSnapshot.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace parlendo {

// A running application of the desktop: its process id and its application identifier (the
// desktop's application id or window class), when it has one.
struct RunningApplication {
    std::int32_t pid = 0;
    std::optional<std::string> bundleID;
    bool operator==(const RunningApplication&) const = default;
};

// Who the front window belongs to, its title, the file URL of the document it shows, and in
// browsers the address of the page.
struct ReadingContext {
    WindowIdentity window;
    std::optional<std::string> title;
    std::optional<std::string> documentURL;
    std::optional<std::string> webURL;
    bool operator==(const ReadingContext&) const = default;
};

// Time limits of the accessibility reads around a capture.
namespace ContextReadTimes {
// Time-out of every accessibility call of the context read.
inline constexpr double perCall = 0.25;
// Budget of one whole context read.
inline constexpr double total = 0.4;
// Budget of the search for the selection's bounds.
inline constexpr double selectionBounds = 0.12;
}  // namespace ContextReadTimes

// A time budget on a monotonic clock (seconds).
struct ReadBudget {
    // Starts now on `clock` (the system's by default).
    explicit ReadBudget(double limit, std::shared_ptr<const MonotonicClock> clock = {});
    // Started at `started`.
    ReadBudget(double limit, double started, std::shared_ptr<const MonotonicClock> clock = {});

    double elapsed() const;
    bool expired() const;

    double limit;
    double started;
    std::shared_ptr<const MonotonicClock> clock;
};

// Reads the window context of an application within `ContextReadTimes::total`, returning what it
// has when the budget runs out. Called on the selection-fetch queue (or a background task).
class ContextReader {
  public:
    virtual ~ContextReader() = default;
    // None only when `app` is none.
    virtual std::optional<ReadingContext> read(const std::optional<RunningApplication>& app) = 0;
    // The identity of the application's focused window now.
    virtual WindowIdentity identity(const RunningApplication& app) = 0;
};

}  // namespace parlendo
