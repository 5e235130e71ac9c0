#include "projects/PageCopyStore.h"

#include "foundation/FileIO.h"
#include "foundation/Json.h"
#include "foundation/Log.h"
#include "foundation/SHA256.h"
#include "foundation/Uuid.h"

#include <algorithm>
#include <system_error>

namespace parlendo {
namespace fs = std::filesystem;

namespace {

std::string keyOf(const std::string& user, const std::string& document) {
    return user + "/" + document;
}

std::error_code encodingError() {
    return std::make_error_code(std::errc::illegal_byte_sequence);
}

}  // namespace

PageCopyStore::PageCopyStore(fs::path root, std::shared_ptr<const WallClock> clock)
    : root_(std::move(root) / folderName), clock_(std::move(clock)) {}

bool PageCopyStore::isID(std::string_view id) {
    if (id.empty() || id.size() > 64) {
        return false;
    }
    return std::all_of(id.begin(), id.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '-';
    });
}

std::optional<fs::path> PageCopyStore::copyPath(const std::string& user,
                                                const std::string& document) const {
    if (!isID(user) || !isID(document)) {
        return std::nullopt;
    }
    return root_ / user / (document + ".json");
}

std::optional<fs::path> PageCopyStore::skipPath(const std::string& user) const {
    if (!isID(user)) {
        return std::nullopt;
    }
    return root_ / user / skipFileName;
}

std::optional<fs::path> PageCopyStore::thumbnailPath(const std::string& user,
                                                     const std::string& document) const {
    if (!isID(user) || document.empty()) {
        return std::nullopt;
    }
    return root_ / user / "thumbs" / (SHA256::hex(document).substr(0, 32) + ".png");
}

void PageCopyStore::remember(const std::string& key, Copy copy) {
    memory_[key] = std::move(copy);
    std::erase(order_, key);
    order_.push_back(key);
    while (order_.size() > memoryMax) {
        memory_.erase(order_.front());
        order_.erase(order_.begin());
    }
}

PageCopyStore::Pages PageCopyStore::pages(const std::string& user, const std::string& document,
                                          const std::string& sha) {
    const std::string key = keyOf(user, document);
    {
        std::lock_guard lock(mutex_);
        if (auto hit = memory_.find(key); hit != memory_.end()) {
            return hit->second.sha == sha ? hit->second.pages : nullptr;
        }
    }
    auto path = copyPath(user, document);
    if (!path) {
        return nullptr;
    }
    auto bytes = fileio::readFile(*path);
    auto value = bytes ? json::parse(*bytes) : std::nullopt;
    auto fileSha = value ? json::string(*value, "sha") : std::nullopt;
    const Json* list = value ? json::array(*value, "pages") : nullptr;
    if (!fileSha || !list) {
        return nullptr;
    }
    auto texts = std::make_shared<std::vector<std::string>>();
    texts->reserve(list->size());
    for (const auto& page : *list) {
        if (!page.is_string()) {
            return nullptr;
        }
        texts->push_back(page.get<std::string>());
    }
    Copy copy{std::move(*fileSha), std::move(texts)};
    const bool same = copy.sha == sha;
    Pages found = copy.pages;
    {
        std::lock_guard lock(mutex_);
        remember(key, std::move(copy));
    }
    return same ? found : nullptr;
}

std::optional<int> PageCopyStore::write(const std::string& user, const std::string& document,
                                        const std::vector<std::string>& pages,
                                        const std::string& sha) {
    auto path = copyPath(user, document);
    if (!path) {
        return std::nullopt;
    }
    auto bytes = json::dump(Json{{"sha", sha}, {"pages", pages}});
    std::error_code ec = bytes ? fileio::writeAtomically(*path, *bytes, root_) : encodingError();
    if (ec) {
        Log::write("drive", "사본 쓰기 실패 " + Log::describe(ec));
        return std::nullopt;
    }
    {
        std::lock_guard lock(mutex_);
        remember(keyOf(user, document),
                 Copy{sha, std::make_shared<const std::vector<std::string>>(pages)});
    }
    return static_cast<int>(pages.size());
}

void PageCopyStore::remove(const std::string& user, const std::string& document) {
    {
        std::lock_guard lock(mutex_);
        const std::string key = keyOf(user, document);
        memory_.erase(key);
        std::erase(order_, key);
    }
    std::error_code ignored;
    if (auto path = copyPath(user, document)) {
        fs::remove(*path, ignored);
    }
    if (auto thumb = thumbnailPath(user, document)) {
        fs::remove(*thumb, ignored);
    }
}

bool PageCopyStore::clear() {
    {
        std::lock_guard lock(mutex_);
        memory_.clear();
        order_.clear();
    }
    std::error_code ec;
    fs::remove_all(root_, ec);
    const bool gone = !ec && !fs::exists(fs::symlink_status(root_, ec));
    return removeDetached() && gone;
}

