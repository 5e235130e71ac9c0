#include "saving/SaveJournal.h"

#include "foundation/FileIO.h"
#include "foundation/Json.h"
#include "foundation/Log.h"
#include "foundation/SHA256.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <utility>

namespace parlendo {
namespace fs = std::filesystem;

namespace {

constexpr size_t fileNameDigits = 32;

std::string shortOf(const std::string& id) {
    return id.substr(0, 8);
}

void logRemovalFailure(const std::error_code& ec) {
    Log::write("save", "저장 대기 기록 지우기 실패 " + Log::describe(ec));
}

}  // namespace

int SaveJournal::lockFile(int fd) {
    return ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 0 : errno;
}

std::shared_ptr<SaveJournal> SaveJournal::make(fs::path stateRoot, ExecutorPtr writer,
                                               size_t capacity, LockFile lock) {
    return std::shared_ptr<SaveJournal>(
        new SaveJournal(std::move(stateRoot), std::move(writer), capacity, lock));
}

SaveJournal::SaveJournal(fs::path stateRoot, ExecutorPtr writer, size_t capacity, LockFile lock)
    : folder_(std::move(stateRoot) / folderName),
      writer_(std::move(writer)),
      capacity_(capacity),
      lock_(lock) {}

SaveJournal::~SaveJournal() {
    if (lockFd_ >= 0) {
        ::close(lockFd_);
    }
}

fs::path SaveJournal::fileOf(const std::string& owner) const {
    return folder_ / (SHA256::hex(owner).substr(0, fileNameDigits) + ".json");
}

void SaveJournal::record(std::string owner, JournalEntry entry, Task then) {
    writer_->post([self = shared_from_this(), owner = std::move(owner), entry = std::move(entry),
                   then = std::move(then)]() mutable {
        const std::string id = entry.id();
        if (!self->owned()) {
            self->sayHeldElsewhere("기록 없이 보냄 work=" + shortOf(id));
        } else if (Book& book = self->book(owner); book.saves.size() >= self->capacity_) {
            Log::write("save", "저장 대기 기록 가득 참 — 기록 없이 보냄 work=" + shortOf(id));
        } else {
            book.saves.push_back(Held{std::move(entry), Stage::sending});
            if (!self->store(owner, book)) {
                Log::write("save", "🔴 저장 대기 기록 못 함 — 기록 없이 보냄 work=" + shortOf(id));
            }
        }
        then();
    });
}

template <class Change>
bool SaveJournal::change(const std::string& owner, const std::string& id, Change change) {
    auto found = books_.find(owner);
    if (found == books_.end() || found->second.epoch != epochOf(owner)) {
        return false;  // never read in this run, or forgotten since
    }
    Book& book = found->second;
    auto it = std::find_if(book.saves.begin(), book.saves.end(),
                           [&](const Held& held) { return held.entry.id() == id; });
    if (it == book.saves.end()) {
        return false;
    }
    change(book, it);
    return true;
}

void SaveJournal::settle(std::string owner, std::string id) {
    writer_->post([self = shared_from_this(), owner = std::move(owner), id = std::move(id)] {
        self->change(owner, id, [&](Book& book, auto it) {
            book.saves.erase(it);
            self->store(owner, book);
        });
    });
}

void SaveJournal::keep(std::string owner, std::string id) {
    writer_->post([self = shared_from_this(), owner = std::move(owner), id = std::move(id)] {
        self->change(owner, id, [&](Book&, auto it) {
            it->stage = Stage::kept;
            Log::write("save", "저장 대기 기록에 남김 — 다음 시작에 보냄 work=" + shortOf(id));
        });
    });
}

void SaveJournal::putBack(std::string owner, std::string id) {
    writer_->post([self = shared_from_this(), owner = std::move(owner), id = std::move(id)] {
        self->change(owner, id, [](Book&, auto it) { it->stage = Stage::waiting; });
    });
}

void SaveJournal::takeLeftOver(std::string owner, UniqueFunction<void(LeftOver)> then) {
    writer_->post(
        [self = shared_from_this(), owner = std::move(owner), then = std::move(then)]() mutable {
            LeftOver left;
            if (!self->owned()) {
                self->sayHeldElsewhere("남은 저장은 그쪽이 보냄");
                then(std::move(left));
                return;
            }
            for (auto& held : self->book(owner).saves) {
                switch (held.stage) {
                    case Stage::waiting:
                        held.stage = Stage::sending;
                        left.send.push_back(held.entry);
                        break;
                    case Stage::kept:
                        left.kept.push_back(held.entry);
                        break;
                    case Stage::sending:
                        break;
                }
            }
            then(std::move(left));
        });
}

void SaveJournal::signedOut(std::string owner) {
    writer_->post([self = shared_from_this(), owner = std::move(owner)] {
        if (!self->owned()) {
            return;  // the journals are not this run's to clear
        }
        self->books_.erase(owner);
        const bool gone = self->erase(owner);
        self->syncFolder();
        if (gone) {
            Log::write("save", "로그아웃 — 저장 대기 기록 지움");
        }
    });
}

bool SaveJournal::forget(const std::string& owner) {
    const bool gone = erase(owner);
    // The removals reach the disk on the writer; the caller never waits for a flush.
    writer_->post([self = shared_from_this()] { self->syncFolder(); });
    return gone;
}

void SaveJournal::whenWritten(Task then) {
    writer_->post(std::move(then));
}

bool SaveJournal::erase(const std::string& owner) {
    std::error_code failure;
    {
        std::lock_guard lock(filesMutex_);
        ++epochs_[owner];
        failure = removeFiles(owner);
    }
    if (failure) {
        logRemovalFailure(failure);
    }
    return !failure;
}

std::error_code SaveJournal::removeFiles(const std::string& owner) {
    const fs::path file = fileOf(owner);
    // A write killed half-way leaves its temporary file, an unreadable one was set aside: both
    // are named after the journal.
    const std::string prefix = file.filename().string() + ".";
    std::vector<fs::path> files{file};
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder_, ec)) {
        if (entry.path().filename().string().rfind(prefix, 0) == 0) {
            files.push_back(entry.path());
        }
    }
    std::error_code failure;
    for (const auto& path : files) {
        fs::remove(path, ec);
        if (ec && !failure) {
            failure = ec;
        }
    }
    return failure;
}

