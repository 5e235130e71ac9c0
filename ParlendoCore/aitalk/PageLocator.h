#pragma once

#include "aitalk/Asking.h"
#include "aitalk/PageText.h"
#include "aitalk/ReadyDocument.h"
#include "foundation/Clock.h"
#include "projects/PageCopyStore.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace parlendo {

// How a search for a selection ended, and what the page finder logs of it.
struct LocateResult {
    std::optional<PageHint> hit;
    // "no_documents", "too_short", "no_copy", "exact", "exact_tail", "words", "timeout",
    // "not_found".
    std::string route = "not_found";
    int checked = 0;
    long long ms = 0;
    // Documents without a usable local copy, in search order.
    std::vector<std::string> missing;
    bool operator==(const LocateResult&) const = default;
};

// Finds the page of a project document that a selection comes from, in the local page copies:
// first the page that holds the whole selection (or, for a long one, its first or last 120
// normalised bytes), else the page whose words cover most of the selection's words. Documents are
// searched in likelihood order, pages near the viewer's pages first, within half a second. Per
// document it keeps an index of normalised pages (and word sets, filled as needed) in a cache
// bounded by bytes and by document count, least recently used out first. Thread-safe: the lock
// guards the cache and the last hit only, never a read, a normalisation or a search.
class PageLocator {
  public:
    static constexpr double budget = 0.5;
    static constexpr size_t minGlobal = 12;
    static constexpr size_t minNarrow = 3;
    static constexpr double wordOverlap = 0.6;
    static constexpr double wordEnough = 0.95;
    static constexpr size_t wordsMin = 4;
    static constexpr size_t probeMax = 160;
    static constexpr size_t probeBytes = 120;
    static constexpr std::int64_t indexBytesMax = 37'748'736;  // 36 MiB
    static constexpr size_t indexDocsMax = 32;
    static constexpr std::int64_t pageCost = 64;
    static constexpr std::int64_t wordSetCost = 48;
    static constexpr std::int64_t wordCost = 32;

    PageLocator(std::shared_ptr<PageCopyStore> copies, std::shared_ptr<const MonotonicClock> clock,
                std::int64_t bytesMax = indexBytesMax);

    // Searches `selection` in the documents' copies for `user`. `matched` is the document the
    // viewer shows (when known), `near` its visible pages, `title` its window title.
    LocateResult locate(const std::string& user, const std::vector<ReadyDocument>& documents,
                        const std::string& selection, const std::optional<std::string>& matched,
                        const std::vector<int>& near, const std::optional<std::string>& title);

    // Empties the cache and forgets the last hit.
    void clear();

    // The search order of the documents: the viewer's document, then those whose name is in the
    // title, then the last hit, then the rest; newest upload first within each rank.
    static std::vector<ReadyDocument> ordered(const std::vector<ReadyDocument>& documents,
                                              const std::optional<std::string>& matched,
                                              const std::optional<std::string>& title,
                                              const std::optional<std::string>& lastHit);

    // What the cache holds: its charged bytes, its documents least recently used first.
    std::int64_t indexBytes() const;
    std::vector<std::string> cachedDocuments() const;
    std::optional<std::string> lastHit() const;

  private:
    using Pages = std::shared_ptr<const std::vector<std::string>>;
    using WordSet = std::shared_ptr<const PageText::Words>;

    struct Index {
        std::string sha;
        Pages pages;               // normalised bytes, element 0 for page 1
        PageCopyStore::Pages raw;  // the page texts as stored
        std::map<int, WordSet> words;
        std::int64_t cost = 0;
    };

    Pages index(const std::string& user, const ReadyDocument& doc);
    WordSet words(const std::string& user, const ReadyDocument& doc, int page);
    // Stores a page's word set when the document's index (of that text) is still cached.
    void keepWords(const ReadyDocument& doc, int page, const WordSet& words);
    void touchLocked(const std::string& id);
    void evictLocked();
    double now() const { return clock_->uptime(); }

    std::shared_ptr<PageCopyStore> copies_;
    std::shared_ptr<const MonotonicClock> clock_;
    mutable std::mutex mutex_;
    std::map<std::string, Index> indexes_;
    std::vector<std::string> indexOrder_;
    std::int64_t indexBytes_ = 0;
    std::int64_t bytesMax_;
    std::optional<std::string> lastHit_;
};

}  // namespace parlendo
