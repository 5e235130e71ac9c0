#pragma once

#include "foundation/Completion.h"
#include "foundation/Executor.h"
#include "foundation/Json.h"
#include "foundation/Result.h"
#include "server/AuthTypes.h"
#include "server/CallFailure.h"
#include "server/ServerCalling.h"
#include "wordbook/LibraryPaging.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace parlendo {

using LibraryReadResult = Result<Json, CallFailure>;

// The read side of the word book: what the manage page lists. Every operation completes exactly
// once, where the server client delivers (the main executor in the app), with the page's value or
// the failure of the first request that failed. May be called from any thread.
class LibraryReader {
  public:
    virtual ~LibraryReader() = default;

    // The live folders, as rows {folder_id, name, parent_id, position}.
    virtual void listFolders(Completion<void(RowsResult)> completion) = 0;
    // LibraryModel::tree of the live folders and sources.
    virtual void loadTree(Completion<void(LibraryReadResult)> completion) = 0;
    // LibraryModel::wordPage of one source's newest words.
    virtual void listWords(std::string sourceID,
                           Completion<void(LibraryReadResult)> completion) = 0;
    // LibraryModel::mergeWords of the words in a folder and the folders below it (no folder: the
    // whole word book), at most `cap`.
    virtual void wordsUnderFolder(std::optional<std::string> folderID, int cap,
                                  Completion<void(LibraryReadResult)> completion) = 0;
    // LibraryModel::searchPage of the folders, sources and words matching the text.
    virtual void search(std::string query, Completion<void(LibraryReadResult)> completion) = 0;
    // LibraryModel::reviewStates of the words.
    virtual void reviewStates(std::vector<std::string> wordIDs,
                              Completion<void(LibraryReadResult)> completion) = 0;
    // LibraryModel::wordDetails of the words.
    virtual void wordDetails(std::vector<std::string> wordIDs,
                             Completion<void(LibraryReadResult)> completion) = 0;
    // LibraryModel::trash of what lies in the trash.
    virtual void listTrash(Completion<void(LibraryReadResult)> completion) = 0;
    // The user's popup settings as the page's popup objects (LibraryModel::assistants).
    virtual void assistants(Completion<void(RowsResult)> completion) = 0;
};

// The word book read over the backend's REST tables for the signed-in user. Paged reads take pages
// of 1000 rows, id filters chunks of 200 ids (1000 for review states); requests of one operation
// go one after another, each with an 8-second time-out. Keeps no state, no cache, no lock; an
// operation outlives the reader safely.
//
// Rows without an id of their own, rows repeating an id already read, and rows whose parent field
// holds something other than an id or null are left out of folder, source, word and sentence
// lists and logged, so that no row is shown twice or under the wrong parent. A paged read stops
// with `badShape` when the server sends the same full page twice (it ignored the offset) or after
// the page limit (`maxPages` unless told otherwise).
class ServerLibraryReader final : public LibraryReader {
  public:
    static constexpr double timeout = 8.0;
    static constexpr size_t idChunk = 200;
    static constexpr size_t reviewChunk = 1000;
    static constexpr size_t maxPages = LibraryPaging::maxPages;
    // The cap of "words_under_folder".
    static constexpr int folderStudyCap = 500;

    // `pageLimit`: the most pages one paged read takes. With `work` and `main`, the tree of a large
    // library is put together on `work` and answered on `main`; without them, where the rows
    // arrive.
    ServerLibraryReader(std::shared_ptr<ServerCalling> server,
                        std::shared_ptr<SessionProviding> session, size_t pageLimit = maxPages,
                        ExecutorPtr work = nullptr, ExecutorPtr main = nullptr);

    void listFolders(Completion<void(RowsResult)> completion) override;
    void loadTree(Completion<void(LibraryReadResult)> completion) override;
    void listWords(std::string sourceID, Completion<void(LibraryReadResult)> completion) override;
    void wordsUnderFolder(std::optional<std::string> folderID, int cap,
                          Completion<void(LibraryReadResult)> completion) override;
    void search(std::string query, Completion<void(LibraryReadResult)> completion) override;
    void reviewStates(std::vector<std::string> wordIDs,
                      Completion<void(LibraryReadResult)> completion) override;
    void wordDetails(std::vector<std::string> wordIDs,
                     Completion<void(LibraryReadResult)> completion) override;
    void listTrash(Completion<void(LibraryReadResult)> completion) override;
    void assistants(Completion<void(RowsResult)> completion) override;

    // "in.(" + the ids, each escaped as a filter value, joined by "," + ")".
    static std::string inList(const std::vector<std::string>& ids);
    // Consecutive slices of `size` ids, the last one shorter; none for no ids.
    static std::vector<std::vector<std::string>> chunks(const std::vector<std::string>& ids,
                                                        size_t size);

  private:
    std::shared_ptr<ServerCalling> server_;
    std::shared_ptr<SessionProviding> session_;
    size_t pageLimit_;
    ExecutorPtr work_;
    ExecutorPtr main_;
};

}  // namespace parlendo
