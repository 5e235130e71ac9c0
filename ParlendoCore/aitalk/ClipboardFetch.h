#pragma once

#include "aitalk/ClipboardSource.h"
#include "capture/SyntheticCopyLedger.h"
#include "foundation/Completion.h"
#include "foundation/Executor.h"

#include <cstdint>
#include <memory>
#include <string>
#include <variant>

namespace parlendo {

// After the copy trigger: waits for the clipboard to change from the count it had before the
// copies, ignoring changes made by the application's own synthetic copies, and reads its text.
namespace ClipboardFetch {

// The clipboard's text exactly as read (not trimmed) and the time waited: the sum of the pauses
// taken, in milliseconds.
struct Text {
    std::string text;
    double waitedMs = 0;
    bool operator==(const Text&) const = default;
};
// The clipboard did not change within the wait (apart from the application's own copies).
struct NoCopy {
    bool operator==(const NoCopy&) const = default;
};
// The clipboard changed but holds no text, or only white space.
struct Unreadable {
    bool operator==(const Unreadable&) const = default;
};
using Outcome = std::variant<Text, NoCopy, Unreadable>;

// Looks at once, then after every pause of `poll` seconds (taken on `timers`) until `wait`
// seconds of pauses have passed. A wait of 0 or less looks once. Main thread.
void run(std::shared_ptr<ClipboardSource> source, std::shared_ptr<SyntheticCopyLedger> ledger,
         std::int64_t baseline, double wait, double poll, ExecutorPtr timers,
         Completion<void(Outcome)> done);

}  // namespace ClipboardFetch
}  // namespace parlendo
