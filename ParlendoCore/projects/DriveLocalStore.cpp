#include "projects/DriveLocalStore.h"

#include "foundation/Base64.h"
#include "foundation/FileIO.h"
#include "foundation/Json.h"
#include "foundation/Log.h"
#include "foundation/Text.h"

#include <system_error>

namespace parlendo {
namespace fs = std::filesystem;

namespace {

std::optional<std::map<std::string, std::string>> stringMap(const Json& value) {
    if (!value.is_object()) {
        return std::nullopt;
    }
    std::map<std::string, std::string> out;
    for (const auto& [key, member] : value.items()) {
        if (!member.is_string()) {
            return std::nullopt;
        }
        out.emplace(key, member.get<std::string>());
    }
    return out;
}

}  // namespace

const std::set<std::string, std::less<>>& DriveLocalStore::settingKeys() {
    static const std::set<std::string, std::less<>> keys{"ai_popup_size", "ai_detect"};
    return keys;
}

DriveLocalStore::DriveLocalStore(fs::path root) : url_(std::move(root) / fileName) {
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(url_, ec))) {
        return;
    }
    auto bytes = fileio::readFile(url_);
    auto users = bytes ? decode(*bytes) : std::nullopt;
    if (users) {
        users_ = std::move(*users);
    } else {
        unreadable_ = true;
    }
}

std::optional<DriveLocalStore::Users> DriveLocalStore::decode(const std::string& bytes) {
    auto root = json::parse(bytes);
    const Json* users = root ? json::object(*root, "users") : nullptr;
    if (!users) {
        return std::nullopt;
    }
    Users out;
    for (const auto& [user, section] : users->items()) {
        if (!section.is_object() || !section.contains("settings") || !section.contains("sources")) {
            return std::nullopt;
        }
        auto settings = stringMap(section["settings"]);
        auto sources = stringMap(section["sources"]);
        if (!settings || !sources) {
            return std::nullopt;
        }
        out.emplace(user, Section{std::move(*settings), std::move(*sources)});
    }
    return out;
}

std::optional<std::string> DriveLocalStore::setting(const std::string& key,
                                                    const std::optional<std::string>& user) const {
    if (!user || settingKeys().count(key) == 0) {
        return std::nullopt;
    }
    std::lock_guard lock(mutex_);
    auto section = users_.find(*user);
    if (section == users_.end()) {
        return std::nullopt;
    }
    auto value = section->second.settings.find(key);
    if (value == section->second.settings.end()) {
        return std::nullopt;
    }
    return value->second;
}

bool DriveLocalStore::setSetting(const std::string& key, const std::string& value,
                                 const std::optional<std::string>& user) {
    if (!user || settingKeys().count(key) == 0 || text::characterCount(value) > valueMax) {
        return false;
    }
    return change([&](Users& users) { users[*user].settings[key] = value; });
}

std::optional<std::string> DriveLocalStore::source(const std::string& document,
                                                   const std::optional<std::string>& user) const {
    if (!user) {
        return std::nullopt;
    }
    std::string encoded;
    {
        std::lock_guard lock(mutex_);
        auto section = users_.find(*user);
        if (section == users_.end()) {
            return std::nullopt;
        }
        auto entry = section->second.sources.find(document);
        if (entry == section->second.sources.end()) {
            return std::nullopt;
        }
        encoded = entry->second;
    }
    return Base64::decode(encoded);
}

bool DriveLocalStore::setSource(const std::string& document, const std::string& bookmark,
                                const std::optional<std::string>& user) {
    if (!user) {
        return false;
    }
    return change([&](Users& users) { users[*user].sources[document] = Base64::encode(bookmark); });
}

bool DriveLocalStore::renewSource(const std::string& document, const std::string& recorded,
                                  const std::string& renewed, const std::string& user) {
    return changeIf([&](Users& users) {
        auto section = users.find(user);
        if (section == users.end()) {
            return false;
        }
        auto entry = section->second.sources.find(document);
        if (entry == section->second.sources.end() || Base64::decode(entry->second) != recorded) {
            return false;
        }
        entry->second = Base64::encode(renewed);
        return true;
    });
}

bool DriveLocalStore::removeSources(const std::vector<std::string>& documents,
                                    const std::optional<std::string>& user) {
    if (!user || documents.empty()) {
        return true;
    }
    return change([&](Users& users) {
        if (auto section = users.find(*user); section != users.end()) {
            for (const auto& document : documents) {
                section->second.sources.erase(document);
            }
        }
    });
}

bool DriveLocalStore::forget(const std::string& user) {
    return change([&](Users& users) { users.erase(user); });
}

bool DriveLocalStore::moveAside() {
    auto aside = fileio::setAside(url_);
    if (!aside) {
        Log::write("drive", "로컬 설정 쓰기 실패 " + Log::describe(aside.error()));
        return false;
    }
    Log::write("drive", "로컬 설정 파일 읽을 수 없어 옮겨 둠 to=" + aside->filename().string());
    return true;
}

bool DriveLocalStore::change(const std::function<void(Users&)>& edit) {
    return changeIf([&](Users& users) {
        edit(users);
        return true;
    });
}

bool DriveLocalStore::changeIf(const std::function<bool(Users&)>& edit) {
    std::lock_guard changing(changing_);
    // Only a change alters the state, and this one holds `changing_`: reading it needs no lock.
    Users next = users_;
    if (!edit(next) || !write(next)) {
        return false;
    }
    std::lock_guard lock(mutex_);
    users_ = std::move(next);
    return true;
}

bool DriveLocalStore::write(const Users& next) {
    Json users = Json::object();
    for (const auto& [user, section] : next) {
        users[user] = Json{{"settings", section.settings}, {"sources", section.sources}};
    }
    auto bytes = json::dump(Json{{"users", users}});
    if (!bytes) {
        Log::write("drive", "로컬 설정 쓰기 실패 " + Log::describe(std::make_error_code(
                                                         std::errc::illegal_byte_sequence)));
        return false;
    }
    if (unreadable_) {
        std::error_code ec;
        if (fs::exists(fs::symlink_status(url_, ec)) && !moveAside()) {
            return false;
        }
        unreadable_ = false;
    }
    if (auto ec = fileio::writeAtomically(url_, *bytes)) {
        Log::write("drive", "로컬 설정 쓰기 실패 " + Log::describe(ec));
        return false;
    }
    return true;
}

}  // namespace parlendo
