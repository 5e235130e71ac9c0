#pragma once

#include "aitalk/Asking.h"
#include "foundation/Clock.h"
#include "foundation/Completion.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace parlendo {

// Whether AI talk may run for the signed-in user, decided at once from a local copy of the
// server's switch (on when the user has an active AI popup), and the keeping of that copy in step
// with the server: concurrent checks share one request, background checks run at most every 30
// seconds, and an answer is dropped when the user changed the copy while it was on its way.
// `gate`, `copyOn` and `noteCopyChanged` run on the main thread; syncs may complete anywhere
// (the copy closures must be safe to call from the thread the server answers on). One lock guards
// the sync state and is never held across the server call. Lives in a shared_ptr.
class AITalkOwner : public std::enable_shared_from_this<AITalkOwner> {
  public:
    static constexpr double minInterval = 30.0;

    // What a check did to the copy.
    struct Outcome {
        enum class Kind { unchanged, changed, unknown };
        Kind kind = Kind::unknown;
        bool value = false;  // the copy's value, for unchanged and changed

        static Outcome unchanged(bool value) { return {Kind::unchanged, value}; }
        static Outcome changed(bool value) { return {Kind::changed, value}; }
        static Outcome unknown() { return {}; }
        bool operator==(const Outcome& other) const {
            return kind == other.kind && (kind == Kind::unknown || value == other.value);
        }
    };

    // Whether a trigger may go on: ignored with a reason word, or proceed.
    struct Gate {
        std::optional<std::string> ignore;
        static Gate proceed() { return {}; }
        static Gate ignored(std::string reason) { return {std::move(reason)}; }
        bool operator==(const Gate&) const = default;
    };

    using ReadCopy = std::function<bool()>;
    using WriteCopy = std::function<bool(bool on)>;
    using Server = std::function<void(Completion<void(PopupLookup)> done)>;

    AITalkOwner(ReadCopy readCopy, WriteCopy writeCopy, Server server,
                std::shared_ptr<const MonotonicClock> clock = nullptr);

    bool copyOn() const { return readCopy_(); }
    Gate gate(bool loggedIn) const;
    // The user changed the switch: a check started before it is not applied.
    void noteCopyChanged();

    // Checks now, joining a check already running.
    void sync(const std::string& reason, Completion<void(Outcome)> done);
    // Checks only when none runs and the last one started at least 30 seconds ago; nothing
    // otherwise.
    void syncIfDue(const std::string& reason, Completion<void(std::optional<Outcome>)> done);
    // Brings the copy in line with a server answer already in hand.
    Outcome apply(bool serverOn, const std::string& reason);

    // Called after a check changed the copy; does nothing until set.
    std::function<void()> onChange;

    bool checking() const;

  private:
    struct Inflight {
        std::vector<Completion<void(Outcome)>> waiters;
    };

    // Starts a check under the lock; `done` joins it.
    void begin(std::unique_lock<std::mutex>& lock, const std::string& reason,
               Completion<void(Outcome)> done);
    Outcome answered(const std::string& reason, long started, PopupLookup lookup);

    ReadCopy readCopy_;
    WriteCopy writeCopy_;
    Server server_;
    std::shared_ptr<const MonotonicClock> clock_;
    mutable std::mutex mutex_;
    std::optional<double> lastAsked_;
    std::shared_ptr<Inflight> inflight_;
    long copyGeneration_ = 0;
};

// The status-menu line of AI talk.
namespace AITalkMenu {

inline constexpr const char* loggedOut = "AI 톡 — 로그인 필요";
inline constexpr const char* on = "AI 톡 켜짐 — 글을 선택하고 ⌘ 를 누른 채 C 두 번";
inline constexpr const char* off = "AI 톡 꺼짐 — 관리 창의 프로젝트에서 켜요…";

struct Line {
    std::string title;
    // Choosing the line opens the manage window.
    bool opensManage = false;
    bool operator==(const Line&) const = default;
};
Line line(bool loggedIn, bool on);

}  // namespace AITalkMenu
}  // namespace parlendo
