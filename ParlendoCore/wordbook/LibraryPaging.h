#pragma once

#include "foundation/Completion.h"
#include "foundation/Json.h"
#include "server/AuthTypes.h"
#include "server/CallFailure.h"
#include "server/ServerCalling.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace parlendo {

// The request patterns of the word book's readers and writers: paged reads, reads one after
// another, and the check of the rows a list is built from. Completions run where the server
// client delivers.
namespace LibraryPaging {

using Rows = std::vector<Json>;

// The most pages one paged read takes: a million rows.
inline constexpr size_t maxPages = 1000;
using RowLists = Result<std::vector<Rows>, CallFailure>;

// The signed-in user's id. Without one, `completion` fails with `authRequired` and none is
// returned, so the operation ends there.
template <class Done>
std::optional<std::string> signedIn(const SessionProviding& session, Done& completion) {
    auto user = session.userID();
    if (!user) {
        completion(fail(CallFailure::authRequired()));
    }
    return user;
}

// The filter on the signed-in user: "user_id=eq." and the escaped user id.
std::string owner(const std::string& userID);
// "<column>=is.null" without a value, else "<column>=eq." and the escaped value.
std::string parentFilter(const char* column, const std::optional<std::string>& value);

// Reads `target` + "&limit=1000&offset=" 0, 1000, 2000, ... until a page holds fewer than 1000
// rows, and completes with all rows in order; a failing page fails the whole read. A full page
// equal to the previous one (a server that ignores the offset) and a read still going after
// `pageLimit` pages fail with `badShape` and are logged under `table`.
void pagedRows(std::shared_ptr<ServerCalling> server, std::string target, std::string table,
               double timeout, size_t pageLimit, Completion<void(RowsResult)> completion);

// Runs `read(0)`, `read(1)`, ... `read(count - 1)` one after another and completes with their
// rows, one list per read, or with the first failure (later reads are not started).
using ReadOne = std::function<void(size_t index, Completion<void(RowsResult)>)>;
void inSequence(size_t count, ReadOne read, Completion<void(RowLists)> completion);

// The lists concatenated in order.
Rows joined(std::vector<Rows> lists);

// The rows that can be shown: each has its own id (`idKey` a string) not seen in an earlier row,
// and a `parentKey` (when given and present) that is an id or null. Others are left out and
// counted in one log line naming `table`.
Rows checked(Rows rows, const char* table, const char* idKey, const char* parentKey);

// `pagedRows` of a list whose rows are then `checked`.
void checkedPagedRows(std::shared_ptr<ServerCalling> server, std::string target, const char* table,
                      const char* idKey, const char* parentKey, double timeout, size_t pageLimit,
                      Completion<void(RowsResult)> completion);

}  // namespace LibraryPaging
}  // namespace parlendo
