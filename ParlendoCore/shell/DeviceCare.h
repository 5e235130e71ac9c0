#pragma once

#include "foundation/Clock.h"
#include "foundation/Completion.h"
#include "foundation/Executor.h"
#include "foundation/KeychainCall.h"
#include "shell/BuildStamp.h"
#include "shell/LoginItem.h"
#include "shell/MenuItems.h"
#include "shell/RelaunchHelper.h"
#include "shell/StartupWindows.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace parlendo {

// Care of this installation on this computer: the start-up check of where the program runs and
// which build ran before, the privacy notice, start at login, the offer to restart into a build
// that replaced this one on disk (with the helper that starts it again once this process is
// gone), and wiping what the program stored here. Its four menu items go to the account
// module's device and clean-up sections. Main thread.
class DeviceCare : public std::enable_shared_from_this<DeviceCare> {
  public:
    // A modal question or notice, shown after bringing the application forward.
    struct Alert {
        std::string message;
        std::string informative;
        // In the order added; the first is the default. Empty: one default "확인" button.
        std::vector<std::string> buttons;
        bool warning = false;
        // A check box under the text, and whether it starts checked.
        std::optional<std::string> checkbox;
        bool checkboxOn = false;
        bool operator==(const Alert&) const = default;
    };
    struct Answer {
        int button = 0;  // index in `buttons`
        bool checked = false;
    };

    // What wiping one place of this computer's data came to.
    struct WipeOutcome {
        std::string name;
        bool existed = false;
        bool removed = false;
        bool operator==(const WipeOutcome&) const = default;
    };
    // Removes the program's data on this computer: everything but the log folder, or only the
    // log folder (nothing when it is not the program's own). Called on the files executor.
    using WipeData = std::function<std::vector<WipeOutcome>(
        bool logsOnly, const std::filesystem::path& logDirectory, bool logAppOwned)>;

    struct Install {
        BuildStamp running;
        std::filesystem::path buildInfoFile;
        // The file the user started (InstallLocations::programFile), as the location judge,
        // the relaunch and the login start see it.
        std::string programPath;
        std::string home;
        std::filesystem::path stateRoot;
        pid_t pid = 0;
        // The build's architecture for the start line.
        std::string arch;
    };

    struct Platform {
        std::function<void(Alert, Completion<void(Answer)>)> alert;
        // Asks the application to quit the normal way (drain, question, termination tasks);
        // completes with false when the quit was cancelled.
        std::function<void(Completion<void(bool ended)>)> terminate;
        // Ends the process at once, running no termination tasks; any thread (the wipe ends
        // the process where it removed the log folder).
        std::function<void(int status)> exitNow;
        // Starts a detached process; its pid, or an error text.
        std::function<std::optional<pid_t>(const RelaunchHelper::Command&, std::string& error)>
            spawn;
        // The notice window: at start-up when not yet acknowledged (`answered` once it is, or at
        // once when it need not be shown), and on request.
        std::function<void(StartupWindows::Answered answered)> showNoticeIfNeeded;
        std::function<void()> showNotice;
        // The start's windows, one at a time; the alerts of the start-up check hold the launch.
        std::shared_ptr<StartupWindows> startup;
        // Remove the stored login token and the optional AI key; true when they are known to be
        // gone, false when not or when the keychain did not answer in time. Any thread.
        std::function<void(Completion<void(bool)>)> deleteLoginToken;
        std::function<void(Completion<void(bool)>)> wipeOptionalKey;
        // Without it there is no wipe item.
        WipeData wipeData;
        std::function<std::string(const std::vector<WipeOutcome>&)> summary;
        std::function<std::filesystem::path()> logDirectory;
        std::function<bool()> logAppOwned;
        ExecutorPtr main;
        std::shared_ptr<const MonotonicClock> clock;
        // Writes the record of the build that runs and removes the wiped folders, off the main
        // loop (none: on it).
        ExecutorPtr files = nullptr;
    };

    // The two keychain removals of the wipe over the program's keychain, each asked on the
    // keychain queue and given up on at the call's deadline.
    static void removeFromKeychain(Platform& platform, KeychainCall keychain);

    static constexpr double diskCheckInterval = 5.0;
    static constexpr double logWipeDelay = 0.2;

    static std::shared_ptr<DeviceCare> make(Install install, Platform platform,
                                            std::shared_ptr<LoginItem> loginItem);

    // Replaced by the account module: signs out and forgets the stored login, marks the
    // detection state logged out, runs the termination tasks, then completes.
    std::function<void(Completion<void()> done)> signOutForWipe = [](Completion<void()> done) {
        done();
    };

    const MenuItemPtr& loginItem() const { return loginItem_; }
    const MenuItemPtr& noticeItem() const { return noticeItem_; }
    const MenuItemPtr& wipeItem() const { return wipeItem_; }
    const MenuItemPtr& restartItem() const { return restartItem_; }
    // device: restart, login, notice; cleanup: wipe (when the data can be wiped).
    MenuItems menu() const;

    // The start-up check: location, build change, then the notice, each after the one before
    // it is answered.
    void start();
    void refreshMenu();
    // A termination task: starts the relaunch helper when a restart was asked for.
    void launchRelaunchHelperIfRequested();

    bool relaunchRequested() const { return relaunchRequested_; }

    // The texts of the alerts.
    static Alert moveAlert();
    static Alert downgradeAlert(const BuildStamp& from, const BuildStamp& running);
    static Alert loginItemFailedAlert();
    static Alert wipeQuestion();
    static Alert wipeDoneAlert(const std::vector<std::string>& failed);
    // What could not be removed: the names of the outcomes not removed, then "login_token" and
    // "optional_key" when those were not removed.
    static std::vector<std::string> failures(const std::vector<WipeOutcome>& outcomes,
                                             bool tokenRemoved, bool keyRemoved);

  private:
    DeviceCare(Install install, Platform platform, std::shared_ptr<LoginItem> loginItem);
    void build();
    void toggleLoginItem();
    void requestRelaunch();
    void askWipe();
    void wipe(bool includeLogs);
    void wipeFiles(bool includeLogs, bool tokenRemoved, bool keyRemoved);
    void filesWiped(const std::vector<WipeOutcome>& outcomes, bool includeLogs, bool tokenRemoved,
                    bool keyRemoved, const std::filesystem::path& logDirectory, bool logAppOwned);
    // Runs `work` on the files executor, or at once without one.
    void onFiles(Task work);
    void checkReplaced();

    Install install_;
    Platform platform_;
    std::shared_ptr<LoginItem> login_;
    MenuItemPtr loginItem_;
    MenuItemPtr noticeItem_;
    MenuItemPtr wipeItem_;
    MenuItemPtr restartItem_;
    std::optional<double> lastDiskCheck_;
    bool relaunchRequested_ = false;
    bool reportedUnreadableInfo_ = false;
};

}  // namespace parlendo
