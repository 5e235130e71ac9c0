#pragma once

#include <filesystem>
#include <mutex>
#include <optional>
#include <set>
#include <string>

namespace parlendo {

// The users whose request to delete their account was sent but never answered. Thread-safe.
class DeletePendingStore {
  public:
    virtual ~DeletePendingStore() = default;
    virtual std::set<std::string> users() = 0;
    virtual void mark(const std::string& userID) = 0;
    // Without a user id every user is cleared.
    virtual void clear(const std::optional<std::string>& userID) = 0;
};

// The pending deletions in "account_delete_pending.json" of the state folder:
// {"users": [ids sorted ascending]}, the file absent while nobody is pending. Read once, on first
// use; from then on the memory is the truth and every change is written through (a failed write is
// logged and the memory still holds). Never fails. One lock serialises loading, the memory and
// every write, and is held across the write.
class FileDeletePendingStore final : public DeletePendingStore {
  public:
    static constexpr const char* fileName = "account_delete_pending.json";

    // Touches nothing on disk.
    explicit FileDeletePendingStore(const std::filesystem::path& directory);

    const std::filesystem::path& file() const { return file_; }

    std::set<std::string> users() override;
    void mark(const std::string& userID) override;
    void clear(const std::optional<std::string>& userID) override;

  private:
    // The set, read from the file the first time. Lock held.
    std::set<std::string>& load();
    // Makes `users` the truth and writes it through. Lock held.
    void save(std::set<std::string> users);

    std::filesystem::path file_;
    std::mutex mutex_;
    std::optional<std::set<std::string>> cached_;
};

}  // namespace parlendo
