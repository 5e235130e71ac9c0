#include "saving/SaveReceipt.h"

#include "foundation/Json.h"

#include <limits>

namespace parlendo {

std::string_view SaveReceipt::toString(SnapshotState state) {
    switch (state) {
        case SnapshotState::inserted:
            return "inserted";
        case SnapshotState::preserved:
            return "preserved";
        case SnapshotState::empty:
            return "empty";
    }
    return "inserted";
}

std::optional<SaveReceipt::SnapshotState> SaveReceipt::fromString(std::string_view text) {
    for (auto state : {SnapshotState::inserted, SnapshotState::preserved, SnapshotState::empty}) {
        if (toString(state) == text) {
            return state;
        }
    }
    return std::nullopt;
}

std::optional<SaveReceipt> SaveReceipt::parse(std::string_view body) {
    const auto parsed = json::parse(body);
    if (!parsed || !parsed->is_object()) {
        return std::nullopt;
    }
    const Json& object = *parsed;
    if (json::string(object, "status") != "ok") {
        return std::nullopt;
    }
    auto wordID = json::string(object, "word_id");
    if (!wordID) {
        return std::nullopt;
    }
    const auto stateText = json::string(object, "snapshot_state");
    const auto state = stateText ? fromString(*stateText) : std::nullopt;
    if (!state) {
        return std::nullopt;
    }
    SaveReceipt receipt;
    receipt.wordID = std::move(*wordID);
    receipt.snapshotState = *state;
    receipt.created = json::boolean(object, "created").value_or(false);
    receipt.resurrected = json::boolean(object, "resurrected").value_or(false);
    const auto count = json::integer(object, "sense_count");
    if (count && *count >= std::numeric_limits<int>::min() &&
        *count <= std::numeric_limits<int>::max()) {
        receipt.senseCount = static_cast<int>(*count);
    }
    return receipt;
}

}  // namespace parlendo
