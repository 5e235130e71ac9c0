#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace parlendo {

// The projects feature's per-user local settings and, per document, the file bookmark of the PDF
// it was uploaded from, all in `<root>/drive_local.json`:
//   {"users": {"<user>": {"settings": {"<key>": "<value>"}, "sources": {"<document>":
//   "<Base64>"}}}}
// The whole file is held in memory from construction and written whole, with sorted keys, by an
// atomic replace after every change. A change whose write fails is not applied. A file that
// cannot be read at start is moved aside before the first write, never overwritten.
// Thread-safe. A change waits on a busy disk for as long as its write takes, so the program makes
// its changes off the main thread; reads answer from memory at once, also while a change is being
// written (they see the state before it until the write has ended).
class DriveLocalStore {
  public:
    static constexpr const char* fileName = "drive_local.json";
    // The only setting keys.
    static const std::set<std::string, std::less<>>& settingKeys();
    // Most characters of a setting value.
    static constexpr size_t valueMax = 200;

    explicit DriveLocalStore(std::filesystem::path root);

    const std::filesystem::path& path() const { return url_; }

    std::optional<std::string> setting(const std::string& key,
                                       const std::optional<std::string>& user) const;
    // False for no user, an unknown key, a value over valueMax characters, or a failed write.
    bool setSetting(const std::string& key, const std::string& value,
                    const std::optional<std::string>& user);

    // The bookmark bytes stored for a document; nullopt when none or not valid Base64.
    std::optional<std::string> source(const std::string& document,
                                      const std::optional<std::string>& user) const;
    bool setSource(const std::string& document, const std::string& bookmark,
                   const std::optional<std::string>& user);
    // Puts `renewed` in place of the bookmark `recorded` that a resolve of the document's source
    // started from. False, writing nothing, when the stored bookmark is no longer `recorded` (the
    // document was linked anew or forgotten meanwhile); else the write's result.
    bool renewSource(const std::string& document, const std::string& recorded,
                     const std::string& renewed, const std::string& user);
    // True without writing when there is no user or nothing to remove.
    bool removeSources(const std::vector<std::string>& documents,
                       const std::optional<std::string>& user);
    // Removes the user's settings and sources.
    bool forget(const std::string& user);

  private:
    struct Section {
        std::map<std::string, std::string> settings;
        std::map<std::string, std::string> sources;  // document id -> Base64 bookmark
    };
    using Users = std::map<std::string, Section>;

    static std::optional<Users> decode(const std::string& bytes);
    // Applies `edit` to a copy of the state, writes the copy and adopts it once written.
    bool change(const std::function<void(Users&)>& edit);
    // The same, for an edit that may find nothing to do: then it answers false and nothing is
    // written.
    bool changeIf(const std::function<bool(Users&)>& edit);
    // Writes `next` to the file. Called while changing.
    bool write(const Users& next);
    bool moveAside();

    std::filesystem::path url_;
    // Held for the whole of a change, its write included: changes come one at a time, each on the
    // state the one before it left. Taken before `mutex_`, never after it.
    std::mutex changing_;
    // Guards `users_` for reads and for putting a written state in place: never held while the
    // file is written. `users_` changes only with both locks held.
    mutable std::mutex mutex_;
    Users users_;
    bool unreadable_ = false;  // a file was there at start but could not be read; under changing_
};

}  // namespace parlendo
