#pragma once

#include "capture/InputEvent.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace parlendo {

class SyntheticCopyLedger;

// One event as the platform's monitor reports it, before the hub turns it into an InputEvent.
struct RawInputEvent {
    enum class Type {
        keyDown,
        keyUp,
        flagsChanged,
        scrollWheel,
        leftMouseDown,
        rightMouseDown,
        otherMouseDown,
    };

    Type type = Type::keyDown;
    std::uint64_t modifierFlags = 0;
    std::uint16_t keyCode = 0;
    bool isRepeat = false;
    // Seconds since system start-up.
    double timestamp = 0;
    // The user data of the event's source; none when the event has no underlying device event.
    std::optional<std::int64_t> userData;
};

// The session-wide keyboard and mouse monitors of the platform. Called on the main thread, and
// the handlers are called there too.
class InputEventSource {
  public:
    using Handler = std::function<void(const RawInputEvent&)>;
    using Token = std::uint64_t;

    virtual ~InputEventSource() = default;
    // Delivers every key down, key up, modifier change, scroll and mouse-button press of the
    // whole session to `handler`. None when the platform refuses the monitor.
    virtual std::optional<Token> addGlobalMonitor(Handler handler) = 0;
    // The same for events addressed to this application's own windows. The event goes on to its
    // window unchanged after the handler returns.
    virtual std::optional<Token> addLocalMonitor(Handler handler) = 0;
    virtual void removeMonitor(Token token) = 0;
};

// The one place where the application watches the session's keyboard and mouse: it turns every
// monitored event into an InputEvent and hands it, synchronously and in subscription order, to
// every subscriber that wants its kind. The application's own synthetic events reach only the
// subscribers that ask for them. Main thread only.
class InputHub {
  public:
    InputHub(std::shared_ptr<InputEventSource> source,
             std::shared_ptr<SyntheticCopyLedger> syntheticCopies);
    ~InputHub();
    InputHub(const InputHub&) = delete;
    InputHub& operator=(const InputHub&) = delete;

    // The process-wide record of the application's own clipboard copies; the capture controller
    // shares it.
    const std::shared_ptr<SyntheticCopyLedger>& syntheticCopies() const { return syntheticCopies_; }

    // Appends a subscriber (they are never removed); when already running, logs its start line.
    void subscribe(std::shared_ptr<InputSubscriber> subscriber);
    // Installs the global and the local monitor unless running, then logs every start line.
    void start();
    // Removes every monitor and starts again.
    void restart(const std::string& reason);
    bool isRunning() const { return !monitors_.empty(); }
    size_t monitorCount() const { return monitors_.size(); }

    // The value that subscribers receive for a raw event.
    static InputEvent makeEvent(const RawInputEvent& raw, bool toOwnApp);

  private:
    void dispatch(const RawInputEvent& raw, bool toOwnApp);
    InputEventSource::Handler handler(bool toOwnApp);

    std::shared_ptr<InputEventSource> source_;
    std::shared_ptr<SyntheticCopyLedger> syntheticCopies_;
    std::vector<std::shared_ptr<InputSubscriber>> subscribers_;
    std::vector<InputEventSource::Token> monitors_;
    // Lets the monitor handlers notice that the hub is gone.
    std::shared_ptr<InputHub*> self_;
};

}  // namespace parlendo
