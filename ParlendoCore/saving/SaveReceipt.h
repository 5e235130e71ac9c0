#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace parlendo {

// The server's receipt for a word stored by the snapshot call.
struct SaveReceipt {
    enum class SnapshotState { inserted, preserved, empty };

    static std::string_view toString(SnapshotState state);
    // Exactly "inserted", "preserved" or "empty" (case-sensitive); nothing otherwise.
    static std::optional<SnapshotState> fromString(std::string_view text);

    std::string wordID;
    bool created = false;
    bool resurrected = false;
    SnapshotState snapshotState = SnapshotState::inserted;
    int senseCount = 0;

    // The receipt in an answer body: a JSON object with "status" "ok", a string "word_id" and a
    // known "snapshot_state"; "created", "resurrected" and "sense_count" default to false, false
    // and 0 when missing or of another type. Nothing for any other body.
    static std::optional<SaveReceipt> parse(std::string_view body);

    bool operator==(const SaveReceipt&) const = default;
};

}  // namespace parlendo
