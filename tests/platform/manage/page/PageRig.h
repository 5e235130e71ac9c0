#pragma once

#include "../DesktopRig.h"
#include "../WindowRig.h"
#include "DriveStub.h"
#include "FakeClock.h"
#include "FakeSecretStore.h"
#include "FakeServerCalling.h"
#include "FakeSession.h"
#include "LogCapture.h"
#include "ManualExecutor.h"
#include "PageFakes.h"
#include "StubLibrary.h"
#include "TempDir.h"
#include "capture/DetectStore.h"
#include "manage/ManageCoordinator.h"
#include "manage/ManageScreenLink.h"
#include "projects/DriveService.h"
#include "projects/DriveThumbnails.h"
#include "shell/ThemeStore.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace parlendo::testing {

// The shipped manage page in the real manage window, with the real bridge shim and router over
// every route group, whose services answer from memory: the word book and popup rows from a
// StubLibrary, the projects from a DriveStub, view settings and reviews from the rig, the account
// from a FakeAccount. The test drives the page by evaluating scripts and checks the page and the
// calls the router received.
class PageRig {
  public:
    struct Options {
        bool signedIn = true;
        // Answer the services' requests on a thread of their own, as the app's client does,
        // instead of inside the call on the main thread.
        bool answerOffMainThread = false;
    };

    PageRig() : PageRig(Options{}) {}
    explicit PageRig(Options options);
    ~PageRig();

    LogCapture log;
    std::shared_ptr<ManualExecutor> main = std::make_shared<ManualExecutor>();
    std::shared_ptr<ManualExecutor> work = std::make_shared<ManualExecutor>();
    std::shared_ptr<FakeSession> session = std::make_shared<FakeSession>("user-1");
    std::shared_ptr<StubLibrary> library = std::make_shared<StubLibrary>("user-1");
    std::shared_ptr<DriveStub> drive = std::make_shared<DriveStub>("user-1");
    std::shared_ptr<FakeServerCalling> server = std::make_shared<FakeServerCalling>();
    std::shared_ptr<FakeSecretStore> secrets = std::make_shared<FakeSecretStore>();
    std::shared_ptr<ScriptedDraft> draft = std::make_shared<ScriptedDraft>();
    std::shared_ptr<RecordingOpener> opener = std::make_shared<RecordingOpener>();
    std::shared_ptr<DetectStore> detect = std::make_shared<DetectStore>();
    std::shared_ptr<FakeAccount> account = std::make_shared<FakeAccount>(session);
    std::shared_ptr<ManageCoordinator> manage;
    TempDir dir;

    Json viewSettings;           // the profile row's view_settings
    std::vector<Json> feedback;  // bodies sent to the feedback function
    std::optional<Json> notice;  // the server notice the detection status carries
    std::string mathScript;      // the mathematics renderer's script
    std::optional<std::vector<std::string>> picked = std::vector<std::string>{};  // the picker
    ThemeMode system = ThemeMode::light;  // the system appearance the theme store follows
    std::shared_ptr<ThemeStore> theme = std::make_shared<ThemeStore>([this] { return system; });
    bool cleanupOffered = false;

    // Opens the manage window on the page and waits until it is loaded.
    bool open();
    // Evaluates a script in the page and answers its value.
    std::optional<Json> js(const std::string& script);
    // Waits until the script's value is true; false after `seconds`.
    bool waitFor(const std::string& script, double seconds = 10);
    // Waits until no call of the page is unanswered.
    bool idle(double seconds = 10);
    // Clicks the first element matching the selector; false when there is none.
    bool click(const std::string& selector);
    // Types into the first element matching the selector (value and an input event).
    bool type(const std::string& selector, const std::string& text);
    // A key press on the focused element.
    void key(const std::string& key, const std::string& modifiers = "");
    // The page's text inside the first element matching the selector ("" when there is none).
    std::string text(const std::string& selector);
    int count(const std::string& selector);
    // Pins the app's theme as the user's choice does and waits for the page to follow.
    void setTheme(ThemeMode mode);
    // A PNG of the page in the current theme, named "page-<name>-<theme>".
    void snapshot(const std::string& name);
    // A PNG of the page in each theme.
    void snapshotBoth(const std::string& name);

    // The calls the router received, in order: name and arguments.
    std::vector<std::pair<std::string, Json>> calls() const { return *calls_; }
    int calls(const std::string& name) const;
    std::optional<Json> lastArgs(const std::string& name) const;
    void forgetCalls() { calls_->clear(); }
    // Script errors the page reported about itself.
    int pageErrors() const { return calls("ui_error"); }

    // Files dropped onto the window, as the window hands them to its drop listeners.
    void drop(const std::vector<std::filesystem::path>& files);

    WebKitWebView* view() const;
    // Runs the executors and the main loop until `done` holds.
    bool until(const std::function<bool()>& done, double seconds = 10);
    // What the rig answers for one request, before the library and the projects get it.
    std::function<std::optional<DetailedCallResult>(const FakeServerCalling::Call&)> intercept;

  private:
    DetailedCallResult answer(const FakeServerCalling::Call& call);
    BridgeRouter::Groups extraGroups();

    std::shared_ptr<DetailedServerCalling> backend_;
    std::shared_ptr<std::vector<std::pair<std::string, Json>>> calls_ =
        std::make_shared<std::vector<std::pair<std::string, Json>>>();
    std::shared_ptr<ManageScreenPort> port_ = std::make_shared<ManageScreenPort>();
    std::shared_ptr<AccountScope> scope_ = std::make_shared<AccountScope>();
    std::shared_ptr<DriveService> driveService_;
    std::shared_ptr<DriveThumbnails> thumbnails_;
    std::shared_ptr<ManageScreenLink> link_;
};

}  // namespace parlendo::testing
