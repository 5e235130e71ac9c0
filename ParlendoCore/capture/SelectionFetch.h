#pragma once

#include "capture/SelectionSource.h"
#include "foundation/Completion.h"
#include "foundation/Executor.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace parlendo {

class SyntheticCopyLedger;

// Fetches the selected text of the front application without the platform: a direct read
// first; when that finds nothing, the primary selection when the front application holds it;
// else a synthetic copy whose arrival on the clipboard is polled, after which the copied text is
// taken and the user's clipboard put back as it was. The copy is made only once the whole
// clipboard is saved, so that the user's clipboard is never left emptier than it was.
namespace SelectionFetch {

enum class Stage { direct, primary, copy };

// Text was fetched (not stripped; bytes that are not UTF-8 read as U+FFFD, so that the text can
// travel in JSON).
struct Text {
    std::string text;
    Stage stage = Stage::direct;
    std::string method;
    double waitedMs = 0;
    bool operator==(const Text&) const = default;
};
// The clipboard did not change within the wait: nothing selected, or the copy was ignored.
struct NoSelection {
    bool operator==(const NoSelection&) const = default;
};
// The clipboard changed but held no plain text (an image, a file, white space).
struct Unreadable {
    bool operator==(const Unreadable&) const = default;
};
// The front window is no longer the one read before the fetch; the copy cannot be trusted.
struct WindowChanged {
    bool operator==(const WindowChanged&) const = default;
};
// No copy key was sent: no front window is known, or it is a terminal whose copy key is not.
struct CopyNotSent {
    bool operator==(const CopyNotSent&) const = default;
};
// The clipboard could not be saved whole, so no copy was made (it could not be put back).
struct ClipboardNotSaved {
    bool operator==(const ClipboardNotSaved&) const = default;
};
using Outcome =
    std::variant<Text, NoSelection, Unreadable, WindowChanged, CopyNotSent, ClipboardNotSaved>;

// A copy that did not arrive in time: its clean-up is still owed (see settleLate).
struct Pending {
    std::int64_t startCount = 0;
    SavedPasteboard saved;
};

struct Result {
    Outcome outcome;
    std::optional<Pending> pending;
};

// Runs the fetch on `queue`, which must be the executor the caller runs on: the clipboard is
// looked at every `poll` seconds for at most `copyWait` seconds through `queue.postAfter`.
// `done` is called exactly once, on `queue` (at once when the direct read succeeds).
void run(std::shared_ptr<SelectionSource> source, std::shared_ptr<SyntheticCopyLedger> ledger,
         std::optional<WindowIdentity> window, double copyWait, double poll, ExecutorPtr queue,
         Completion<void(Result)> done);

// The late look after a copy that timed out: when the clipboard changed since, the change is
// marked as the application's own and the user's clipboard restored (the text is dropped) and
// true returned; otherwise the clipboard is left alone and false returned.
bool settleLate(SelectionSource& source, SyntheticCopyLedger& ledger, const Pending& pending);

}  // namespace SelectionFetch

std::string_view toString(SelectionFetch::Stage stage);

}  // namespace parlendo
