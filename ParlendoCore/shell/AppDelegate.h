#pragma once

#include "foundation/Clock.h"
#include "foundation/Completion.h"
#include "foundation/Executor.h"
#include "foundation/ProcStats.h"
#include "shell/AppEnvironment.h"
#include "shell/FeatureModule.h"
#include "shell/ShutdownPrompt.h"
#include "shell/StatusMenuModel.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace parlendo {

// The application's lifecycle: whether this process is the only instance, the launch in its
// fixed order (environment, feature modules, menus, accessibility permission, session restore,
// links that came early), reopening on a second launch, and the quit decision with its drain of
// work in flight and its question to the user. The platform layer calls it and does what it asks
// through `Platform`. Main thread, except the drain.
class AppDelegate : public std::enable_shared_from_this<AppDelegate> {
  public:
    using Modules = std::vector<std::shared_ptr<FeatureModule>>;
    using RouteGroups = BridgeRouteGroups;

    // The URL scheme this program handles.
    static constexpr const char* linkScheme = "parlendo";

    // What the program builds, each on first need.
    struct Parts {
        // The environment (built once, on the first call).
        std::function<std::shared_ptr<AppEnvironment>()> environment;
        // The feature modules in module order (capture, AI talk, manage, account), built over the
        // environment on the first call; the manage module is built first when it is there.
        std::function<Modules(const std::shared_ptr<AppEnvironment>&)> modules;
        // Hands the manage module the source of every module's route groups (builds the manage
        // module); empty without a manage module.
        std::function<void(std::function<RouteGroups()> allRoutes)> giveRoutes;
        // The account module's session restore and its handling of a link; empty without one.
        std::function<void()> restoreSession;
        std::function<void(const std::string& url)> openLink;
    };

    // What the desktop does for the delegate.
    struct Platform {
        std::string version;
        // Whether the accessibility permission is there now.
        std::function<bool()> trusted;
        // Shows the permission window; `answered` (may be empty) once it is closed or the
        // permission arrived.
        std::function<void(StartupWindows::Answered answered)> showPermission;
        std::function<void()> installMainMenu;
        // Applies the theme store's modes to the application and reports system changes to it.
        std::function<void(const std::shared_ptr<ThemeStore>&)> bindAppearance;
        // Brings the application forward and asks the quit question; the choice comes back on the
        // main thread.
        std::function<void(int remaining, int unsaved,
                           Completion<void(ShutdownPrompt::Choice)> choice)>
            prompt;
        // Closes the quit question while it is open; its answer is no longer awaited.
        std::function<void()> closePrompt;
        // The answer to a quit that was put off: true ends the application.
        std::function<void(bool terminate)> replyToTerminate;
        // Where the drain polls, off the main loop.
        ExecutorPtr background;
        // The main executor (timers of the delegate).
        ExecutorPtr main;
        // Logs a start-up milestone once per process.
        std::function<void(const std::string& name)> mark;
        std::shared_ptr<const MonotonicClock> clock;
        std::function<std::optional<ProcStats::Sample>()> sampler;
    };

    enum class TerminateReply { now, later };

    static std::shared_ptr<AppDelegate> make(Parts parts, Platform platform);

    // The status menu's model, made with the delegate (before launch).
    StatusMenuModel& statusMenu() { return statusMenu_; }

    // The environment, built on first access.
    const std::shared_ptr<AppEnvironment>& env();
    const Modules& modules();

    // Launch of the first instance, or of a duplicate naming the first instance's pid: a duplicate
    // logs, asks to be ended and builds nothing.
    void launch(std::optional<long> otherInstance);
    // A second launch asked this instance to show itself; one that arrives before launch has
    // finished is held and acted on at its end.
    void reopen(const std::string& source);
    // Links handed to the program; only "parlendo:" ones are kept.
    void open(const std::vector<std::string>& urls);
    // The permission window saw the permission arrive.
    void permissionGranted();

    TerminateReply shouldTerminate();
    // The process was asked to end (a signal) while a quit is under way: the quit no longer
    // asks. An open question closes and the drain goes on; after the drain the program ends,
    // whatever remains.
    void endWithoutAsking();
    // Runs the termination tasks, logs "종료", then calls `done`; a task ending on another thread
    // is awaited without blocking the main loop (see ShutdownGate).
    void willTerminate(Completion<void()> done = nullptr);

    bool terminatingAsDuplicate() const { return terminatingAsDuplicate_; }
    bool launchFinished() const { return launchFinished_; }
    const std::vector<std::string>& heldLinks() const { return heldLinks_; }

  private:
    AppDelegate(Parts parts, Platform platform);
    void drainThenAsk(bool wasEnabled);
    void ask(int remaining, bool wasEnabled);
    void onDetect(const DetectState& now, const DetectState& before);
    void scheduleStats();
    void writeEnabled(bool enabled);
    void openLink(const std::string& url);
    // Launch after the modules have started and the alerts that hold the start are answered.
    void finishLaunch();

    Parts parts_;
    Platform platform_;
    StatusMenuModel statusMenu_;
    std::shared_ptr<AppEnvironment> env_;
    std::optional<Modules> modules_;
    bool terminatingAsDuplicate_ = false;
    bool launchFinished_ = false;
    std::vector<std::string> heldLinks_;
    std::optional<std::string> heldReopen_;
    ProcStats procStats_;
    // The quit under way: whether the question is open (and which one), what detection was
    // before the quit, and whether the program ends without asking.
    bool asking_ = false;
    unsigned questions_ = 0;
    bool quitWasEnabled_ = false;
    bool endWithoutAsking_ = false;
};

}  // namespace parlendo
