#pragma once

#include "foundation/Executor.h"
#include "foundation/Function.h"
#include "saving/JournalEntry.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace parlendo {

// The captured words and sentences accepted for saving that the server has not confirmed yet,
// kept on disk per account, so that a crash, a kill, a power cut or an outage loses none of them:
//   <state root>/save_journal/<first 32 hex digits of SHA-256(account id)>.json
//   {"owner": "<account id>", "saves": [{"kind": "word", ...}, {"kind": "sentence", ...}]}
// A capture is written (atomically, flushed to disk) when it is accepted for saving, before its
// source is looked for. It leaves the journal when the server saved or refused it, when the user
// signs its account out (after the sign-out's drain) and when the account is deleted. A save
// given up after its retries stays and is sent again at the next start; one dropped because its
// login was lost stays and is handed back at its account's next session. What an earlier run left
// is handed back once per run. A file that cannot be read whole is set aside as
// "<file>.unreadable" and never trusted half-read. The folder is 0700, the files 0600.
//
// One process at a time keeps the journals of a data folder: the first to take the folder's lock
// file. Another process that shares the folder (another session, a home on a network file
// system) sends its saves unrecorded and hands nothing back, and says so in the log. So does a
// process that cannot lock the folder at all (a file system without locks): without the lock
// nothing would keep two processes from erasing each other's entries.
//
// Everything but `forget` runs in order on `writer`, a serial executor off the main thread, and
// the journals in memory are the writer's alone. `forget` runs on the caller's thread and only
// removes files; a lock guards the renames and removals in the folder and is never held while a
// file is written or flushed. Lives in a shared_ptr.
class SaveJournal : public std::enable_shared_from_this<SaveJournal> {
  public:
    static constexpr const char* folderName = "save_journal";
    static constexpr const char* lockName = "journal.lock";
    // Saves kept per account; past it a save goes out unrecorded (and says so in the log).
    static constexpr size_t defaultCapacity = 200;

    using Entries = std::vector<JournalEntry>;
    // What an account's journal holds when a session of that account begins.
    struct LeftOver {
        // Left by an earlier run, or dropped in this one when the login was lost: to send again.
        Entries send;
        // Given up in this run after their retries: unsaved, and sent again at the next start.
        Entries kept;
    };

    // Takes the exclusive lock of the open lock file without waiting: 0, or why not (an errno
    // value; EWOULDBLOCK while another process holds it).
    using LockFile = int (*)(int fd);
    static int lockFile(int fd);

    static std::shared_ptr<SaveJournal> make(std::filesystem::path stateRoot, ExecutorPtr writer,
                                             size_t capacity = defaultCapacity,
                                             LockFile lock = &lockFile);
    ~SaveJournal();

    // Writes `entry` into `owner`'s journal on the writer, then runs `then` there. `then` runs
    // also when the entry could not be written: the save goes on all the same, and the log says
    // so.
    void record(std::string owner, JournalEntry entry, Task then);
    // The three outcomes below act on the save `id` in `owner`'s journal only, never on another
    // account's.
    // The save reached its outcome for good (saved or refused): it leaves the journal.
    void settle(std::string owner, std::string id);
    // The save was given up after its retries: it stays, and is not handed back in this run.
    void keep(std::string owner, std::string id);
    // The save was dropped because its login was lost or its account is no longer signed in: it
    // is handed back when that account's login is back.
    void putBack(std::string owner, std::string id);
    // Hands `then` (on the writer) what `owner`'s journal holds that is not on its way now, in
    // the order it was captured; what is to be sent counts as on its way from then on.
    void takeLeftOver(std::string owner, UniqueFunction<void(LeftOver)> then);
    // The user signed `owner` out and the sign-out's drain is over: its journal is deleted on the
    // writer, after what was recorded before.
    void signedOut(std::string owner);
    // Deletes `owner`'s journal now, with the temporary and set-aside files a killed write left;
    // whether nothing of it remains on disk. Never waits for a write in progress.
    bool forget(const std::string& owner);
    // Runs `then` on the writer once everything asked before has reached the disk.
    void whenWritten(Task then);

    std::filesystem::path fileOf(const std::string& owner) const;

  private:
    enum class Stage { waiting, sending, kept };
    struct Held {
        JournalEntry entry;
        Stage stage = Stage::waiting;
    };
    // One account's journal in memory, with the count of forgets it was read after.
    struct Book {
        std::vector<Held> saves;
        std::uint64_t epoch = 0;
    };

    SaveJournal(std::filesystem::path stateRoot, ExecutorPtr writer, size_t capacity,
                LockFile lock);

    // Writer only. Whether this process keeps the folder's journals, taking its lock when it can.
    bool owned();
    // Says what this process does `instead` when another one keeps the journals.
    void sayHeldElsewhere(const std::string& instead) const;
    Book& book(const std::string& owner);
    std::optional<std::vector<Held>> read(const std::string& owner,
                                          const std::filesystem::path& file) const;
    // Writes the account's journal (or removes its file when it is empty).
    bool store(const std::string& owner, const Book& book);
    // Runs `change` on the save with this id in the owner's journal, as read since its last
    // forget; whether one was found.
    template <class Change>
    bool change(const std::string& owner, const std::string& id, Change change);

    std::uint64_t epochOf(const std::string& owner);
    // Removes the account's files; under `filesMutex_`. Why one stayed, if one did.
    std::error_code removeFiles(const std::string& owner);
    // Makes every journal of `owner` read so far stale and removes its files; whether they went.
    bool erase(const std::string& owner);
    // Flushes the removals in the folder to disk.
    void syncFolder();

    std::filesystem::path folder_;
    ExecutorPtr writer_;
    const size_t capacity_;
    const LockFile lock_;
    // The writer's.
    std::map<std::string, Book> books_;
    int lockFd_ = -1;
    // Another process held the lock when it was last tried.
    bool heldElsewhere_ = false;
    bool unlockableLogged_ = false;
    // Guards the count of forgets per account, and the renames and removals of journal files.
    std::mutex filesMutex_;
    std::map<std::string, std::uint64_t> epochs_;
};

}  // namespace parlendo
