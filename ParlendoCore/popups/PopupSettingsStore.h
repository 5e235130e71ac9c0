#pragma once

#include "foundation/Completion.h"
#include "foundation/Json.h"
#include "foundation/Result.h"
#include "server/AuthTypes.h"
#include "server/ServerCalling.h"
#include "wordbook/LibraryWriteError.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace parlendo {

// Why a popup settings write failed: the server call's failure, or a refusal of the write itself.
using PopupStoreError = std::variant<CallFailure, LibraryWriteError>;
// The reply object for the page, or why there is none.
using PopupStoreResult = Result<Json, PopupStoreError>;

// Writes the signed-in user's own popup settings. Replies: create and update answer
// {"status": "ok", "assistant": A} or {"status": "name_taken", "name": N}; toggle answers A;
// delete answers {"deleted": id}. A is the popup as the manage page shows it.
// Called on the main thread; completions run where the server client delivers.
class PopupSettingsStore {
  public:
    virtual ~PopupSettingsStore() = default;
    virtual void toggle(std::string id, bool enabled,
                        Completion<void(PopupStoreResult)> completion) = 0;
    // Deletes the row (the page's "delete").
    virtual void remove(std::string id, Completion<void(PopupStoreResult)> completion) = 0;
    // Absent fields stay as they are; options count only together with contents.
    virtual void update(std::string id, std::optional<std::string> name, std::optional<bool> save,
                        std::optional<std::vector<std::string>> contents,
                        std::optional<Json> options,
                        Completion<void(PopupStoreResult)> completion) = 0;
    virtual void create(std::string name, std::vector<std::string> contents,
                        std::optional<Json> options, bool save,
                        Completion<void(PopupStoreResult)> completion) = 0;
};

// The store over the backend's `assistants` table. Every value is checked before the first
// request; the change callback runs only after a confirmed change ("create", "update", "toggle",
// "delete").
class ServerPopupSettingsStore final : public PopupSettingsStore {
  public:
    using Changed = std::function<void(const std::string& reason)>;

    ServerPopupSettingsStore(std::shared_ptr<ServerCalling> server,
                             std::shared_ptr<SessionProviding> session,
                             Changed changed = announceChange());

    void toggle(std::string id, bool enabled,
                Completion<void(PopupStoreResult)> completion) override;
    void remove(std::string id, Completion<void(PopupStoreResult)> completion) override;
    void update(std::string id, std::optional<std::string> name, std::optional<bool> save,
                std::optional<std::vector<std::string>> contents, std::optional<Json> options,
                Completion<void(PopupStoreResult)> completion) override;
    void create(std::string name, std::vector<std::string> contents, std::optional<Json> options,
                bool save, Completion<void(PopupStoreResult)> completion) override;

    // Posts ManageSignals::popupSettingsChanged with the reason.
    static Changed announceChange();

    // The address of one row of the user: the row id percent-encoded, only ASCII letters,
    // digits, "-", "_" and "~" left as they are.
    static std::string one(const std::string& id, const std::string& userID);

  private:
    void send(std::string path, std::string method, std::optional<Json> body,
              Completion<void(RowsResult)> completion);

    std::shared_ptr<ServerCalling> server_;
    std::shared_ptr<SessionProviding> session_;
    std::shared_ptr<const Changed> changed_;
};

}  // namespace parlendo
