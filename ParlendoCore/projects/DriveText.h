#pragma once

#include "foundation/Json.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace parlendo {

// Pure text functions of projects and documents. Lengths are Unicode scalars. Values that come
// from the manage page or from server rows are taken as JSON (nullptr: no value).
namespace DriveText {

// Separates pages when a document's text is hashed.
inline constexpr std::string_view pageSeparator = "\f";

// The text without U+0000 scalars (the text itself when it holds none).
std::string clean(std::string text);

// The document's text fingerprint: lower-case hex SHA-256 of the pages joined with form feeds.
std::string sha(const std::vector<std::string>& pages);

// Whether the pages hold at least noTextMinChars scalars once each page is trimmed.
bool hasText(const std::vector<std::string>& pages);

// A string value trimmed, when it then has 1 to `max` scalars; nullopt otherwise.
std::optional<std::string> bounded(const Json* value, size_t max);

// A string value on one line: whitespace runs become one space, at most mapSnippetChars scalars;
// "" for anything that is not a string.
std::string snippet(const Json* value);

// An absolute local path ("/" but not "//") whose lower-cased form ends in ".pdf".
bool isLocalPDFPath(std::string_view path);
bool isLocalPDFPath(const Json* value);

// The stored name of an uploaded file: the path's last component, composed (NFC), without U+0000,
// at most fileNameMax scalars; "document.pdf" when that is empty.
std::string fileName(std::string_view path);

// The last component of a path: trailing slashes are ignored; "/" for a path of slashes only.
std::string lastPathComponent(std::string_view path);

}  // namespace DriveText
}  // namespace parlendo
