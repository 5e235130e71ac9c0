#pragma once

#include "aitalk/AITalkOwner.h"
#include "aitalk/AITalkSession.h"
#include "aitalk/AnswerAhead.h"
#include "aitalk/AnswerView.h"
#include "aitalk/CopyDoubleTapHotkey.h"
#include "aitalk/DesktopViewerProbe.h"
#include "aitalk/DriveAsk.h"
#include "aitalk/GtkClipboardSource.h"
#include "aitalk/MathLib.h"
#include "aitalk/PageFinder.h"
#include "capture/XFixesClipboardCounter.h"
#include "manage/ManageScreenLink.h"
#include "projects/DriveThumbnails.h"
#include "projects/UploadChain.h"
#include "server/CurlSession.h"
#include "shell/AppEnvironment.h"
#include "shell/FeatureModule.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace parlendo {

class DesktopCapture;

// What AI talk and the projects need of the desktop beyond the environment.
struct AITalkPlatform {
    ExecutorPtr main;
    // Extraction, thumbnails, page copies and page searches, off the main thread.
    ExecutorPtr work;
    // The selection-fetch queue, where the accessibility client lives.
    ExecutorPtr fetchQueue;
    std::shared_ptr<AccessibilityPort> accessibility;
    std::shared_ptr<ContextReader> context;
    // The front application now (none when there is none).
    std::function<std::optional<RunningApplication>()> frontApplication;
    std::shared_ptr<XFixesClipboardCounter> clipboardCount;
    // The shared data session, the upload route's fallback.
    std::shared_ptr<CurlSession> dataSession;
    std::shared_ptr<SystemOpening> opener;
    std::filesystem::path resources;
    std::filesystem::path stateRoot;
    std::shared_ptr<Clock> clock;
    // Replace the system's trust store of the upload session made here and send its connections
    // to a loopback stand-in of the backend (tests and development runs only; see CurlSession).
    std::optional<std::string> trustedCAFile;
    std::optional<std::string> connectTo;
    // Builds the answer window; the program's draws with the web views it loads on first need.
    AnswerView::Factory makeWindow;

    // The platform of the program: the capture desktop's queue, readers and clipboard counter,
    // the bundle's resources and the state root.
    static AITalkPlatform fromDesktop(const DesktopCapture& desktop, ExecutorPtr main,
                                      std::shared_ptr<CurlSession> dataSession);
};

// The feature module of AI talk and of the projects screen. It builds and wires the project
// service with its local stores, upload route and thumbnails, the ask client over the data
// session's client (each ask with its own time-out), the page-copy sync, the page locator and
// finder, the Ctrl+C-twice hotkey, the clipboard, the viewer probe, the owner gate and the answer
// window with its session. The window is built a second after start or on the first question, and
// only while the gate lets questions through; it is let go again when the gate closes (sign-out, AI
// talk switched off), so that a user who cannot get an answer never carries the web view. It
// offers one status-menu line and the thirty "drive_*" calls of the manage page, and runs the road
// of one question from the hotkey to the answer window. Main thread; lives in a shared_ptr (what
// it registers holds it weakly).
class AITalkCoordinator final : public FeatureModule,
                                public std::enable_shared_from_this<AITalkCoordinator> {
  public:
    static constexpr std::int64_t thumbnailMaxBytes = 209'715'200;  // 200 MiB
    static constexpr double noticeSeconds = 3.0;

    static std::shared_ptr<AITalkCoordinator> make(std::shared_ptr<AppEnvironment> env,
                                                   AITalkPlatform platform);

    void start() override;
    BridgeRouteGroups bridgeRoutes() const override;
    MenuItems menu() const override;
    void refreshMenu() override;
    void menuWillOpen() override;

    // The hotkey's trigger: the clipboard's change count from before the copies and the uptime of
    // the second press.
    void triggered(std::int64_t baseline, double at);

    struct Answer {
        std::shared_ptr<AnswerView> window;
        std::shared_ptr<AITalkSession> session;
    };
    // The answer window and its session; nothing while they are not built.
    const Answer* answer() const { return answer_ ? &*answer_ : nullptr; }
    bool answerBuilt() const { return answer_.has_value(); }
    // Whether AI talk's gate lets questions through now: signed in (as the detection state
    // says), AI talk on.
    bool gateOpen() const;

    const std::shared_ptr<DriveService>& drive() const { return drive_; }
    const std::shared_ptr<DriveAsk>& ask() const { return ask_; }
    const std::shared_ptr<PageCopySync>& sync() const { return sync_; }
    const std::shared_ptr<PageFinder>& finder() const { return finder_; }
    const std::shared_ptr<AITalkOwner>& owner() const { return owner_; }
    const std::shared_ptr<CopyDoubleTapHotkey>& hotkey() const { return hotkey_; }
    const std::shared_ptr<PageCopyStore>& copies() const { return copies_; }
    const std::shared_ptr<DriveLocalStore>& local() const { return local_; }
    const MenuItemPtr& stateItem() const { return stateItem_; }

  private:
    struct ProbeTask;

    AITalkCoordinator(std::shared_ptr<AppEnvironment> env, AITalkPlatform platform);
    void build();
    // Reads the window's page and script off the main loop, then builds it.
    void makeAnswer(Completion<void()> done);
    void buildAnswer(const AnswerPage::Built& page, const std::string& mathSource, ThemeMode mode,
                     Completion<void()> done);
    Answer pairWith(std::shared_ptr<AnswerView> window);
    void releaseAnswer();
    bool answerInUse() const;
    // Tells the build-ahead whether the gate is open now.
    void refreshGate();
    // The question of a trigger, once its text is read and the window is there.
    void ask(std::optional<std::string> text);
    void locate(std::string selection, ActivePopup popup,
                Completion<void(std::optional<PageHint>)> done);
    void loggedIn();
    // Fetches ahead the page copies of the first active AI popup's document.
    void prefetchFirstPopup();

    std::shared_ptr<AppEnvironment> env_;
    AITalkPlatform platform_;
    std::shared_ptr<DriveLocalStore> local_;
    ExecutorPtr writer_;  // the settings file's changes, in order
    std::shared_ptr<PageCopyStore> copies_;
    std::shared_ptr<DriveService> drive_;
    std::shared_ptr<MathLib> mathLib_;
    std::shared_ptr<ManageScreenLink> screen_;
    std::shared_ptr<DriveAsk> ask_;
    std::shared_ptr<PageCopySync> sync_;
    std::shared_ptr<PageFinder> finder_;
    std::shared_ptr<DriveThumbnails> thumbnails_;
    std::shared_ptr<ProbeTask> viewerProbe_;
    std::shared_ptr<DesktopViewerProbe> probe_;
    std::shared_ptr<CopyDoubleTapHotkey> hotkey_;
    std::shared_ptr<GtkClipboardSource> clipboard_;
    std::optional<Answer> answer_;
    std::shared_ptr<AnswerAhead> ahead_;
    std::shared_ptr<AITalkOwner> owner_;
    MenuItemPtr stateItem_;
    UploadChain uploadChain_;
    bool started_ = false;
};

}  // namespace parlendo
