#pragma once

#include "foundation/Completion.h"
#include "foundation/Executor.h"
#include "popups/DefaultPopupSeeder.h"
#include "popups/PopupSetting.h"
#include "server/AuthTypes.h"
#include "server/ServerCalling.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace parlendo {

// The signed-in user's popup settings as captures use them: the enabled `assistants` rows in
// `position` order. Loads seed the defaults for a user without rows, a failed load keeps the last
// good list, a list older than 60 seconds is reloaded in the background, reloads that arrive
// during a load fold into one follow-up load, and the built-in list is in force before the first
// load and after `reset`. Every member may be called from any thread.
class ActivePopupSettings final : public PopupSettingsProviding,
                                  public std::enable_shared_from_this<ActivePopupSettings> {
  public:
    static constexpr double staleAfter = 60.0;
    // Seconds on a clock that only moves forward (the system uptime); only differences count.
    using UptimeClock = std::function<double()>;

    // `background` runs the stale reloads (default: the global pool).
    static std::shared_ptr<ActivePopupSettings> make(std::shared_ptr<ServerCalling> server,
                                                     std::shared_ptr<SessionProviding> session,
                                                     std::shared_ptr<DefaultPopupSeeder> defaults,
                                                     UptimeClock clock = systemUptime(),
                                                     std::shared_ptr<Executor> background = {});

    std::vector<PopupSetting> current() const override;
    bool isLoaded() const;

    // Starts a background reload (reason "stale") when nothing is loaded or the list is older
    // than 60 seconds; does not wait.
    void refreshIfStale();

    // Loads the list; completes with true when the last load this call ran succeeded, false when
    // it failed, nobody was signed in, or the call only asked the running load for a follow-up.
    void reload(std::string reason, Completion<void(bool)> completion = {});

    // Back to the built-in list. A load still running for the previous account drops its result.
    void reset();

    static UptimeClock systemUptime();

  private:
    ActivePopupSettings(std::shared_ptr<ServerCalling> server,
                        std::shared_ptr<SessionProviding> session,
                        std::shared_ptr<DefaultPopupSeeder> defaults, UptimeClock clock,
                        std::shared_ptr<Executor> background);

    void runLoads(std::string reason, Completion<void(bool)> completion);
    void loadOnce(const std::string& reason, Completion<void(bool)> completion);
    void store(const std::string& reason, const std::string& userID, std::uint64_t epoch,
               double started, bool seeded, const std::vector<Json>& rows,
               Completion<void(bool)> completion);

    std::shared_ptr<ServerCalling> server_;
    std::shared_ptr<SessionProviding> session_;
    std::shared_ptr<DefaultPopupSeeder> defaults_;
    UptimeClock clock_;
    std::shared_ptr<Executor> background_;

    mutable std::mutex mutex_;
    std::vector<PopupSetting> settings_;
    std::optional<double> loadedAt_;
    std::optional<std::string> owner_;
    bool loading_ = false;
    bool again_ = false;
    std::uint64_t epoch_ = 0;  // counts resets, so a load never stores across one
};

}  // namespace parlendo