void SaveJournal::syncFolder() {
    std::error_code ec;
    if (!fs::is_directory(folder_, ec)) {
        return;
    }
    if (ec = fileio::syncFolder(folder_); ec) {
        logRemovalFailure(ec);
    }
}

std::uint64_t SaveJournal::epochOf(const std::string& owner) {
    std::lock_guard lock(filesMutex_);
    auto it = epochs_.find(owner);
    return it == epochs_.end() ? 0 : it->second;
}

bool SaveJournal::owned() {
    if (lockFd_ >= 0) {
        return true;
    }
    // A folder that cannot be made cannot be written either: each write says why, and the save
    // goes on without it.
    if (fileio::makePrivateFolder(folder_, folder_)) {
        return true;
    }
    const fs::path file = folder_ / lockName;
    const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, fileio::privateFileMode);
    const int error = fd < 0 ? errno : lock_(fd);
    if (error == 0) {
        // Held until the journal goes, with the process.
        lockFd_ = fd;
        if (heldElsewhere_ || unlockableLogged_) {
            Log::write("save", "저장 대기 기록을 이제 이 실행이 씀");
        }
        heldElsewhere_ = false;
        return true;
    }
    if (fd >= 0) {
        ::close(fd);
    }
    if (error == EWOULDBLOCK) {
        if (!std::exchange(heldElsewhere_, true)) {
            Log::write("save",
                       "🔴 저장 대기 기록을 다른 실행이 잡고 있음 — 이 실행은 기록하지 않음");
        }
        return false;
    }
    // A file system without locks: another process could be writing the same files unseen.
    if (!std::exchange(unlockableLogged_, true)) {
        Log::write("save", "🔴 저장 대기 기록을 잠글 수 없음 " +
                               Log::describe(std::error_code(error, std::generic_category())) +
                               " — 이 실행은 기록 없이 보냄");
    }
    return false;
}

