#include "saving/StudySave.h"

namespace parlendo {

std::string_view toString(StudySaveState state) {
    switch (state) {
        case StudySaveState::inFlight:
            return "in_flight";
        case StudySaveState::confirmed:
            return "confirmed";
        case StudySaveState::commitUnknown:
            return "commit_unknown";
        case StudySaveState::failedTerminal:
            return "failed_terminal";
    }
    return "in_flight";
}

std::optional<StudySaveState> studySaveStateFromString(std::string_view text) {
    for (auto state : {StudySaveState::inFlight, StudySaveState::confirmed,
                       StudySaveState::commitUnknown, StudySaveState::failedTerminal}) {
        if (toString(state) == text) {
            return state;
        }
    }
    return std::nullopt;
}

Json StudySave::screen() const {
    return Json{{"operation_id", operationID},
                {"kind", "review"},
                {"state", toString(state)},
                {"attempt_count", attemptCount},
                {"transport_active", transportActive},
                {"error_code", errorCode ? Json(*errorCode) : Json(nullptr)},
                {"commit_evidence", evidence ? *evidence : Json(nullptr)}};
}

}  // namespace parlendo
