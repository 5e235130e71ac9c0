#pragma once

#include "foundation/Json.h"

#include <optional>
#include <string>
#include <string_view>

namespace parlendo {

// How far one study review save got.
enum class StudySaveState {
    // A request for the review is running.
    inFlight,
    // The server has the row, proven by its answer or by reading it back.
    confirmed,
    // The request's fate is unknown; the row may or may not exist.
    commitUnknown,
    // Refused, conflicting with another row of the same id, or lacking a login; not retried.
    failedTerminal,
};

std::string_view toString(StudySaveState state);
// Exactly "in_flight", "confirmed", "commit_unknown" or "failed_terminal"; nothing otherwise.
std::optional<StudySaveState> studySaveStateFromString(std::string_view text);

// The state of one study review save as the manage page sees it.
struct StudySave {
    // The operation id, equal to the row's review_id.
    std::string operationID;
    StudySaveState state = StudySaveState::inFlight;
    // Requests sent for this operation so far.
    int attemptCount = 0;
    // A request or read-back for it is running now.
    bool transportActive = false;
    std::optional<std::string> errorCode;
    // The row as the server returned it, once confirmed.
    std::optional<Json> evidence;
    // The answer belonged to an earlier sign-in.
    bool stale = false;
    // The user must sign in again.
    bool authRequired = false;

    // {"operation_id", "kind": "review", "state", "attempt_count", "transport_active",
    //  "error_code" (or null), "commit_evidence" (or null)}.
    Json screen() const;

    bool operator==(const StudySave&) const = default;
};

}  // namespace parlendo
