#pragma once

#include "foundation/Function.h"
#include "server/ServerCalling.h"
#include "wordbook/LibraryWriter.h"

#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace parlendo {

// The steps the word-book writer builds its operations from: requests whose answers must show the
// change, and the checks of those answers. Completions run where the server client delivers.
namespace LibraryWriteSteps {

using Rows = std::vector<Json>;
using Changed = std::shared_ptr<const ServerLibraryWriter::SourcesChanged>;
using Check = std::function<bool(const Json&)>;

inline constexpr double timeout = ServerLibraryWriter::timeout;

LibraryWriteFailure refusal(LibraryWriteError error);
// Whether each member is an integer of at least 0.
bool allCounts(const Json& object, std::initializer_list<const char*> keys);
// A rejection for a unique key the row would break (SQLSTATE 23505).
bool isUniqueViolation(const LibraryWriteFailure& failure);
// Whether the row's `key` shows the requested id: the same text, or no text when none was asked.
bool shows(const Json& row, const char* key, const std::optional<std::string>& requested);
// Whether the row's `key` is present and null.
bool presentNull(const Json& row, const char* key);

// A PATCH asking for the changed rows back ("Prefer: return=representation"); the answer must
// be a JSON array of objects, else `badShape`.
void patch(const std::shared_ptr<ServerCalling>& server, std::string path, Json body,
           Completion<void(LibraryWriteResult<Rows>)> done);
// The same for a POST that inserts rows.
void insert(const std::shared_ptr<ServerCalling>& server, std::string path, Json body,
            Completion<void(LibraryWriteResult<Rows>)> done);

// A POST to /rest/v1/rpc/<function>: an answer that is not a JSON object fails as
// outcomeUnknown(function), one that fails `check` as outcomeUnknown(what); then `reason` (when
// given) is announced and the answer completes `done`.
void confirmedRpc(const std::shared_ptr<ServerCalling>& server, Changed changed,
                  const std::string& function, Json body, Check check, std::string what,
                  const char* reason, LibraryWriteDone done);

// Runs `next` when no folder is given or it is a live folder of the user; else fails `done` with
// notFound(what) or the read's failure.
void whenAliveFolder(const std::shared_ptr<ServerCalling>& server,
                     const std::optional<std::string>& folderID, const std::string& userID,
                     const char* what, LibraryWriteDone done,
                     UniqueFunction<void(LibraryWriteDone)> next);

// The completion of a PATCH whose first row must show the change: no row fails as
// notFound(notFound), a row failing `check` (when given) as outcomeUnknown(unconfirmed); else
// `next` gets the row and `done`.
Completion<void(LibraryWriteResult<Rows>)> firstRow(
    const char* notFound, std::string unconfirmed, Check check,
    UniqueFunction<void(Json row, LibraryWriteDone done)> next, LibraryWriteDone done);

}  // namespace LibraryWriteSteps
}  // namespace parlendo
