#pragma once

#include "foundation/Clock.h"
#include "foundation/Completion.h"
#include "foundation/Json.h"
#include "foundation/Result.h"
#include "manage/ManageContract.h"
#include "server/AuthTypes.h"
#include "server/CallFailure.h"
#include "server/ServerCalling.h"
#include "wordbook/LibraryWriteError.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace parlendo {

// Why a word-book write failed: its server call failed, or the writer refused or could not
// confirm it.
using LibraryWriteFailure = std::variant<CallFailure, LibraryWriteError>;
template <class T>
using LibraryWriteResult = Result<T, LibraryWriteFailure>;
using LibraryWriteDone = Completion<void(LibraryWriteResult<Json>)>;

// A write failure as the manage page's write replies take it.
ManageContract::WriteError toWriteError(const LibraryWriteFailure& failure);
// A writer completion that hands its outcome to a write reply (ManageContract::writing).
LibraryWriteDone toWriteReply(Completion<void(Result<Json, ManageContract::WriteError>)> reply);

// The write side of the word book: every change the manage page makes to the signed-in user's
// folders, sources, words and sentences. Deleting is soft (a `deleted_at` time) and restoring
// clears it. Each operation completes exactly once, where the server client delivers, with the
// value the page receives, only after the server's answer showed the change.
// May be called from any thread.
class LibraryWriter {
  public:
    virtual ~LibraryWriter() = default;

    // The inserted folder row, last among its live siblings.
    virtual void createFolder(std::string name, std::optional<std::string> parentID,
                              LibraryWriteDone completion) = 0;
    // The folder row after the change.
    virtual void renameFolder(std::string id, std::string name, LibraryWriteDone completion) = 0;
    // {"status": "ok", "source": row} or {"status": "name_taken", "title": the refused title}.
    virtual void renameSource(std::string id, std::string title, LibraryWriteDone completion) = 0;
    // The server function's answer; no parent moves the folder to the top level.
    virtual void moveFolder(std::string id, std::optional<std::string> parentID,
                            LibraryWriteDone completion) = 0;
    // The moved source row; no folder takes it out of every folder.
    virtual void moveSource(std::string id, std::optional<std::string> folderID,
                            LibraryWriteDone completion) = 0;
    // {"reordered": n}: the parent's live children, in the given (complete) order.
    virtual void reorderFolders(std::optional<std::string> parentID,
                                std::vector<std::string> orderedIDs,
                                LibraryWriteDone completion) = 0;
    // The server function's answer, with what it deleted.
    virtual void deleteFolder(std::string id, LibraryWriteDone completion) = 0;
    virtual void deleteSource(std::string id, LibraryWriteDone completion) = 0;
    // The delete time written.
    virtual void deleteWord(std::string id,
                            Completion<void(LibraryWriteResult<std::string>)> completion) = 0;
    // The server function's answer, with what it restored.
    virtual void restoreFolder(std::string id, LibraryWriteDone completion) = 0;
    virtual void restoreSource(std::string id, LibraryWriteDone completion) = 0;
    // The restored row, with "source_requires_restore" (true, false or null when unknown) when
    // the row names a source.
    virtual void restoreWord(std::string id, LibraryWriteDone completion) = 0;
    virtual void restoreSentence(std::string id, LibraryWriteDone completion) = 0;
};

// The word book written over the backend's REST tables and its five server functions, for the
// signed-in user. Every request has a 15-second time-out; nothing is retried, cached or queued.
// After a confirmed change of what a source is or where it lives, `sourcesChanged` is called with
// the operation's name ("rename_source", "move_folder", "delete_folder", "delete_source",
// "restore_folder", "restore_source", "restore_word", "restore_sentence"), on the thread that
// completes the operation, before its completion.
class ServerLibraryWriter final : public LibraryWriter {
  public:
    using SourcesChanged = std::function<void(const std::string& reason)>;
    static constexpr double timeout = 15.0;

    // `clock` gives the time written by `deleteWord` (the system clock by default).
    ServerLibraryWriter(std::shared_ptr<ServerCalling> server,
                        std::shared_ptr<SessionProviding> session,
                        SourcesChanged sourcesChanged = announceChange(),
                        std::shared_ptr<const WallClock> clock = nullptr);

    // Posts ManageSignals::sourcesChanged with the reason on the default notification centre.
    static SourcesChanged announceChange();

    void createFolder(std::string name, std::optional<std::string> parentID,
                      LibraryWriteDone completion) override;
    void renameFolder(std::string id, std::string name, LibraryWriteDone completion) override;
    void renameSource(std::string id, std::string title, LibraryWriteDone completion) override;
    void moveFolder(std::string id, std::optional<std::string> parentID,
                    LibraryWriteDone completion) override;
    void moveSource(std::string id, std::optional<std::string> folderID,
                    LibraryWriteDone completion) override;
    void reorderFolders(std::optional<std::string> parentID, std::vector<std::string> orderedIDs,
                        LibraryWriteDone completion) override;
    void deleteFolder(std::string id, LibraryWriteDone completion) override;
    void deleteSource(std::string id, LibraryWriteDone completion) override;
    void deleteWord(std::string id,
                    Completion<void(LibraryWriteResult<std::string>)> completion) override;
    void restoreFolder(std::string id, LibraryWriteDone completion) override;
    void restoreSource(std::string id, LibraryWriteDone completion) override;
    void restoreWord(std::string id, LibraryWriteDone completion) override;
    void restoreSentence(std::string id, LibraryWriteDone completion) override;

  private:
    // Operations hold these, not the writer, so a write may outlive it.
    std::shared_ptr<ServerCalling> server_;
    std::shared_ptr<SessionProviding> session_;
    std::shared_ptr<const SourcesChanged> sourcesChanged_;
    std::shared_ptr<const WallClock> clock_;
};

}  // namespace parlendo
