#pragma once

#include "capture/CaptureController.h"
#include "capture/CapturePipeline.h"
#include "capture/LookupHotkey.h"
#include "capture/OptionDoubleTap.h"
#include "capture/PermissionWatch.h"
#include "lookup/TitleVectorUploader.h"
#include "manage/NotificationCenter.h"
#include "popups/ActivePopupSettings.h"
#include "popups/PopupPresenting.h"
#include "saving/SaveJournal.h"
#include "saving/ServerSentenceSaver.h"
#include "saving/SourceResolver.h"
#include "saving/WordSaver.h"
#include "shell/AppEnvironment.h"
#include "shell/FeatureModule.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace parlendo {

// The desktop pieces the capture feature runs on.
struct CaptureDesktop {
    // The card presenter, and its plain notice card (text, seconds).
    std::shared_ptr<PopupPresenting> popup;
    std::function<void(const std::string& text, double seconds)> show;
    // The front application, this process, the reader of one lookup and the context reader.
    CaptureController::Readers readers;
    // The serial queue "parlendo.selection-fetch".
    ExecutorPtr fetchQueue;
    std::shared_ptr<Clock> clock;
    // Whether the process could read other applications at the last read.
    std::function<bool()> trusted;
    // Reads that anew (the accessibility bus may have gone away since), then calls `done` on
    // the main thread.
    std::function<void(std::function<void()> done)> refreshTrust;
    // Registers what to do on each system notice that the accessibility status changed.
    std::function<void(std::function<void()> onNotice)> watchSystemNotice;
    // Whether the accessibility bus the readers listen on has ended since they connected (their
    // connection closed, or the desktop hands out another bus now), as of the last trust read.
    std::function<bool()> busEnded;
    // Turns back the accessibility switches the reader turned on; the number turned back. Runs
    // on the fetch queue.
    std::function<int()> restoreAccessibility;
    // Where manage-window signals arrive.
    NotificationCenter* signals = &NotificationCenter::defaultCenter();
    // Keeps the saves on their way on disk until their outcome; none keeps nothing.
    std::shared_ptr<SaveJournal> journal;
};

// The capture feature module: builds and wires the card presenter, the lookup, translation,
// title-vector, source and saving services, the popup settings, the capture pipeline, the
// capture controller and the two hotkeys; on start it connects the hotkeys to the input hub and
// registers the account clearers, the observers of detection and of the manage window, the
// shutdown counters and tasks and the accessibility permission watch. It offers the detection
// lines and toggle to the status menu and the detection calls to the manage page. Main thread;
// lives in a shared_ptr (the callbacks it registers hold it weakly).
class CaptureCoordinator final : public FeatureModule,
                                 public std::enable_shared_from_this<CaptureCoordinator> {
  public:
    static constexpr double permissionPeriod = 10.0;
    static constexpr std::array<double, 2> noticeChecks = {0.5, 2.0};

    static std::shared_ptr<CaptureCoordinator> make(std::shared_ptr<AppEnvironment> env,
                                                    CaptureDesktop desktop);
    ~CaptureCoordinator() override;

    void start() override;
    BridgeRouteGroups bridgeRoutes() const override;
    MenuItems menu() const override;
    void refreshMenu() override;

    const std::shared_ptr<CapturePipeline>& pipeline() const { return pipeline_; }
    const std::shared_ptr<CaptureController>& controller() const { return controller_; }
    const std::shared_ptr<ActivePopupSettings>& popupSettings() const { return popupSettings_; }
    const std::shared_ptr<WordSaver>& words() const { return words_; }
    const std::shared_ptr<OptionDoubleTap>& toggleHotkey() const { return toggleHotkey_; }
    const std::shared_ptr<LookupHotkey>& lookupHotkey() const { return lookupHotkey_; }

  private:
    CaptureCoordinator(std::shared_ptr<AppEnvironment> env, CaptureDesktop desktop);
    void build();
    void toggle(const std::string& source);
    void watchPermission();
    void checkPermission(const std::string& source);
    // Stops detection for good once the accessibility bus has ended.
    void checkBus(const std::string& source);
    // Reads the trust anew, then checks it.
    void recheckPermission(const std::string& source);
    void schedulePermissionTimer();
    void onDetect(const DetectState& now, const DetectState& before);
    void reloadSettings(const std::string& reason);

    std::shared_ptr<AppEnvironment> env_;
    CaptureDesktop desktop_;
    std::shared_ptr<TitleVectorUploader> titleVectors_;
    std::shared_ptr<SourceResolver> sources_;
    std::shared_ptr<WordSaver> words_;
    std::shared_ptr<ServerSentenceSaver> sentences_;
    std::shared_ptr<ActivePopupSettings> popupSettings_;
    std::vector<NotificationCenter::Token> observers_;
    std::shared_ptr<CapturePipeline> pipeline_;
    std::shared_ptr<CaptureController> controller_;
    std::shared_ptr<OptionDoubleTap> toggleHotkey_;
    std::shared_ptr<LookupHotkey> lookupHotkey_;
    MenuItemPtr stateItem_;
    MenuItemPtr popupsItem_;
    MenuItemPtr toggleItem_;
    PermissionWatch permission_{false};
    bool started_ = false;
};

}  // namespace parlendo
