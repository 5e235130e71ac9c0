#pragma once

#include "aitalk/Asking.h"
#include "foundation/Clock.h"
#include "projects/DriveService.h"
#include "server/ServerCalling.h"

#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

namespace parlendo {

// The AI talk client of the backend: the user's active AI popup (kept 30 seconds per user), the
// first question about a selection through the edge function "ask-document", and follow-ups in
// the thread the first answer opened. Texts are trimmed, cut and checked before anything is sent;
// every failure becomes a DriveFailure. Thread-safe: the cache is touched only under the lock,
// never across a call.
class DriveAsk final : public Asking, public std::enable_shared_from_this<DriveAsk> {
  public:
    static constexpr double popupTTL = 30.0;
    static constexpr double popupTimeout = 15.0;
    static constexpr double askTimeout = 30.0;
    static constexpr const char* askPath = "/functions/v1/ask-document";
    static const std::set<std::string, std::less<>>& quotaScopes();

    DriveAsk(std::shared_ptr<DetailedServerCalling> edge, std::shared_ptr<DriveService> drive,
             std::string appVersion, std::shared_ptr<const MonotonicClock> clock);

    // Forgets the cached popup; a lookup running meanwhile still answers but stores nothing.
    void invalidate();

    void activePopup(Completion<void(PopupLookup)> done) override;
    void ask(ActivePopup popup, std::string selection, AskMode mode, std::optional<PageHint> hint,
             Completion<void(AskResult)> done) override;
    void followup(std::string thread, std::string message,
                  Completion<void(AskResult)> done) override;

    // The failure reported for a failed ask call.
    static DriveFailure failure(const CallFailureDetail& detail);
    // The outcome of an ask reply body; `first` keeps the thread id.
    static AskResult readReply(const std::string& body, bool first);

  private:
    struct Cached {
        double at = 0;
        std::string user;
        std::optional<ActivePopup> popup;
    };

    void call(Json body, bool first, Completion<void(AskResult)> done);
    void store(std::uint64_t revision, const std::string& user,
               const std::optional<ActivePopup>& popup);

    std::shared_ptr<DetailedServerCalling> edge_;
    std::shared_ptr<DriveService> drive_;
    std::string appVersion_;
    std::shared_ptr<const MonotonicClock> clock_;
    std::mutex mutex_;
    std::optional<Cached> active_;
    std::uint64_t revision_ = 0;
};

}  // namespace parlendo
