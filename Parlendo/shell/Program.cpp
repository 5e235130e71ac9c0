#include "shell/Program.h"

#include "shell/WebViews.h"

#include "account/AccountDesktop.h"
#include "account/DeviceData.h"
#include "auth/CurlAuthTransport.h"
#include "auth/KeychainSessionStore.h"
#include "foundation/AppBundle.h"
#include "foundation/AppConfig.h"
#include "foundation/ClientIdentity.h"
#include "foundation/KeychainSetup.h"
#include "foundation/Log.h"
#include "foundation/RuntimeConfigLoader.h"
#include "foundation/RuntimePaths.h"
#include "foundation/UserActionTime.h"
#include "manage/NotificationCenter.h"
#include "manage/SystemOpener.h"
#include "popups/GdkPopupScreens.h"
#include "popups/GtkPopupCard.h"
#include "server/CurlServerTransport.h"
#include "shell/DetachedProcess.h"
#include "shell/GtkAlerts.h"
#include "shell/InstallLocation.h"
#include "shell/MainMenu.h"
#include "shell/StartupTiming.h"
#include "shell/ToolkitWarmup.h"

#include <unistd.h>

namespace parlendo {

namespace {

// The input source of a desktop whose X server offers no input watch: every monitor is refused.
class NoInputSource final : public InputEventSource {
  public:
    std::optional<Token> addGlobalMonitor(Handler) override { return std::nullopt; }
    std::optional<Token> addLocalMonitor(Handler) override { return std::nullopt; }
    void removeMonitor(Token) override {}
};

std::string architecture() {
#if defined(__x86_64__)
    return "x86_64";
#elif defined(__aarch64__)
    return "arm64";
#else
    return "other";
#endif
}

}  // namespace

std::shared_ptr<Program> Program::make(GtkApplication* app, RuntimeConfig config) {
    auto program = std::shared_ptr<Program>(new Program(app, std::move(config)));
    program->build();
    return program;
}

Program::Program(GtkApplication* app, RuntimeConfig config)
    : app_(app), config_(std::move(config)) {}

Program::~Program() = default;

void Program::build() {
    main_ = std::make_shared<GlibMainExecutor>();
    // Observers of the program's in-process notices run on the main loop, never inside whoever
    // posts them.
    NotificationCenter::defaultCenter().setMainExecutor(main_);
    drainQueue_ = std::make_shared<SerialQueue>("parlendo.shutdown");
    clock_ = SystemClock::shared();
    // Development runs can measure how long the main loop stalls.
    const auto environment = RuntimePaths::processEnvironment();
    if (const auto watch = environment.find("PARLENDO_STALL_WATCH");
        watch != environment.end() && watch->second == "1" &&
        !RuntimeConfigLoader::defaultIsRelease()) {
        stallWatch_ = StallWatch::start(main_, clock_);
    }
    ToolkitWarmup::loadImageLoaders();
    appearance_ = SystemAppearance::make();
    desktop_ = DesktopCapture::build(main_, clock_);
    cards_ = MeaningPopup::make(main_, clock_, std::make_shared<GdkPopupScreens>(),
                                GtkPopupCard::factory());
    std::weak_ptr<Program> weak = weak_from_this();

    auto trust = desktop_ ? desktop_->trust : nullptr;
    PermissionWindow::Desktop permissionDesktop;
    permissionDesktop.trusted = [trust] {
        return trust && trust->trusted();
    };
    permissionDesktop.refresh = [trust] {
        if (trust) {
            trust->refresh();
        }
    };
    permissionDesktop.enableAccessibility = &PermissionWindow::enableToolkitAccessibility;
    permissionDesktop.openSettings = [] {
        return PermissionWindow::launchFirst(PermissionWindow::settingsApps());
    };
    permissionDesktop.main = main_;
    permission_ = PermissionWindow::make(permissionDesktop, [weak] {
        if (auto self = weak.lock()) {
            self->delegate_->permissionGranted();
        }
    });
    notice_ = NoticeWindow::make(
        AppBundle::main().resource("approved_notice_ko", "md"), RuntimePaths::stateRoot(),
        [clock = clock_] { return clock->now(); }, ThreadPool::shared());

    AppDelegate::Parts parts;
    parts.environment = [weak] {
        auto self = weak.lock();
        return self ? self->makeEnvironment() : nullptr;
    };
    parts.modules = [weak](const std::shared_ptr<AppEnvironment>& env) {
        auto self = weak.lock();
        return self ? self->makeModules(env) : AppDelegate::Modules{};
    };
    // The account module restores the session once launch is done and takes every opened
    // "parlendo:" link.
    parts.restoreSession = [weak] {
        if (auto self = weak.lock(); self && self->account_) {
            self->account_->restoreSession();
        }
    };
    parts.openLink = [weak](const std::string& url) {
        if (auto self = weak.lock(); self && self->account_) {
            self->account_->open(url);
        }
    };
    // The manage module is built first, when it is handed the route groups of every module.
    parts.giveRoutes = [weak](std::function<AppDelegate::RouteGroups()> allRoutes) {
        if (auto self = weak.lock()) {
            self->manageModule()->coordinator()->allRoutes = std::move(allRoutes);
        }
    };
    AppDelegate::Platform platform;
    platform.version = AppConfig::serverAppVersion();
    platform.trusted = permissionDesktop.trusted;
    platform.showPermission = [weak](StartupWindows::Answered answered) {
        if (auto self = weak.lock()) {
            self->permission_->show(std::move(answered));
        }
    };
    platform.installMainMenu = [weak] {
        if (auto self = weak.lock()) {
            MainMenu::install(self->app_, [weak] {
                if (auto owner = weak.lock()) {
                    owner->requestQuit();
                }
            });
        }
    };
    platform.bindAppearance = [weak](const std::shared_ptr<ThemeStore>& theme) {
        if (auto self = weak.lock()) {
            self->appearance_->bind(theme);
        }
    };
    platform.prompt = &GtkAlerts::askShutdown;
    platform.closePrompt = &GtkAlerts::closeShutdownQuestion;
    platform.replyToTerminate = [weak](bool terminate) {
        if (auto self = weak.lock()) {
            self->replied(terminate);
        }
    };
    platform.background = drainQueue_;
    platform.main = main_;
    platform.clock = clock_;
    delegate_ = AppDelegate::make(std::move(parts), std::move(platform));

    StatusMenuModel& menu = delegate_->statusMenu();
    menu.openLogFolder = [] {
        SystemOpener().openPath(Log::directory().string());
    };
    menu.quit = [weak] {
        if (auto self = weak.lock()) {
            self->requestQuit();
        }
    };
    statusMenu_ = StatusMenu::make(menu, AppBundle::main().resourceDirectory / "icons", main_);
    statusMenu_->onRegistered = [] {
        StartupTiming::mark("status_icon");
    };
}

std::shared_ptr<AppEnvironment> Program::makeEnvironment() {
    dataSession_ = std::make_shared<CurlSession>(ServerSessions::data(), config_.trustedCAFile,
                                                 config_.connectTo);
    AppEnvironment::Parts parts;
    parts.config = config_;
    parts.appVersion = AppConfig::serverAppVersion();
    parts.main = main_;
    parts.background = ThreadPool::shared();
    parts.clock = clock_;
    parts.systemTheme = [appearance = appearance_] {
        return appearance->mode();
    };
    parts.inputSource = desktop_ ? std::static_pointer_cast<InputEventSource>(desktop_->input)
                                 : std::make_shared<NoInputSource>();
    parts.authTransport = [this](std::shared_ptr<ServerGate> gate) {
        CurlAuthTransport::Services services;
        services.base = config_.supabaseURL;
        services.anonKey = config_.publicKey;
        services.session = dataSession_;
        services.gate = std::move(gate);
        services.main = main_;
        services.clock = clock_;
        auto transport = std::make_shared<CurlAuthTransport>(std::move(services));
        return AppEnvironment::Parts::Auth{transport, transport};
    };
    parts.watchNetwork = [this](std::shared_ptr<NetState> net) {
        netWatch_ = std::make_unique<NetPathWatch>(std::move(net));
    };
    parts.serverTransport = std::make_shared<CurlServerTransport>(
        config_.supabaseURL, dataSession_, std::nullopt, ClientIdentity::current());
    parts.sessionStore = std::make_shared<KeychainSessionStore>();
    parts.sessionStoreQueue = KeychainSetup::queue();
    auto env = AppEnvironment::build(std::move(parts));
    env->main = main_;
    return env;
}

AppDelegate::Modules Program::makeModules(const std::shared_ptr<AppEnvironment>& env) {
    AppDelegate::Modules modules;
    if (desktop_) {
        auto capture =
            desktop_->desktop(cards_, [cards = cards_](const std::string& text, double seconds) {
                cards->show(text, seconds);
            });
        capture.journal = SaveJournal::make(RuntimePaths::stateRoot(),
                                            std::make_shared<SerialQueue>("parlendo.save-journal"));
        capture_ = CaptureCoordinator::make(env, std::move(capture));
        modules.push_back(capture_);
        // AI talk watches the same input and clipboard and reads through the same queue.
        auto platform = AITalkPlatform::fromDesktop(*desktop_, main_, dataSession_);
        platform.makeWindow = WebViews::answerWindows();
        platform.trustedCAFile = config_.trustedCAFile;
        platform.connectTo = config_.connectTo;
        aitalk_ = AITalkCoordinator::make(env, std::move(platform));
        modules.push_back(aitalk_);
    } else {
        Log::write("app", "🔴 캡처를 만들 수 없음 — X 디스플레이의 입력 감시를 쓸 수 없다");
    }
    modules.push_back(manageModule());
    // The account module carries device care's items and starts it.
    deviceCare_ = makeDeviceCare(env);
    AccountCoordinator::Desktop accountDesktop;
    accountDesktop.deleteTransport = AccountDesktop::deleteTransport(
        config_.supabaseURL, dataSession_, ClientIdentity::current());
    accountDesktop.keychain = KeychainSetup::queue();
    accountDesktop.files = ThreadPool::shared();
    accountDesktop.alert = AccountDesktop::alerts();
    accountDesktop.windows = AccountDesktop::windows();
    accountDesktop.care = deviceCare_;
    account_ = AccountCoordinator::make(env, std::move(accountDesktop));
    modules.push_back(account_);
    return modules;
}

const std::shared_ptr<ManageModule>& Program::manageModule() {
    if (!manage_) {
        ManageServices given;
        given.curl = dataSession_;  // the draft request rides on the one curl session
        manage_ = std::make_shared<ManageModule>(delegate_->env(), std::move(given));
    }
    return manage_;
}

std::shared_ptr<DeviceCare> Program::makeDeviceCare(const std::shared_ptr<AppEnvironment>& env) {
    const AppBundle& bundle = AppBundle::main();
    const auto environment = RuntimePaths::processEnvironment();
    DeviceCare::Install install;
    install.running = BuildStamp::running(bundle);
    install.buildInfoFile = bundle.buildInfoFile;
    install.programPath = InstallLocations::programFile(RelaunchHelper::programPath(), environment);
    install.home = RuntimePaths::homeDirectory(environment).string();
    install.stateRoot = RuntimePaths::stateRoot(environment);
    install.pid = ::getpid();
    install.arch = architecture();

    std::weak_ptr<Program> weak = weak_from_this();
    DeviceCare::Platform platform;
    platform.alert = [](DeviceCare::Alert alert, Completion<void(DeviceCare::Answer)> done) {
        GtkAlerts::show(alert, std::move(done));
    };
    platform.terminate = [weak](Completion<void(bool)> done) {
        auto self = weak.lock();
        if (!self) {
            done(true);
            return;
        }
        auto shared = std::make_shared<Completion<void(bool)>>(std::move(done));
        self->requestQuit([shared](bool ended) { (*shared)(ended); });
    };
    platform.exitNow = [](int status) {
        Log::flush();
        ::_exit(status);
    };
    platform.spawn = &DetachedProcess::spawn;
    platform.showNoticeIfNeeded = [weak, main = main_](StartupWindows::Answered answered) {
        // Laying out the notice's text is the largest step of the start: it is taken in turns of
        // the main loop of its own, a paragraph at a time, before the window is shown.
        main->post([weak, main, answered = std::move(answered)]() mutable {
            auto self = weak.lock();
            if (!self) {
                answered();
                return;
            }
            self->notice_->prepare(main, [weak, answered = std::move(answered)]() mutable {
                if (auto owner = weak.lock()) {
                    owner->notice_->showIfNeeded(std::move(answered));
                } else {
                    answered();
                }
            });
        });
    };
    platform.startup = env->startupWindows;
    platform.showNotice = [weak] {
        if (auto self = weak.lock()) {
            self->notice_->showOnRequest();
        }
    };
    DeviceCare::removeFromKeychain(platform, KeychainCall{KeychainSetup::queue(), main_});
    platform.logDirectory = [] {
        return Log::directory();
    };
    platform.logAppOwned = [] {
        return Log::isAppOwnedDirectory();
    };
    // The web engine files its data under the program's name in the XDG folders.
    const gchar* name = g_get_prgname();
    platform.wipeData = DeviceData::wiper(DeviceData::Roots::of(environment),
                                          name != nullptr && *name != '\0' ? name : "parlendo");
    platform.summary = &DeviceData::summary;
    platform.main = main_;
    platform.clock = clock_;
    platform.files = ThreadPool::shared();
    auto login = std::make_shared<LoginItem>(LoginItem::defaultFile(), install.programPath);
    return DeviceCare::make(std::move(install), std::move(platform), std::move(login));
}

void Program::activate() {
    // Started, or started again, by the user: the windows this opens answer that.
    UserActionTime::note();
    if (launched_ || launching_) {
        // A second launch; while the first is still starting, the delegate holds it.
        delegate_->reopen("second_launch");
        return;
    }
    startLaunch();
}

void Program::startLaunch() {
    launching_ = true;
    // Launch once the accessibility status has been read, so the permission is known, and the
    // fonts of the first windows are ready, so showing them does not stall the main loop. Both
    // answer on the main thread.
    std::weak_ptr<Program> weak = weak_from_this();
    auto waiting = std::make_shared<int>(2);
    auto go = [weak, waiting] {
        if (--*waiting > 0) {
            return;
        }
        if (auto self = weak.lock()) {
            self->launch();
        }
    };
    ToolkitWarmup::prepareFonts(main_, go);
    if (desktop_) {
        desktop_->trust->refresh(go);
    } else {
        main_->post(go);
    }
}

void Program::launch() {
    delegate_->launch(std::nullopt);
    launched_ = true;
    const auto& env = delegate_->env();
    const auto armed = [input = env->input] {
        if (input->isRunning()) {
            StartupTiming::mark("armed");
        }
    };
    env->detect->addObserver([armed](const DetectState&, const DetectState&) { armed(); });
    armed();
}

void Program::open(const std::vector<std::string>& uris) {
    UserActionTime::note();  // a link the user followed
    delegate_->open(uris);
    if (!launched_ && !launching_) {
        startLaunch();
    }
}

void Program::requestQuit(std::function<void(bool)> done, bool fromSignal) {
    if (finished_) {
        if (done) {
            done(true);
        }
        return;
    }
    if (!quitWaiters_.empty()) {
        // A quit is already waiting for its drain or question; a signal does not wait for the
        // user.
        if (fromSignal) {
            delegate_->endWithoutAsking();
        }
        quitWaiters_.push_back(std::move(done));
        return;
    }
    if (!launched_) {
        finish();
        if (done) {
            done(true);
        }
        return;
    }
    quitWaiters_.push_back(std::move(done));
    // Whoever sent the signal (the session ending, a service manager) is not there to answer a
    // question: the quit drains and ends, and the journal keeps what is left.
    if (fromSignal) {
        delegate_->endWithoutAsking();
    }
    if (delegate_->shouldTerminate() == AppDelegate::TerminateReply::now) {
        replied(true);
    }
}

void Program::replied(bool terminate) {
    auto waiters = std::exchange(quitWaiters_, {});
    if (terminate) {
        finish();
    }
    for (auto& waiter : waiters) {
        if (waiter) {
            waiter(terminate);
        }
    }
}

void Program::finish() {
    if (finished_) {
        return;
    }
    finished_ = true;
    if (stallWatch_) {
        stallWatch_->stop();
    }
    // The main loop runs on while the termination tasks end on their own threads.
    delegate_->willTerminate([app = app_] { g_application_quit(G_APPLICATION(app)); });
}

}  // namespace parlendo
