#include "saving/SaveJournal.h"

#include "foundation/FileIO.h"
#include "foundation/Json.h"
#include "foundation/Log.h"
#include "foundation/Overloaded.h"
#include "foundation/SHA256.h"

#include <algorithm>
#include <system_error>

namespace parlendo {
namespace fs = std::filesystem;

namespace {

constexpr size_t fileNameDigits = 32;

std::string shortOf(const std::string& id) {
    return id.substr(0, 8);
}

Json optionalString(const std::optional<std::string>& value) {
    return value ? Json(*value) : Json(nullptr);
}

Json encode(const SaveJournal::Save& save) {
    return std::visit(overloaded{
                          [](const SaveWork& work) {
                              Json senses = Json::array();
                              for (const auto& sense : work.senses) {
                                  senses.push_back(Json{{"korean", sense.korean},
                                                        {"definition", sense.definition},
                                                        {"example", sense.example},
                                                        {"pos", sense.pos}});
                              }
                              return Json{{"kind", "word"},
                                          {"id", work.id},
                                          {"source_id", work.sourceID},
                                          {"lemma", work.lemma},
                                          {"phonetic", optionalString(work.phonetic)},
                                          {"korean", optionalString(work.korean)},
                                          {"senses", std::move(senses)},
                                          {"created_at", work.createdAt}};
                          },
                          [](const SentenceWork& work) {
                              return Json{{"kind", "sentence"},
                                          {"id", work.id},
                                          {"source_id", work.sourceID},
                                          {"original", work.original},
                                          {"korean", work.korean}};
                          },
                      },
                      save);
}

// A member that is a string or null; nothing (a bad entry) for anything else or a missing key.
std::optional<std::optional<std::string>> stringOrNull(const Json& object, const char* key) {
    if (!object.contains(key)) {
        return std::nullopt;
    }
    if (object[key].is_null()) {
        return std::optional<std::string>();
    }
    if (auto text = json::string(object, key)) {
        return std::optional<std::string>(std::move(*text));
    }
    return std::nullopt;
}

std::optional<SaveJournal::Save> decodeWord(const Json& entry) {
    auto id = json::string(entry, "id");
    auto source = json::string(entry, "source_id");
    auto lemma = json::string(entry, "lemma");
    auto phonetic = stringOrNull(entry, "phonetic");
    auto korean = stringOrNull(entry, "korean");
    const Json* list = json::array(entry, "senses");
    auto createdAt = json::number(entry, "created_at");
    if (!id || !source || !lemma || !phonetic || !korean || !list || !createdAt) {
        return std::nullopt;
    }
    std::vector<SaveWork::Sense> senses;
    for (const auto& item : *list) {
        auto gloss = json::string(item, "korean");
        auto definition = json::string(item, "definition");
        auto example = json::string(item, "example");
        auto pos = json::string(item, "pos");
        if (!gloss || !definition || !example || !pos) {
            return std::nullopt;
        }
        senses.push_back(SaveWork::Sense{std::move(*gloss), std::move(*definition),
                                         std::move(*example), std::move(*pos)});
    }
    return SaveWork(std::move(*id), std::move(*source), std::move(*lemma), std::move(*phonetic),
                    std::move(*korean), std::move(senses), *createdAt);
}

std::optional<SaveJournal::Save> decodeSentence(const Json& entry) {
    auto id = json::string(entry, "id");
    auto source = json::string(entry, "source_id");
    auto original = json::string(entry, "original");
    auto korean = json::string(entry, "korean");
    if (!id || !source || !original || !korean) {
        return std::nullopt;
    }
    return SentenceWork{std::move(*id), std::move(*source), std::move(*original),
                        std::move(*korean)};
}

std::optional<SaveJournal::Save> decode(const Json& entry) {
    const auto kind = json::string(entry, "kind");
    if (kind == "word") {
        return decodeWord(entry);
    }
    if (kind == "sentence") {
        return decodeSentence(entry);
    }
    return std::nullopt;
}

}  // namespace

std::shared_ptr<SaveJournal> SaveJournal::make(fs::path stateRoot, ExecutorPtr writer,
                                               size_t capacity) {
    return std::shared_ptr<SaveJournal>(
        new SaveJournal(std::move(stateRoot), std::move(writer), capacity));
}

SaveJournal::SaveJournal(fs::path stateRoot, ExecutorPtr writer, size_t capacity)
    : folder_(std::move(stateRoot) / folderName), writer_(std::move(writer)), capacity_(capacity) {}

const std::string& SaveJournal::idOf(const Save& save) {
    return std::visit(overloaded{[](const SaveWork& work) -> const std::string& { return work.id; },
                                 [](const SentenceWork& work) -> const std::string& {
                                     return work.id;
                                 }},
                      save);
}

fs::path SaveJournal::fileOf(const std::string& owner) const {
    return folder_ / (SHA256::hex(owner).substr(0, fileNameDigits) + ".json");
}

void SaveJournal::record(std::string owner, Save save, Task then) {
    writer_->post([self = shared_from_this(), owner = std::move(owner), save = std::move(save),
                   then = std::move(then)]() mutable {
        {
            std::lock_guard lock(self->mutex_);
            Book& saves = self->book(owner);
            const std::string id = idOf(save);
            if (saves.size() >= self->capacity_) {
                Log::write("save", "저장 대기 기록 가득 참 — 기록 없이 보냄 work=" + shortOf(id));
            } else {
                saves.push_back(Held{std::move(save), true});
                if (!self->store(owner, saves)) {
                    Log::write("save",
                               "🔴 저장 대기 기록 못 함 — 기록 없이 보냄 work=" + shortOf(id));
                }
            }
        }
        then();
    });
}

void SaveJournal::settle(std::string id) {
    writer_->post([self = shared_from_this(), id = std::move(id)] {
        std::lock_guard lock(self->mutex_);
        for (auto& [owner, saves] : self->books_) {
            auto it = std::find_if(saves.begin(), saves.end(),
                                   [&](const Held& held) { return idOf(held.save) == id; });
            if (it != saves.end()) {
                saves.erase(it);
                self->store(owner, saves);
                return;
            }
        }
    });
}

void SaveJournal::takeLeftOver(std::string owner, UniqueFunction<void(Saves)> then) {
    writer_->post(
        [self = shared_from_this(), owner = std::move(owner), then = std::move(then)]() mutable {
            Saves left;
            {
                std::lock_guard lock(self->mutex_);
                for (auto& held : self->book(owner)) {
                    if (!held.sent) {
                        held.sent = true;
                        left.push_back(held.save);
                    }
                }
            }
            then(std::move(left));
        });
}

void SaveJournal::follow(const std::optional<std::string>& owner) {
    std::optional<std::string> signedOut;
    {
        std::lock_guard lock(mutex_);
        if (!owner && current_) {
            signedOut = current_;
        }
        current_ = owner;
    }
    if (!signedOut) {
        return;
    }
    writer_->post([self = shared_from_this(), owner = std::move(*signedOut)] {
        if (self->forget(owner)) {
            Log::write("save", "로그아웃 — 저장 대기 기록 지움");
        }
    });
}

bool SaveJournal::forget(const std::string& owner) {
    std::lock_guard lock(mutex_);
    books_.erase(owner);
    return remove(fileOf(owner));
}

SaveJournal::Book& SaveJournal::book(const std::string& owner) {
    auto it = books_.find(owner);
    if (it != books_.end()) {
        return it->second;
    }
    const fs::path file = fileOf(owner);
    Book loaded;
    std::error_code ec;
    if (fs::exists(fs::symlink_status(file, ec))) {
        if (auto saves = read(owner, file)) {
            loaded = std::move(*saves);
        } else if (auto aside = fileio::setAside(file)) {
            Log::write("save",
                       "🔴 저장 대기 기록을 읽을 수 없어 옮겨 둠 to=" + aside->filename().string());
        } else {
            Log::write("save", "🔴 저장 대기 기록을 읽을 수 없고 옮기지도 못함 " +
                                   Log::describe(aside.error()));
        }
    }
    return books_.emplace(owner, std::move(loaded)).first->second;
}

std::optional<SaveJournal::Book> SaveJournal::read(const std::string& owner,
                                                   const fs::path& file) const {
    const auto bytes = fileio::readFile(file);
    const auto root = bytes ? json::parse(*bytes) : std::nullopt;
    const Json* entries = root ? json::array(*root, "saves") : nullptr;
    if (!entries || json::string(*root, "owner") != owner) {
        return std::nullopt;
    }
    Book saves;
    for (const auto& entry : *entries) {
        auto save = decode(entry);
        if (!save) {
            return std::nullopt;  // one bad entry makes the whole file untrustworthy
        }
        saves.push_back(Held{std::move(*save), false});
    }
    return saves;
}

bool SaveJournal::store(const std::string& owner, const Book& saves) {
    const fs::path file = fileOf(owner);
    if (saves.empty()) {
        return remove(file);
    }
    Json entries = Json::array();
    for (const auto& held : saves) {
        entries.push_back(encode(held.save));
    }
    const auto bytes = json::dump(Json{{"owner", owner}, {"saves", std::move(entries)}});
    std::error_code ec;
    if (!bytes) {
        ec = std::make_error_code(std::errc::illegal_byte_sequence);
    } else if (ec = fileio::writeAtomically(file, *bytes); !ec) {
        ec = fileio::syncFolder(folder_);
    }
    if (ec) {
        Log::write("save", "저장 대기 기록 쓰기 실패 " + Log::describe(ec));
        return false;
    }
    return true;
}

bool SaveJournal::remove(const fs::path& file) {
    std::error_code ec;
    if (!fs::remove(file, ec) && !ec) {
        return true;  // there was none
    }
    if (!ec) {
        ec = fileio::syncFolder(folder_);
    }
    if (ec) {
        Log::write("save", "저장 대기 기록 지우기 실패 " + Log::describe(ec));
        return !fs::exists(fs::symlink_status(file, ec));
    }
    return true;
}

}  // namespace parlendo
