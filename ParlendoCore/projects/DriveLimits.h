#pragma once

#include <cstdint>

namespace parlendo {

// The fixed limits of projects, documents, tables of contents, AI popups and questions. Lengths
// count Unicode scalars, after trimming where the user of the limit trims.
namespace DriveLimits {

inline constexpr std::int64_t pageMax = 3000;         // pages of one document
inline constexpr std::int64_t pageChars = 20000;      // scalars of one page's text
inline constexpr std::int64_t docChars = 30000000;    // scalars of one document's text
inline constexpr std::int64_t noTextMinChars = 200;   // less trimmed text counts as none
inline constexpr std::int64_t nameMax = 40;           // project name
inline constexpr std::int64_t fileNameMax = 200;      // stored file name
inline constexpr std::int64_t docTitleMax = 300;      // document title
inline constexpr std::int64_t tocTitleMax = 120;      // table-of-contents entry title
inline constexpr std::int64_t tocLevelMax = 3;        // deepest table-of-contents level kept
inline constexpr std::int64_t tocItemsMax = 2000;     // table-of-contents entries of a document
inline constexpr std::int64_t popupNameMax = 40;      // AI popup name
inline constexpr std::int64_t popupPromptMax = 300;   // AI popup prompt
inline constexpr std::int64_t selectionMax = 2000;    // selection sent with a question
inline constexpr std::int64_t messageMax = 500;       // follow-up message
inline constexpr std::int64_t followupMax = 20;       // follow-up questions of one thread
inline constexpr std::int64_t uploadBatchMax = 20;    // files in one upload request
inline constexpr std::int64_t uploadPageBatch = 200;  // pages per batch when an upload starts
inline constexpr std::int64_t trashDays = 30;         // days a project stays in the trash
inline constexpr std::int64_t mapThreadsMax = 500;    // newest threads in a document map
inline constexpr std::int64_t unplacedMax = 200;      // newest threads without a document
inline constexpr std::int64_t mapSnippetChars = 80;   // length of a snippet

}  // namespace DriveLimits
}  // namespace parlendo
