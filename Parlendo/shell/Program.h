#pragma once

#include "account/AccountCoordinator.h"
#include "aitalk/AITalkCoordinator.h"
#include "capture/CaptureCoordinator.h"
#include "capture/DesktopCapture.h"
#include "foundation/GlibMainExecutor.h"
#include "foundation/RuntimeConfig.h"
#include "foundation/WorkerQueue.h"
#include "popups/MeaningPopup.h"
#include "server/CurlSession.h"
#include "server/NetPathWatch.h"
#include "shell/AppDelegate.h"
#include "shell/DeviceCare.h"
#include "shell/ManageModule.h"
#include "shell/NoticeWindow.h"
#include "shell/PermissionWindow.h"
#include "shell/StallWatch.h"
#include "shell/StatusMenu.h"
#include "shell/SystemAppearance.h"

#include <gtk/gtk.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace parlendo {

// The program on the desktop: builds the platform objects (the main executor, the curl sessions
// and transports, the network watch, the X11 capture desktop, the card windows, the status icon,
// the windows) and keeps them alive, hands them to the environment and the feature modules as
// the core's interfaces, and carries the application's signals to the delegate. Main thread.
class Program : public std::enable_shared_from_this<Program> {
  public:
    // `app` is the registered primary instance.
    static std::shared_ptr<Program> make(GtkApplication* app, RuntimeConfig config);
    ~Program();

    // The application's first "activate" or "open": launches once the accessibility status has
    // been read. Later activations are second launches.
    void activate();
    void open(const std::vector<std::string>& uris);
    // The quit item, Ctrl+Q, SIGTERM and SIGINT: the delegate's quit decision, drain and question.
    // `done` hears whether the program is ending (false: the quit was cancelled). A signal that
    // arrives while a quit is under way ends it without asking: an open question closes, the
    // drain goes on and the program ends.
    void requestQuit(std::function<void(bool ended)> done = nullptr, bool fromSignal = false);

    const std::shared_ptr<AppDelegate>& delegate() const { return delegate_; }

  private:
    Program(GtkApplication* app, RuntimeConfig config);
    void build();
    void startLaunch();
    void launch();
    std::shared_ptr<AppEnvironment> makeEnvironment();
    AppDelegate::Modules makeModules(const std::shared_ptr<AppEnvironment>& env);
    const std::shared_ptr<ManageModule>& manageModule();
    std::shared_ptr<DeviceCare> makeDeviceCare(const std::shared_ptr<AppEnvironment>& env);
    void replied(bool terminate);
    void finish();
    void installActions();

    GtkApplication* app_;
    RuntimeConfig config_;
    std::shared_ptr<GlibMainExecutor> main_;
    std::shared_ptr<SerialQueue> drainQueue_;
    std::shared_ptr<SystemClock> clock_;
    std::shared_ptr<CurlSession> dataSession_;
    std::unique_ptr<NetPathWatch> netWatch_;
    std::shared_ptr<DesktopCapture> desktop_;
    std::shared_ptr<MeaningPopup> cards_;
    std::shared_ptr<SystemAppearance> appearance_;
    std::shared_ptr<AppDelegate> delegate_;
    std::shared_ptr<StatusMenu> statusMenu_;
    std::shared_ptr<PermissionWindow> permission_;
    std::shared_ptr<NoticeWindow> notice_;
    std::shared_ptr<CaptureCoordinator> capture_;
    std::shared_ptr<AITalkCoordinator> aitalk_;
    std::shared_ptr<ManageModule> manage_;
    std::shared_ptr<DeviceCare> deviceCare_;
    std::shared_ptr<StallWatch> stallWatch_;
    std::shared_ptr<AccountCoordinator> account_;
    bool launching_ = false;
    bool launched_ = false;
    bool finished_ = false;
    std::vector<std::function<void(bool)>> quitWaiters_;
};

}  // namespace parlendo
