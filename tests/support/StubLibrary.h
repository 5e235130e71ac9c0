#pragma once

#include "StubQuery.h"
#include "foundation/Json.h"
#include "server/ServerCalling.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace parlendo::testing {

// An in-memory word book behind the data API, for tests and benchmarks that run the word book's
// reader and writer against something that behaves like the backend: the tables folders,
// sources, words (with word_senses), sentences and assistants, read with the select lists,
// filters, orders and paging the word book uses (embedded "sources(...)" and "word_senses(...)"
// included); inserts and updates that answer the changed rows; a unique live title per user's
// source (23505); the review-state function; and the five functions that move, delete and
// restore folders and sources (soft deletion, cascades restored by their shared delete time).
//
// Functions act for `user()`; rows of other users may be added to test that filters hold.
// Thread-safe: the loopback stub answers from many threads.
class StubLibrary {
  public:
    struct Response {
        int status = 200;
        std::string body;
    };

    explicit StubLibrary(std::string user = "user-1");

    const std::string& user() const { return user_; }

    // The answer to a data API request (target relative to the project URL, still encoded);
    // none for a path outside the word book.
    std::optional<Response> handle(const std::string& method, const std::string& target,
                                   const std::string& body);
    // The same answer as a server call gives it: the body of a 2xx answer, else the rejection.
    DetailedCallResult call(const std::string& method, const std::string& target,
                            const std::optional<Json>& body);

    // Rows for a test; each returns the new row's id. `owner` defaults to `user()`.
    std::string addFolder(const std::string& name, std::optional<std::string> parent,
                          std::optional<std::string> owner = std::nullopt);
    std::string addSource(const std::string& title, std::optional<std::string> folder,
                          std::optional<std::string> owner = std::nullopt);
    std::string addWord(const std::string& lemma, std::optional<std::string> source,
                        const std::string& korean = "", const std::string& phonetic = "");
    std::string addSentence(const std::string& original, std::optional<std::string> source);
    void addSense(const std::string& wordID, int rank, const std::string& korean,
                  const std::string& definition);
    void setReview(const std::string& wordID, const std::string& status, int wrongCount);
    // Marks a row deleted now (without cascading).
    void markDeleted(const std::string& table, const std::string& id);

    // A library of `folders` folders (one in ten at the top, the others spread under them),
    // `sources` sources spread over the folders and `words` words spread over the sources.
    void populate(size_t folders, size_t sources, size_t words);

    std::optional<Json> row(const std::string& table, const std::string& id) const;
    size_t count(const std::string& table, bool deleted) const;

  private:
    struct Table {
        std::string name;
        std::string key;
        std::vector<Json> rows;
        std::unordered_map<std::string, size_t> byKey;
        // Column -> value -> row indices, rebuilt after writes.
        std::map<std::string, std::unordered_map<std::string, std::vector<size_t>>> indexes;
        std::uint64_t version = 0;
        std::map<std::string, std::uint64_t> indexVersions;
        // Sorted matches per query (without its limit and offset), until the next write.
        std::map<std::string, std::vector<size_t>> sorted;
        std::uint64_t sortedAt = 0;
    };

    // `shape`: the query without its limit and offset, naming its sorted matches.
    Response read(Table& table, const StubQuery& query, const std::string& shape);
    Response insert(Table& table, const StubQuery& query, const Json& body);
    Response update(Table& table, const StubQuery& query, const Json& body);
    Response function(const std::string& name, const Json& body);
    Json embedded(const StubQuery::Embed& embed, const Json& row);
    std::vector<size_t> candidates(Table& table, const StubQuery& query);
    const std::vector<size_t>& index(Table& table, const std::string& column,
                                     const std::string& value);

    std::string append(const std::string& table, Json row);
    Json* find(const std::string& table, const std::string& id);
    std::string stamp();
    std::string nextID(const char* prefix);
    bool titleTaken(const std::string& owner, const std::string& title,
                    const std::string& except) const;

    Response moveFolder(const Json& body);
    Response deleteFolder(const Json& body);
    Response deleteSource(const Json& body);
    Response restoreFolder(const Json& body);
    Response restoreSource(const Json& body);
    // Stamps (or clears, when `to` is null) the words and sentences of a source that match `from`.
    std::pair<int, int> cascade(const std::string& sourceID, const Json& from, const Json& to);
    std::vector<std::string> folderBranch(const std::string& folderID) const;

    mutable std::recursive_mutex mutex_;
    std::string user_;
    std::map<std::string, Table> tables_;
    std::map<std::string, std::pair<std::string, int>> reviews_;
    std::uint64_t clock_ = 0;
    std::uint64_t ids_ = 0;
    std::uint64_t writes_ = 0;
};

}  // namespace parlendo::testing
