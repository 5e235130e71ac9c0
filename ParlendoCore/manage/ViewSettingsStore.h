#pragma once

#include "foundation/Completion.h"
#include "foundation/Json.h"
#include "foundation/Result.h"
#include "server/AuthTypes.h"
#include "server/CallFailure.h"
#include "server/ServerCalling.h"

#include <memory>

namespace parlendo {

using ViewSettingsResult = Result<Json, CallFailure>;

// The manage page's own view preferences, kept per user on the server. The value is the page's:
// any JSON value passes through unchanged. Called on the main thread; completions run where the
// server client delivers.
class ViewSettingsStore {
  public:
    virtual ~ViewSettingsStore() = default;
    // The stored value; JSON null when there is none.
    virtual void get(Completion<void(ViewSettingsResult)> completion) = 0;
    // Stores `value` and completes with what the server now holds.
    virtual void set(Json value, Completion<void(ViewSettingsResult)> completion) = 0;
};

// The store over the `view_settings` column of the user's `profiles` row. No retries, no state.
class ServerViewSettingsStore final : public ViewSettingsStore {
  public:
    static constexpr double timeout = 8.0;

    ServerViewSettingsStore(std::shared_ptr<ServerCalling> server,
                            std::shared_ptr<SessionProviding> session);

    void get(Completion<void(ViewSettingsResult)> completion) override;
    void set(Json value, Completion<void(ViewSettingsResult)> completion) override;

  private:
    std::shared_ptr<ServerCalling> server_;
    std::shared_ptr<SessionProviding> session_;
};

}  // namespace parlendo
