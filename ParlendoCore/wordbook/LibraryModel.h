#pragma once

#include "foundation/Json.h"

#include <vector>

namespace parlendo {

// The word book's pure model: the schema tables of popup cards that the manage page shows and
// that popup settings are checked against, and the page's view of popup setting rows.
// Everything here is stateless; the tables are built once and shared read-only.
namespace LibraryModel {

// The popup content types, each {"id", "label", "input"}, in the order the page offers them.
const Json& contentTypes();

// The popup option schema, each {"id", "label", "default", "min", "max", "choices"} with null
// where unused. Duration's numbers are floating point (seconds), opacity's integers (percent).
const Json& options();

// `assistants` rows to the page's popup objects, one per row in the same order, each with
// exactly "id", "name", "enabled", "save", "contents", "options" and "position".
Json assistants(const std::vector<Json>& rows);

}  // namespace LibraryModel
}  // namespace parlendo
