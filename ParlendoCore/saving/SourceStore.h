#pragma once

#include "foundation/Completion.h"
#include "foundation/Result.h"
#include "server/CallFailure.h"

#include <optional>
#include <string>

namespace parlendo {

// The server row a capture is saved under: the document or web page the user was reading.
struct SourceRow {
    // The row's source_id.
    std::string id;
    std::string title;
    std::optional<std::string> url;
    bool operator==(const SourceRow&) const = default;
};

// The found row (none when the user has no live row for it), or why the search failed.
using SourceFindResult = Result<std::optional<SourceRow>, CallFailure>;

// The source resolver's way to the signed-in user's source rows. Called from any thread; the
// completions run on whatever thread the answer arrives.
class SourceStore {
  public:
    virtual ~SourceStore() = default;

    // The user's live row for the URL (when present and not empty), else for the title.
    virtual void find(std::optional<std::string> url, std::string title,
                      Completion<void(SourceFindResult)> completion) = 0;
    // Creates a row under the given id; none when no row could be made or found.
    virtual void create(std::string id, std::string title, std::optional<std::string> url,
                        Completion<void(std::optional<SourceRow>)> completion) = 0;
    // Marks the row as seen now. The completion (which may be empty) runs when the request ended;
    // the outcome is not reported.
    virtual void touch(std::string id, Completion<void()> completion) = 0;
};

}  // namespace parlendo
