#pragma once

#include "capture/InputHub.h"
#include "capture/SyntheticKeyTrail.h"
#include "foundation/Clock.h"
#include "foundation/Executor.h"

#include <functional>
#include <map>
#include <memory>
#include <string>

namespace parlendo {

// The session's keyboard and mouse as the input hub watches them: XInput2 raw key and button
// events of the root window, read on a thread of their own through a connection of their own and
// handed to the main executor. Key codes are physical (evdev + 8), so the chord does not depend on
// the keyboard layout. A key is a modifier by what the XKB keymap gives it: Shift, Control, Alt
// (Option) and Super (the Control bit); AltGr and the Hangul and Hanja keys are ordinary keys,
// never Option. The modifier flags are those of the modifier keys held, kept in step with the XKB
// base state. Events of the XTest device that the application posted itself (its synthetic copy,
// found in the key trail) carry the synthetic tag; the XTest events of other clients do not.
// Events while one of this process's windows has the focus go to the local monitors, the others
// to the global ones. Monitors are added and removed on the main thread, where handlers run.
class X11InputSource final : public InputEventSource,
                             public std::enable_shared_from_this<X11InputSource> {
  public:
    struct Options {
        ExecutorPtr main;
        std::shared_ptr<const MonotonicClock> clock;
        std::shared_ptr<SyntheticKeyTrail> trail;
        // Whether one of this process's windows has the focus; called on the input thread.
        std::function<bool()> ownsFocus;
        // The X display (the environment's DISPLAY when empty).
        std::string display;
    };

    static std::shared_ptr<X11InputSource> make(Options options);
    ~X11InputSource() override;

    std::optional<Token> addGlobalMonitor(Handler handler) override;
    std::optional<Token> addLocalMonitor(Handler handler) override;
    void removeMonitor(Token token) override;

    // Whether the display offers XInput 2 raw events and XTest (what the watch needs).
    bool available();

  private:
    struct Reader;
    struct Monitor {
        bool local = false;
        Handler handler;
    };

    explicit X11InputSource(Options options);
    std::optional<Token> add(bool local, Handler handler);
    void deliver(const RawInputEvent& raw, bool toOwnApp);

    Options options_;
    std::map<Token, Monitor> monitors_;
    Token next_ = 1;
    std::shared_ptr<Reader> reader_;
};

}  // namespace parlendo
