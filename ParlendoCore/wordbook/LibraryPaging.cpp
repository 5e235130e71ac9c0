#include "wordbook/LibraryPaging.h"

#include "foundation/Log.h"
#include "server/PostgRESTFilter.h"
#include "wordbook/LibraryModel.h"
#include "wordbook/StepLoop.h"

#include <algorithm>
#include <unordered_set>

namespace parlendo::LibraryPaging {
namespace {

struct Paging {
    std::shared_ptr<ServerCalling> server;
    std::string target;
    std::string table;
    double timeout = 0;
    size_t pageLimit = 0;
    Rows rows;
    size_t offset = 0;
    size_t pages = 0;
    Completion<void(RowsResult)> completion;
};

void stopped(Paging& paging, const char* reason) {
    Log::write("manage", "단어장 읽기 중단 table=" + paging.table + " reason=" + reason +
                             " pages=" + std::to_string(paging.pages));
    paging.completion(fail(CallFailure::badShape()));
}

struct Sequence {
    size_t count = 0;
    size_t next = 0;
    ReadOne read;
    std::vector<Rows> lists;
    Completion<void(RowLists)> completion;
};

}  // namespace

std::string owner(const std::string& userID) {
    return "user_id=eq." + PostgRESTFilter::value(userID);
}

std::string parentFilter(const char* column, const std::optional<std::string>& value) {
    return std::string(column) + (value ? "=eq." + PostgRESTFilter::value(*value) : "=is.null");
}

void pagedRows(std::shared_ptr<ServerCalling> server, std::string target, std::string table,
               double timeout, size_t pageLimit, Completion<void(RowsResult)> completion) {
    auto paging = std::make_shared<Paging>();
    paging->server = std::move(server);
    paging->target = std::move(target);
    paging->table = std::move(table);
    paging->timeout = timeout;
    paging->pageLimit = pageLimit;
    paging->completion = std::move(completion);
    StepLoop::run([paging](Completion<void(bool)> again) {
        std::string path = paging->target + "&limit=" + std::to_string(LibraryModel::pageSize) +
                           "&offset=" + std::to_string(paging->offset);
        paging->server->rows(
            std::move(path), paging->timeout,
            [paging, again = std::move(again)](RowsResult page) mutable {
                if (!page) {
                    again(false);
                    paging->completion(fail(std::move(page.error())));
                    return;
                }
                const auto pageSize = static_cast<size_t>(LibraryModel::pageSize);
                const bool full = page->size() >= pageSize;
                if (full && paging->rows.size() >= page->size() &&
                    std::equal(page->begin(), page->end(),
                               paging->rows.end() - static_cast<std::ptrdiff_t>(page->size()))) {
                    again(false);
                    stopped(*paging, "page_repeated");
                    return;
                }
                ++paging->pages;
                paging->rows.insert(paging->rows.end(), std::make_move_iterator(page->begin()),
                                    std::make_move_iterator(page->end()));
                if (!full) {
                    again(false);
                    paging->completion(std::move(paging->rows));
                    return;
                }
                if (paging->pages >= paging->pageLimit) {
                    again(false);
                    stopped(*paging, "page_limit");
                    return;
                }
                paging->offset += pageSize;
                again(true);
            });
    });
}

void inSequence(size_t count, ReadOne read, Completion<void(RowLists)> completion) {
    auto sequence = std::make_shared<Sequence>();
    sequence->count = count;
    sequence->read = std::move(read);
    sequence->completion = std::move(completion);
    StepLoop::run([sequence](Completion<void(bool)> again) {
        if (sequence->next == sequence->count) {
            again(false);
            sequence->completion(std::move(sequence->lists));
            return;
        }
        const size_t index = sequence->next++;
        sequence->read(index, [sequence, again = std::move(again)](RowsResult rows) mutable {
            if (!rows) {
                again(false);
                sequence->completion(fail(std::move(rows.error())));
                return;
            }
            sequence->lists.push_back(std::move(*rows));
            again(true);
        });
    });
}

Rows joined(std::vector<Rows> lists) {
    if (lists.size() == 1) {
        return std::move(lists.front());
    }
    Rows out;
    for (auto& list : lists) {
        out.insert(out.end(), std::make_move_iterator(list.begin()),
                   std::make_move_iterator(list.end()));
    }
    return out;
}

Rows checked(Rows rows, const char* table, const char* idKey, const char* parentKey) {
    std::unordered_set<std::string> seen;
    seen.reserve(rows.size());
    size_t noID = 0;
    size_t duplicate = 0;
    size_t badParent = 0;
    Rows kept;
    kept.reserve(rows.size());
    for (auto& row : rows) {
        const Json* id = nullptr;
        if (row.is_object()) {
            if (auto it = row.find(idKey); it != row.end() && it->is_string()) {
                id = &*it;
            }
        }
        if (!id) {
            ++noID;
            continue;
        }
        if (parentKey) {
            if (auto it = row.find(parentKey);
                it != row.end() && !it->is_string() && !it->is_null()) {
                ++badParent;
                continue;
            }
        }
        if (!seen.insert(id->get_ref<const std::string&>()).second) {
            ++duplicate;
            continue;
        }
        kept.push_back(std::move(row));
    }
    if (noID + duplicate + badParent > 0) {
        Log::write("manage", std::string("단어장 행 건너뜀 table=") + table + " no_id=" +
                                 std::to_string(noID) + " duplicate=" + std::to_string(duplicate) +
                                 " bad_parent=" + std::to_string(badParent));
    }
    return kept;
}

void checkedPagedRows(std::shared_ptr<ServerCalling> server, std::string target, const char* table,
                      const char* idKey, const char* parentKey, double timeout, size_t pageLimit,
                      Completion<void(RowsResult)> completion) {
    pagedRows(
        std::move(server), std::move(target), table, timeout, pageLimit,
        [table, idKey, parentKey, completion = std::move(completion)](RowsResult rows) mutable {
            if (rows) {
                *rows = checked(std::move(*rows), table, idKey, parentKey);
            }
            completion(std::move(rows));
        });
}

}  // namespace parlendo::LibraryPaging
