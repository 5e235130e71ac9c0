#pragma once

#include "foundation/Json.h"
#include "saving/CaptureSnapshot.h"
#include "saving/SaveWork.h"
#include "saving/SentenceSaving.h"

#include <optional>
#include <string>
#include <variant>

namespace parlendo {

// One capture on its way to the server, as the save journal keeps it: the word or sentence
// itself and, while its source row is not known, where it was captured, so that a later run can
// find or make that row first. Plain data, safe to copy between threads.
struct JournalEntry {
    using Save = std::variant<SaveWork, SentenceWork>;

    // What the source resolver needs of a capture (the window's application, its title and the
    // addresses of its document or page) and what the title vector is asked for.
    struct Origin {
        std::string bundleID;
        std::optional<std::string> title;
        std::optional<std::string> documentURL;
        std::optional<std::string> webURL;

        // Nothing for a capture without a window: it has no source to save under.
        static std::optional<Origin> of(const CaptureSnapshot& snapshot);
        // A snapshot of the capture `id` that resolves to the same source and title key.
        CaptureSnapshot snapshot(const std::string& id) const;

        bool operator==(const Origin&) const = default;
    };

    // Its source id is empty while `origin` is set.
    Save save;
    std::optional<Origin> origin;

    const std::string& id() const;
    const std::string& sourceID() const;
    void setSourceID(std::string sourceID);
    bool isWord() const { return std::holds_alternative<SaveWork>(save); }

    // The entry's form in the journal file. Entries an earlier version wrote hold a resolved
    // "source_id"; entries whose source is not known yet hold an "origin" instead.
    Json toJson() const;
    // Nothing for an entry that is not whole.
    static std::optional<JournalEntry> fromJson(const Json& entry);

    bool operator==(const JournalEntry&) const = default;
};

}  // namespace parlendo