void SaveJournal::sayHeldElsewhere(const std::string& instead) const {
    if (heldElsewhere_) {
        Log::write("save", "저장 대기 기록은 다른 실행이 쓰는 중 — " + instead);
    }
}

SaveJournal::Book& SaveJournal::book(const std::string& owner) {
    const std::uint64_t epoch = epochOf(owner);
    auto it = books_.find(owner);
    if (it != books_.end() && it->second.epoch == epoch) {
        return it->second;
    }
    Book loaded;
    loaded.epoch = epoch;
    const fs::path file = fileOf(owner);
    std::error_code ec;
    if (fs::exists(fs::symlink_status(file, ec))) {
        if (auto saves = read(owner, file)) {
            loaded.saves = std::move(*saves);
        } else {
            std::optional<Result<fs::path, std::error_code>> aside;
            {
                std::lock_guard lock(filesMutex_);
                if (epochs_[owner] == epoch) {
                    aside = fileio::setAside(file);
                }
            }
            if (aside && *aside) {
                Log::write("save", "🔴 저장 대기 기록을 읽을 수 없어 옮겨 둠 to=" +
                                       (*aside)->filename().string());
            } else if (aside) {
                Log::write("save", "🔴 저장 대기 기록을 읽을 수 없고 옮기지도 못함 " +
                                       Log::describe(aside->error()));
            }
        }
    }
    return books_[owner] = std::move(loaded);
}

std::optional<std::vector<SaveJournal::Held>> SaveJournal::read(const std::string& owner,
                                                                const fs::path& file) const {
    const auto bytes = fileio::readFile(file);
    const auto root = bytes ? json::parse(*bytes) : std::nullopt;
    const Json* entries = root ? json::array(*root, "saves") : nullptr;
    if (!entries || json::string(*root, "owner") != owner) {
        return std::nullopt;
    }
    std::vector<Held> saves;
    for (const auto& item : *entries) {
        auto entry = JournalEntry::fromJson(item);
        if (!entry) {
            return std::nullopt;  // one bad entry makes the whole file untrustworthy
        }
        saves.push_back(Held{std::move(*entry), Stage::waiting});
    }
    return saves;
}

bool SaveJournal::store(const std::string& owner, const Book& book) {
    const fs::path file = fileOf(owner);
    std::error_code ec;
    if (book.saves.empty()) {
        bool removed = false;
        {
            std::lock_guard lock(filesMutex_);
            if (epochs_[owner] != book.epoch) {
                return true;  // forgotten meanwhile: nothing of it is kept
            }
            removed = fs::remove(file, ec);
        }
        if (!removed && !ec) {
            return true;  // there was none
        }
        if (!ec) {
            ec = fileio::syncFolder(folder_);
        }
        if (ec) {
            logRemovalFailure(ec);
            return !fs::exists(fs::symlink_status(file, ec));
        }
        return true;
    }
    Json entries = Json::array();
    for (const auto& held : book.saves) {
        entries.push_back(held.entry.toJson());
    }
    const auto bytes = json::dump(Json{{"owner", owner}, {"saves", std::move(entries)}});
    if (!bytes) {
        ec = std::make_error_code(std::errc::illegal_byte_sequence);
    } else if (auto temp = fileio::writeReplacement(file, *bytes); !temp) {
        ec = temp.error();
    } else {
        {
            // Only the rename is made under the lock: a forget never waits for the flush.
            std::lock_guard lock(filesMutex_);
            if (epochs_[owner] != book.epoch) {
                fs::remove(*temp, ec);
                return true;
            }
            ec = fileio::replaceWith(*temp, file);
        }
        if (!ec) {
            ec = fileio::syncFolder(folder_);
        }
    }
    if (ec) {
        Log::write("save", "저장 대기 기록 쓰기 실패 " + Log::describe(ec));
        return false;
    }
    return true;
}

}  // namespace parlendo
