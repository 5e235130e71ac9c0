#pragma once

#include "capture/AccessibleNode.h"
#include "foundation/Executor.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

typedef struct _GMainContext GMainContext;
typedef struct _AtspiAccessible AtspiAccessible;

namespace parlendo {

class AtspiNode;

// The accessibility bus (AT-SPI 2) as the capture reads it. It lives on the selection-fetch
// queue, whose GLib context also runs its event listeners: the element that took the focus last
// and the element whose text selection changed last are remembered per application, and a
// bounded search for the focused state covers an application that moved its focus before the
// watch began. Every call to an application is bounded by the current time-out. Screen frames
// come from GDK on the main thread. All members but `start` run on the fetch queue.
class AtspiAccessibility final : public AccessibilityPort,
                                 public std::enable_shared_from_this<AtspiAccessibility> {
  public:
    // `fetchContext` is the GLib context of the fetch queue; `screens` gives the monitors in
    // card coordinates (read on the main thread).
    static std::shared_ptr<AtspiAccessibility> make(ExecutorPtr fetchQueue,
                                                    GMainContext* fetchContext,
                                                    std::function<ScreenFrames()> screens);
    ~AtspiAccessibility() override;

    // Main thread; returns at once. Opens the bus on the fetch queue, binds the bus client to the
    // fetch queue's context on the main thread (its main loop must run), then connects and starts
    // listening on the fetch queue. Until then the calls find no element.
    void start();

    void setCallTimeout(double seconds) override;
    void setStrictCallTimeout(double seconds) override;
    AccessibleNodePtr focusedElement(const RunningApplication& app,
                                     const CallGate& mayCall) override;
    AccessibleNodePtr selectionChangedElement(const RunningApplication& app) override;
    AccessibleNodePtr activeWindow(const RunningApplication& app) override;
    ScreenFrames screens() override;
    bool hasElectronFramework(const RunningApplication& app) override;
    bool setAccessibilitySwitch(const std::string& name, bool on) override;
    std::optional<bool> accessibilitySwitch(const std::string& name) override;
    bool isRunning(std::int32_t pid) override;

    // Whether the bus answered when the watch started (false until it started).
    bool connected() const;
    // Whether the connection to the bus closed since (the bus ended): the calls then find no
    // element, for good. Any thread.
    bool closed() const;

  private:
    struct State;
    AtspiAccessibility(ExecutorPtr fetchQueue, GMainContext* fetchContext,
                       std::function<ScreenFrames()> screens);
    void connect();
    void setTimeouts(int ms, int startUpMs);
    std::shared_ptr<AtspiNode> activeWindow(const RunningApplication& app, const CallGate& mayCall);
    // Hears the end of the client's connection to the bus.
    void watchBus(AtspiAccessible* desktop);
    // Sets the bus client up over the connection the fetch queue `opened` and moves its
    // dispatching to the fetch queue's context: main thread.
    bool bind(bool opened);
    // Hands the direct connection to `application`, if the client opened one, to the fetch
    // queue's context.
    void adopt(AtspiAccessible* application);

    ExecutorPtr fetchQueue_;
    GMainContext* fetchContext_;
    std::function<ScreenFrames()> screens_;
    std::shared_ptr<State> state_;
};

}  // namespace parlendo