namespace {

std::string detachedPrefix() {
    return std::string(PageCopyStore::folderName) + ".gone-";
}

}  // namespace

bool PageCopyStore::detach() {
    {
        std::lock_guard lock(mutex_);
        memory_.clear();
        order_.clear();
    }
    std::error_code ec;
    const auto status = fs::symlink_status(root_, ec);
    if (status.type() == fs::file_type::not_found) {
        return true;
    }
    if (ec) {
        return false;
    }
    fs::rename(root_, root_.parent_path() / (detachedPrefix() + uuid::makeLower()), ec);
    return !ec;
}

bool PageCopyStore::removeDetached() {
    std::error_code ec;
    fs::directory_iterator it(root_.parent_path(), ec);
    if (ec) {
        return ec == std::errc::no_such_file_or_directory;
    }
    std::vector<fs::path> detached;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) {
            return false;
        }
        if (it->path().filename().string().starts_with(detachedPrefix())) {
            detached.push_back(it->path());
        }
    }
    bool removed = true;
    for (const auto& path : detached) {
        std::error_code failed;
        fs::remove_all(path, failed);
        removed = removed && !failed;
    }
    return removed;
}

void PageCopyStore::pruneOthers(const std::string& user) {
    std::error_code ec;
    fs::directory_iterator it(root_, ec);
    if (ec) {
        return;
    }
    std::vector<fs::path> others;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) {
            break;
        }
        if (it->path().filename() != user) {
            others.push_back(it->path());
        }
    }
    for (const auto& path : others) {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    std::lock_guard lock(mutex_);
    const std::string prefix = user + "/";
    std::erase_if(order_, [&](const std::string& key) { return !key.starts_with(prefix); });
    std::erase_if(memory_, [&](const auto& entry) { return !entry.first.starts_with(prefix); });
}

int PageCopyStore::prune(const std::string& user, const std::set<std::string>& keeping) {
    if (!isID(user)) {
        return 0;
    }
    std::error_code ec;
    fs::directory_iterator it(root_ / user, ec);
    if (ec) {
        return 0;
    }
    std::vector<std::string> removed;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) {
            break;
        }
        const std::string name = it->path().filename().string();
        if (!name.ends_with(".json")) {
            continue;
        }
        std::string document = name.substr(0, name.size() - 5);
        if (keeping.count(document) > 0) {
            continue;
        }
        std::error_code removeError;
        if (fs::remove(it->path(), removeError) && !removeError) {
            removed.push_back(std::move(document));
        }
    }
    if (!removed.empty()) {
        std::lock_guard lock(mutex_);
        for (const auto& document : removed) {
            const std::string key = keyOf(user, document);
            memory_.erase(key);
            std::erase(order_, key);
        }
    }
    return static_cast<int>(removed.size());
}

PageCopyStore::Skips PageCopyStore::readSkips(const fs::path& path) {
    Skips skips;
    auto bytes = fileio::readFile(path);
    auto value = bytes ? json::parse(*bytes) : std::nullopt;
    if (!value || !value->is_object()) {
        return skips;
    }
    for (const auto& [document, entry] : value->items()) {
        auto sha = json::string(entry, "sha");
        auto at = json::number(entry, "at");
        if (!sha || !at) {
            return {};  // one bad entry makes the whole file unreadable
        }
        skips.emplace(document, Skip{std::move(*sha), *at + referenceEpoch});
    }
    return skips;
}

void PageCopyStore::noteFetchFailure(const std::string& user, const std::string& document,
                                     const std::string& sha) {
    auto path = skipPath(user);
    if (!isID(document) || !path) {
        return;
    }
    std::lock_guard lock(mutex_);
    const double now = clock_->now();
    Skips skips = readSkips(*path);
    std::erase_if(skips,
                  [now](const auto& entry) { return now - entry.second.at >= fetchSkipFor; });
    skips[document] = Skip{sha, now};
    Json out = Json::object();
    for (const auto& [id, skip] : skips) {
        out[id] = Json{{"sha", skip.sha}, {"at", skip.at - referenceEpoch}};
    }
    auto bytes = json::dump(out);
    std::error_code ec = bytes ? fileio::writeAtomically(*path, *bytes, root_) : encodingError();
    if (ec) {
        Log::write("drive", "받기 실패 기억 쓰기 실패 " + Log::describe(ec));
    }
}

bool PageCopyStore::fetchSkipped(const std::string& user, const std::string& document,
                                 const std::string& sha) {
    auto path = skipPath(user);
    if (!path) {
        return false;
    }
    std::lock_guard lock(mutex_);
    const Skips skips = readSkips(*path);
    auto entry = skips.find(document);
    return entry != skips.end() && entry->second.sha == sha &&
           clock_->now() - entry->second.at < fetchSkipFor;
}

}  // namespace parlendo
