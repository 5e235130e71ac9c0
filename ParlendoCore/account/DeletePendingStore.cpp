#include "account/DeletePendingStore.h"

#include "foundation/FileIO.h"
#include "foundation/Json.h"
#include "foundation/Log.h"

namespace parlendo {

namespace {

// The ids of the file's text; empty for anything but {"users": [strings]}.
std::set<std::string> decode(const std::optional<std::string>& text) {
    if (!text) {
        return {};
    }
    const auto parsed = json::parse(*text);
    const Json* list = parsed ? json::array(*parsed, "users") : nullptr;
    if (list == nullptr) {
        return {};
    }
    std::set<std::string> users;
    for (const auto& item : *list) {
        if (!item.is_string()) {
            return {};
        }
        if (auto id = item.get<std::string>(); !id.empty()) {
            users.insert(std::move(id));
        }
    }
    return users;
}

}  // namespace

FileDeletePendingStore::FileDeletePendingStore(const std::filesystem::path& directory)
    : file_(directory / fileName) {}

std::set<std::string>& FileDeletePendingStore::load() {
    if (!cached_) {
        cached_ = decode(fileio::readFile(file_));
    }
    return *cached_;
}

std::set<std::string> FileDeletePendingStore::users() {
    std::lock_guard lock(mutex_);
    return load();
}

void FileDeletePendingStore::mark(const std::string& userID) {
    std::lock_guard lock(mutex_);
    auto users = load();
    if (users.insert(userID).second) {
        save(std::move(users));
    }
}

void FileDeletePendingStore::clear(const std::optional<std::string>& userID) {
    std::lock_guard lock(mutex_);
    auto users = load();
    if (userID) {
        if (users.erase(*userID) > 0) {
            save(std::move(users));
        }
        return;
    }
    if (!users.empty()) {
        save({});
    }
}

void FileDeletePendingStore::save(std::set<std::string> users) {
    cached_ = std::move(users);
    if (cached_->empty()) {
        std::error_code ignored;
        std::filesystem::remove(file_, ignored);
        return;
    }
    // A set iterates in ascending order: the array comes out sorted.
    Json list = Json::array();
    for (const auto& id : *cached_) {
        list.push_back(id);
    }
    const auto text = json::dump(Json{{"users", std::move(list)}});
    if (!text) {
        Log::write("account", "delete_pending 저장 실패 " + Log::describe(std::make_error_code(
                                                                std::errc::illegal_byte_sequence)));
        return;
    }
    if (auto error = fileio::writeAtomically(file_, *text)) {
        Log::write("account", "delete_pending 저장 실패 " + Log::describe(error));
    }
}

}  // namespace parlendo
