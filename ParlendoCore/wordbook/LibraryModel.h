#pragma once

#include "foundation/Json.h"

#include <map>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

namespace parlendo {

// The word book's pure model: turns rows read from the backend into the values the manage page
// receives, holds the word book's caps and the search pattern rule, and the schema tables of popup
// cards that the manage page shows and that popup settings are checked against.
//
// Rows are JSON objects as the server sent them; they are never changed, every function builds new
// values. Identifiers are compared as strings: an id that is not a string counts as absent.
// Everything here is stateless and never fails; the tables are built once and shared read-only.
namespace LibraryModel {

// Most words one word list may hold.
inline constexpr int wordPageCap = 1000;
// The review status of a word that has no review row.
inline constexpr const char* statusNew = "new";
// The page size of paged reads, and so the most rows one chunk of words is asked for.
inline constexpr int pageSize = 1000;

// The result limit of one search per kind: {"folder": 25, "source": 25, "word": 50}.
const std::map<std::string, int>& searchLimits();

// {"folders": the folders as given, "sources": newest `last_seen_at` first, ties in given order}.
Json tree(std::vector<Json> folders, std::vector<Json> sources);

// {"words", "capped", "has_more", "total"} of one source's words; none when a row is not a
// non-empty object with a non-null `word_id`.
std::optional<Json> wordPage(const std::vector<Json>& rows, int cap);

// The folder and every folder below it, breadth-first, the folder first (even when no row names
// it); without a folder, every folder id in row order. Parent cycles and duplicate rows end the
// walk instead of looping.
std::vector<std::string> descendantFolderIDs(const std::optional<std::string>& of,
                                             const std::vector<Json>& folders);

// How many words to ask one chunk for: one more than the cap, never more than a page.
int wordChunkLimit(int cap);

// {"words": the newest `cap` words of all chunks, "capped": whether more may exist}.
Json mergeWords(const std::vector<std::vector<Json>>& chunks, int cap);

// Word id to {"status", "wrong_count"} for every requested id, "new" and 0 without a row.
Json reviewStates(const std::vector<std::string>& requested, const std::vector<Json>& rows);

// Word id to {content type id: text} of the rows' senses (sorted by rank) and texts.
Json wordDetails(const std::vector<Json>& rows);

// The `ilike` contains-pattern of user search text ("*text*"), with the characters that would act
// as wildcards or filter syntax turned into spaces; none when nothing is left to search for.
std::optional<std::string> searchPattern(const std::string& query);

// One result object per folder, then per source, then per word row. The rows are taken over and
// turned into their results (a search may list a whole word book); move them in.
std::vector<Json> searchResults(std::vector<Json> folders, std::vector<Json> sources,
                                std::vector<Json> words);

// {"rows", "capped", "total", "limits"}; none when an object's kind is not a search kind.
std::optional<Json> searchPage(std::vector<Json> rows);

// The deleted rows that head a deleted branch: those whose parent is alive or absent.
Json trash(const std::vector<Json>& folders, const std::vector<Json>& sources,
           const std::vector<Json>& words, const std::vector<Json>& sentences,
           const std::unordered_set<std::string>& aliveFolderIDs,
           const std::unordered_set<std::string>& aliveSourceIDs);

// The popup content types, each {"id", "label", "input"}, in the order the page offers them.
const Json& contentTypes();

// The popup option schema, each {"id", "label", "default", "min", "max", "choices"} with null
// where unused. Duration's numbers are floating point (seconds), opacity's integers (percent).
const Json& options();

// `assistants` rows to the page's popup objects, one per row in the same order, each with
// exactly "id", "name", "enabled", "save", "contents", "options" and "position".
Json assistants(const std::vector<Json>& rows);

// The member as a string id; none when it is missing or not a string.
std::optional<std::string> id(const Json& row, const char* key);

}  // namespace LibraryModel
}  // namespace parlendo
