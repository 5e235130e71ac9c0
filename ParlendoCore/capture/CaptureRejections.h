#pragma once

#include "foundation/Json.h"

#include <cstdint>

namespace parlendo {

// Counts of captures turned away since launch: a chord while a fetch was running, a chord that
// fetched nothing, and cards that could not be opened. They only grow.
struct CaptureRejections {
    std::int64_t busy = 0;
    std::int64_t notFetched = 0;
    std::int64_t popups = 0;

    std::int64_t total() const { return busy + notFetched + popups; }

    // The counts as the manage page reads them, grouped with the kinds of rejection this
    // application never produces (always 0).
    Json manageShape() const;

    bool operator==(const CaptureRejections&) const = default;
};

}  // namespace parlendo
