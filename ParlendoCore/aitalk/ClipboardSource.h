#pragma once

#include "foundation/Completion.h"

#include <cstdint>
#include <optional>
#include <string>

namespace parlendo {

// The clipboard as AI talk reads it: a change counter that grows on every write, and the plain
// text it holds. Main thread.
class ClipboardSource {
  public:
    virtual ~ClipboardSource() = default;
    virtual std::int64_t changeCount() = 0;
    // The clipboard's plain text, none when it holds no text. Completes exactly once, on the main
    // thread (possibly before returning).
    virtual void text(Completion<void(std::optional<std::string>)> done) = 0;
};

}  // namespace parlendo
