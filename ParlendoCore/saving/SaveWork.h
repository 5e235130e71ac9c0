#pragma once

#include "foundation/Json.h"
#include "lookup/DictionaryLookup.h"

#include <optional>
#include <string>
#include <vector>

namespace parlendo {

// One looked-up word to save to the user's word book, with the source it was captured from.
// Plain data, safe to copy between threads.
struct SaveWork {
    using Sense = DictionaryLookup::Sense;

    // Identity of this save: an upper-case UUID. Logs show its first 8 characters.
    std::string id;
    // The source row the word was captured from.
    std::string sourceID;
    // The word as looked up, case kept.
    std::string lemma;
    std::optional<std::string> phonetic;
    // The word's short Korean gloss.
    std::optional<std::string> korean;
    // At most two senses.
    std::vector<Sense> senses;
    // Capture time, wall-clock seconds.
    double createdAt = 0;
    // The user id of the account the word was captured under: the word goes only into that
    // account's word book, and is sent only while it is signed in. Set when the word is handed
    // to the save queue; the journal keeps it as the owner of the file that holds the word.
    std::string owner;

    // Keeps only the first two senses when more are given.
    SaveWork(std::string id, std::string sourceID, std::string lemma,
             std::optional<std::string> phonetic, std::optional<std::string> korean,
             std::vector<Sense> senses, double createdAt);

    // The body of the word snapshot call: p_source_id, p_lemma (lower-cased as the server does),
    // p_phonetic, p_korean (null only when absent) and p_senses (empty strings become null).
    Json rpcParams() const;

    // The first 8 characters of `id`, for log lines.
    std::string shortID() const;

    // Whether a word is worth saving: the first sense's definition, and the second's when there
    // is one, must be neither empty nor "-" once stripped.
    static bool hasDefinitions(const std::vector<Sense>& senses);

    bool operator==(const SaveWork&) const = default;
};

}  // namespace parlendo
