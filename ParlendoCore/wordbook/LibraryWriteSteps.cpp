#include "wordbook/LibraryWriteSteps.h"

#include "server/PostgRESTFilter.h"
#include "wordbook/LibraryPaging.h"

namespace parlendo::LibraryWriteSteps {

using Done = LibraryWriteDone;
using Checked = Completion<void(std::optional<LibraryWriteFailure>)>;

LibraryWriteFailure refusal(LibraryWriteError error) {
    return LibraryWriteFailure(std::move(error));
}

namespace {

bool isCount(const Json& object, const char* key) {
    auto value = json::integer(object, key);
    return value && *value >= 0;
}

}  // namespace

bool allCounts(const Json& object, std::initializer_list<const char*> keys) {
    for (const char* key : keys) {
        if (!isCount(object, key)) {
            return false;
        }
    }
    return true;
}

bool isUniqueViolation(const LibraryWriteFailure& failure) {
    const auto* call = std::get_if<CallFailure>(&failure);
    const auto* detail = call ? call->as<CallFailure::RejectedDetail>() : nullptr;
    return detail && detail->rejection.code == "23505";
}

// Whether the row's `key` shows the requested id: the same text, or no text when none was asked.
bool shows(const Json& row, const char* key, const std::optional<std::string>& requested) {
    auto value = json::string(row, key);
    return value ? requested == *value : !requested;
}

// Whether the row's `key` is present and null.
bool presentNull(const Json& row, const char* key) {
    return row.is_object() && row.contains(key) && row[key].is_null();
}

namespace {

// A write asking for the written rows back; the answer must be a JSON array of objects.
void rowsBack(const std::shared_ptr<ServerCalling>& server, const char* method, std::string path,
              Json body, Completion<void(LibraryWriteResult<Rows>)> done) {
    server->call(std::move(path), method, std::move(body),
                 HttpHeaders{{"Prefer", "return=representation"}}, timeout,
                 [done = std::move(done)](CallResult answer) mutable {
                     if (!answer) {
                         done(fail(LibraryWriteFailure(std::move(answer.error()))));
                         return;
                     }
                     auto rows = ServerCalling::parseRows(*answer);
                     if (!rows) {
                         done(fail(LibraryWriteFailure(std::move(rows.error()))));
                         return;
                     }
                     done(std::move(*rows));
                 });
}

}  // namespace

void patch(const std::shared_ptr<ServerCalling>& server, std::string path, Json body,
           Completion<void(LibraryWriteResult<Rows>)> done) {
    rowsBack(server, "PATCH", std::move(path), std::move(body), std::move(done));
}

void insert(const std::shared_ptr<ServerCalling>& server, std::string path, Json body,
            Completion<void(LibraryWriteResult<Rows>)> done) {
    rowsBack(server, "POST", std::move(path), std::move(body), std::move(done));
}

// A server function whose answer must be a JSON object passing `check`; then the change is
// announced with `reason` (when given).
void confirmedRpc(const std::shared_ptr<ServerCalling>& server, Changed changed,
                  const std::string& function, Json body, std::function<bool(const Json&)> check,
                  std::string what, const char* reason, Done done) {
    server->call("/rest/v1/rpc/" + function, "POST", std::move(body), timeout,
                 [function, check = std::move(check), what = std::move(what), reason,
                  changed = std::move(changed), done = std::move(done)](CallResult answer) mutable {
                     if (!answer) {
                         done(fail(LibraryWriteFailure(std::move(answer.error()))));
                         return;
                     }
                     auto parsed = json::parse(*answer);
                     if (!parsed || !parsed->is_object()) {
                         done(fail(refusal(LibraryWriteError::outcomeUnknown(function))));
                         return;
                     }
                     if (!check(*parsed)) {
                         done(fail(refusal(LibraryWriteError::outcomeUnknown(what))));
                         return;
                     }
                     if (reason) {
                         (*changed)(reason);
                     }
                     done(std::move(*parsed));
                 });
}

namespace {

void requireAliveFolder(const std::shared_ptr<ServerCalling>& server, const std::string& folderID,
                        const std::string& userID, const char* what, Checked done) {
    server->rows("/rest/v1/folders?select=folder_id&" + LibraryPaging::owner(userID) +
                     "&folder_id=eq." + PostgRESTFilter::value(folderID) +
                     "&deleted_at=is.null&limit=1",
                 timeout, [what, done = std::move(done)](RowsResult rows) mutable {
                     if (!rows) {
                         done(LibraryWriteFailure(std::move(rows.error())));
                     } else if (rows->empty()) {
                         done(refusal(LibraryWriteError::notFound(what)));
                     } else {
                         done(std::nullopt);
                     }
                 });
}

}  // namespace

// Runs `next` when no folder is given or it is a live folder of the user; else fails `done`.
void whenAliveFolder(const std::shared_ptr<ServerCalling>& server,
                     const std::optional<std::string>& folderID, const std::string& userID,
                     const char* what, Done done, UniqueFunction<void(Done)> next) {
    if (!folderID) {
        next(std::move(done));
        return;
    }
    requireAliveFolder(server, *folderID, userID, what,
                       [done = std::move(done), next = std::move(next)](
                           std::optional<LibraryWriteFailure> failure) mutable {
                           if (failure) {
                               done(fail(std::move(*failure)));
                               return;
                           }
                           next(std::move(done));
                       });
}

// The first row of a PATCH answer that must show the change; `check` (when given) confirms it.
Completion<void(LibraryWriteResult<Rows>)> firstRow(const char* notFound, std::string unconfirmed,
                                                    std::function<bool(const Json&)> check,
                                                    UniqueFunction<void(Json row, Done done)> next,
                                                    Done done) {
    return [notFound, unconfirmed = std::move(unconfirmed), check = std::move(check),
            next = std::move(next), done = std::move(done)](LibraryWriteResult<Rows> rows) mutable {
        if (!rows) {
            done(fail(std::move(rows.error())));
            return;
        }
        if (rows->empty()) {
            done(fail(refusal(LibraryWriteError::notFound(notFound))));
            return;
        }
        Json row = std::move(rows->front());
        if (check && !check(row)) {
            done(fail(refusal(LibraryWriteError::outcomeUnknown(unconfirmed))));
            return;
        }
        next(std::move(row), std::move(done));
    };
}

}  // namespace parlendo::LibraryWriteSteps
