#pragma once

#include "foundation/Clock.h"
#include "saving/SourceStore.h"
#include "server/AuthTypes.h"
#include "server/ServerCalling.h"

#include <memory>
#include <string_view>

namespace parlendo {

// The `sources` table over PostgREST: searches the user's live row (not in the trash) by URL or
// title, creates rows (a duplicate turns into a second search) and stamps last_seen_at.
// Holds no mutable state; any number of operations may run at once.
class ServerSourceStore final : public SourceStore {
  public:
    static constexpr std::string_view table = "/rest/v1/sources";
    static constexpr double timeout = 15.0;

    // `clock` gives the wall-clock time written by `touch` (the system clock by default).
    ServerSourceStore(std::shared_ptr<ServerCalling> server,
                      std::shared_ptr<SessionProviding> session,
                      std::shared_ptr<const WallClock> clock = nullptr);

    void find(std::optional<std::string> url, std::string title,
              Completion<void(SourceFindResult)> completion) override;
    void create(std::string id, std::string title, std::optional<std::string> url,
                Completion<void(std::optional<SourceRow>)> completion) override;
    void touch(std::string id, Completion<void()> completion) override;

    // Wall-clock seconds as ISO 8601 text in UTC to the second: "2026-05-28T08:26:40Z".
    static std::string isoTimestamp(double seconds);

  private:
    std::shared_ptr<ServerCalling> server_;
    std::shared_ptr<SessionProviding> session_;
    std::shared_ptr<const WallClock> clock_;
};

}  // namespace parlendo
