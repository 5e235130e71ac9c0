#pragma once

#include "foundation/Executor.h"
#include "foundation/Function.h"
#include "saving/SaveWork.h"
#include "saving/SentenceSaving.h"

#include <cstddef>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace parlendo {

// The captured words and sentences that were handed to the savers and have not reached an
// outcome yet, kept on disk per account, so that a crash, a kill or a power cut loses none of
// them:
//   <state root>/save_journal/<first 32 hex digits of SHA-256(account id)>.json
//   {"owner": "<account id>", "saves": [{"kind": "word", ...}, {"kind": "sentence", ...}]}
// A save is written (atomically, flushed to disk) before it is first sent, and taken out again
// when it reaches its outcome: saved, refused or given up (and counted unsaved), or dropped
// because its account is no longer signed in. What an earlier run left behind is handed back
// once, when its account is signed in again. A file that cannot be read whole is set aside as
// "<file>.unreadable" and never trusted half-read. The folder is 0700, the files 0600.
//
// Records, settlements and hand-backs run in order on `writer`, a serial executor off the main
// thread; `forget` runs on the caller's thread. One lock guards the memory and the files; it is
// never held while calling out. Lives in a shared_ptr.
class SaveJournal : public std::enable_shared_from_this<SaveJournal> {
  public:
    static constexpr const char* folderName = "save_journal";
    // Saves kept per account; past it a save goes out unrecorded (and says so in the log).
    static constexpr size_t defaultCapacity = 200;

    using Save = std::variant<SaveWork, SentenceWork>;
    using Saves = std::vector<Save>;

    static std::shared_ptr<SaveJournal> make(std::filesystem::path stateRoot, ExecutorPtr writer,
                                             size_t capacity = defaultCapacity);

    // Writes `save` into `owner`'s journal on the writer, then runs `then` there. `then` runs
    // also when the save could not be written: it goes out all the same, and the log says so.
    void record(std::string owner, Save save, Task then);
    // Takes the save with this id out of the journal that holds it (on the writer).
    void settle(std::string id);
    // Hands `then` (on the writer) the saves of `owner`'s journal that this run has not sent, in
    // the order they were captured; from then on they count as sent.
    void takeLeftOver(std::string owner, UniqueFunction<void(Saves)> then);
    // Follows the signed-in account: when it signs out, its journal is deleted (on the writer,
    // after what was recorded before).
    void follow(const std::optional<std::string>& owner);
    // Deletes `owner`'s journal now; whether nothing of it remains on disk.
    bool forget(const std::string& owner);

    std::filesystem::path fileOf(const std::string& owner) const;
    static const std::string& idOf(const Save& save);

  private:
    struct Held {
        Save save;
        bool sent = false;
    };
    using Book = std::vector<Held>;

    SaveJournal(std::filesystem::path stateRoot, ExecutorPtr writer, size_t capacity);

    // The account's journal in memory, read from its file on first use. Under the lock.
    Book& book(const std::string& owner);
    std::optional<Book> read(const std::string& owner, const std::filesystem::path& file) const;
    // Writes the account's journal (or removes its file when it is empty). Under the lock.
    bool store(const std::string& owner, const Book& saves);
    bool remove(const std::filesystem::path& file);

    std::filesystem::path folder_;
    ExecutorPtr writer_;
    const size_t capacity_;
    std::mutex mutex_;
    std::map<std::string, Book> books_;
    std::optional<std::string> current_;
};

}  // namespace parlendo
