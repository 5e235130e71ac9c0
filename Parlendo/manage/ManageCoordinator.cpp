#include "manage/ManageCoordinator.h"

#include "foundation/AppBundle.h"
#include "foundation/AppConfig.h"
#include "foundation/KeychainSetup.h"
#include "foundation/Log.h"
#include "foundation/WorkerQueue.h"
#include "manage/DiagnosticsRoutes.h"
#include "manage/FeedbackRoutes.h"
#include "manage/LocalSources.h"
#include "manage/MacOverlay.h"
#include "manage/SourceOpener.h"
#include "manage/SystemOpener.h"
#include "popups/ConnectionRoutes.h"
#include "popups/CurlDraftTransport.h"
#include "popups/PopupSettingsRoutes.h"
#include "saving/StudyRoutes.h"
#include "server/ServerSessions.h"
#include "shell/AppearanceRoutes.h"
#include "wordbook/LibraryReadRoutes.h"
#include "wordbook/LibraryWriteRoutes.h"
#include "wordbook/TrashRoutes.h"

namespace parlendo {

std::shared_ptr<ManageCoordinator> ManageCoordinator::make(ManageServices services) {
    return std::shared_ptr<ManageCoordinator>(new ManageCoordinator(std::move(services)));
}

ManageCoordinator::ManageCoordinator(ManageServices services) : services_(std::move(services)) {
    if (!services_.resources) {
        services_.resources = AppBundle::main().resourceDirectory;
    }
    if (!services_.page) {
        services_.page = AppBundle::main().resource("manage", "html");
    }
    if (!services_.keychain) {
        services_.keychain = KeychainSetup::queue();
    }
    if (!services_.webInspector) {
        services_.webInspector = AppConfig::webInspectorEnabled();
    }
    if (!services_.opener) {
        services_.opener = std::make_shared<SystemOpener>();
    }
    fonts_ = std::make_shared<SharedUIFonts>(std::make_shared<UIFonts>(services_.resources),
                                             ThreadPool::shared(), services_.main);
}

std::shared_ptr<ServerStudyRecorder> ManageCoordinator::studyRecorder() {
    if (!studyRecorder_) {
        studyRecorder_ = ServerStudyRecorder::make(services_.server, services_.auth);
    }
    return studyRecorder_;
}

std::shared_ptr<ServerPopupSettingsStore> ManageCoordinator::popupSettings() {
    if (!popupSettings_) {
        popupSettings_ =
            std::make_shared<ServerPopupSettingsStore>(services_.server, services_.auth);
    }
    return popupSettings_;
}

std::shared_ptr<ConnectionSettings> ManageCoordinator::connection() {
    if (!connection_) {
        connection_ = std::make_shared<ConnectionSettings>(
            services_.secrets ? services_.secrets : std::make_shared<KeychainSecretStore>(),
            services_.auth);
    }
    return connection_;
}

std::shared_ptr<PopupDraftService> ManageCoordinator::draft() {
    if (!draft_) {
        std::shared_ptr<DraftTransport> transport = services_.draftTransport;
        if (!transport) {
            // The draft request rides on the program's one curl session.
            auto curl = services_.curl ? services_.curl
                                       : std::make_shared<CurlSession>(ServerSessions::data());
            transport = std::make_shared<CurlDraftTransport>(std::move(curl));
        }
        draft_ =
            std::make_shared<PopupDraftService>(connection(), services_.auth, std::move(transport));
    }
    return draft_;
}

std::shared_ptr<FeedbackSender> ManageCoordinator::feedback() {
    if (!feedback_) {
        feedback_ = std::make_shared<FeedbackSender>(services_.client, services_.auth,
                                                     services_.appVersion);
    }
    return feedback_;
}

std::shared_ptr<const BridgeRoutes> ManageCoordinator::appearance() const {
    if (!services_.theme) {
        return std::make_shared<AppearanceRoutes>();
    }
    return std::make_shared<AppearanceRoutes>(
        services_.theme, [fonts = fonts_](Completion<void(AppearanceRoutes::Fonts)> done) {
            fonts->read([done = std::move(done)](SharedUIFonts::Read loaded) mutable {
                done(AppearanceRoutes::Fonts{loaded->fonts, loaded->bytes});
            });
        });
}

BridgeRouter::Groups ManageCoordinator::bridgeRoutes() {
    const ExecutorPtr& main = services_.main;
    std::weak_ptr<ManageCoordinator> weak = weak_from_this();
    LibraryReadRoutes::ViewSettings view{[weak](LibraryReadRoutes::ReadDone done) {
                                             auto self = weak.lock();
                                             if (!self) {
                                                 done(fail(CallFailure::stale()));
                                                 return;
                                             }
                                             self->viewSettings()->get(std::move(done));
                                         },
                                         [weak](Json value, LibraryReadRoutes::ReadDone done) {
                                             auto self = weak.lock();
                                             if (!self) {
                                                 done(fail(CallFailure::stale()));
                                                 return;
                                             }
                                             self->viewSettings()->set(std::move(value),
                                                                       std::move(done));
                                         }};
    auto seeder = services_.popupDefaults;
    LibraryReadRoutes::SeedPopups seed = nullptr;
    if (seeder) {
        seed = [seeder](LibraryReadRoutes::PopupRead read, Completion<void(RowsResult)> done) {
            seeder->ensure(std::move(read),
                           [done = std::move(done)](DefaultPopupSeeder::SeedResult r) mutable {
                               if (r) {
                                   done(std::move(r->rows));
                               } else {
                                   done(fail(std::move(r.error())));
                               }
                           });
        };
    }
    // In the router's order: word book reading, source opening, word book writing, trash, study,
    // popup settings, connection, appearance, feedback, diagnostics.
    return {
        std::make_shared<LibraryReadRoutes>(library(), std::move(view), std::move(seed)),
        std::make_shared<SourceOpenRoutes>(
            std::make_shared<SourceOpener>(services_.opener, &judgeLocalSource)),
        std::make_shared<LibraryWriteRoutes>(libraryWriter()),
        std::make_shared<TrashRoutes>(libraryWriter()),
        std::make_shared<StudyRoutes>(studyRecorder(), main),
        std::make_shared<PopupSettingsRoutes>(popupSettings(), draft(), main),
        std::make_shared<ConnectionRoutes>(connection(), services_.keychain),
        appearance(),
        std::make_shared<FeedbackRoutes>(feedback()),
        std::make_shared<DiagnosticsRoutes>(uiErrors_),
    };
}

std::shared_ptr<LibraryReader> ManageCoordinator::library() {
    if (!library_) {
        library_ = std::make_shared<ServerLibraryReader>(services_.server, services_.auth,
                                                         ServerLibraryReader::maxPages,
                                                         ThreadPool::shared(), services_.main);
    }
    return library_;
}

std::shared_ptr<LibraryWriter> ManageCoordinator::libraryWriter() {
    if (!libraryWriter_) {
        libraryWriter_ = std::make_shared<ServerLibraryWriter>(services_.server, services_.auth);
    }
    return libraryWriter_;
}

std::shared_ptr<ViewSettingsStore> ManageCoordinator::viewSettings() {
    if (!viewSettings_) {
        viewSettings_ = std::make_shared<ServerViewSettingsStore>(services_.server, services_.auth);
    }
    return viewSettings_;
}

std::shared_ptr<ManageBridge> ManageCoordinator::bridge() {
    if (!bridge_) {
        bridge_ = std::make_shared<ManageBridge>(
            BridgeRouter::make(allRoutes(), nullptr, services_.main));
        if (services_.main) {
            bridge_->writeLargeRepliesOn(ThreadPool::shared(), services_.main);
        }
    }
    return bridge_;
}

std::shared_ptr<ManageView> ManageCoordinator::window() {
    if (window_) {
        return window_;
    }
    if (!services_.makeWindow) {
        Log::write("manage", "🔴 관리 창을 만들 수 없음 (창을 만드는 쪽이 없음)");
        return nullptr;
    }
    std::weak_ptr<ManageCoordinator> weak = weak_from_this();
    auto theme = [weak] {
        auto self = weak.lock();
        return self && self->services_.themeMode ? self->services_.themeMode() : ThemeMode::light;
    };
    window_ = services_.makeWindow(bridge(), theme,
                                   ManageView::Options{services_.page, services_.opener,
                                                       services_.main, *services_.webInspector});
    if (!window_) {
        return nullptr;
    }
    window_->onClose = [weak] {
        if (auto self = weak.lock()) {
            // Reviews whose commit is not yet confirmed are checked again once the page is gone.
            self->studyRecorder()->reconcileUnknown([](ServerStudyRecorder::Reconciled) {});
        }
    };
    window_->onFilesDropped = [weak](const std::vector<std::string>& uris) {
        auto self = weak.lock();
        if (!self) {
            return;
        }
        // A handler may register another; only those there now are called.
        const auto handlers = self->services_.manageScreen->dropHandlers;
        for (const auto& handler : handlers) {
            handler(uris);
        }
    };
    return window_;
}

std::function<void()> ManageCoordinator::openManage() {
    std::weak_ptr<ManageCoordinator> weak = weak_from_this();
    return [weak] {
        auto self = weak.lock();
        if (auto window = self ? self->window() : nullptr) {
            window->show();
        }
    };
}

void ManageCoordinator::start() {
    std::weak_ptr<ManageCoordinator> weak = weak_from_this();
    ManageScreenPort& port = *services_.manageScreen;
    port.run = [weak](std::string script, Completion<void(std::optional<Json>)> completion) {
        auto self = weak.lock();
        // The window object is never created just to run a script.
        if (!self || !self->windowBuilt()) {
            completion(std::nullopt);
            return;
        }
        self->window_->run(std::move(script), std::move(completion));
    };
    port.window = [weak]() -> ManageScreenPort::NativeWindow {
        auto self = weak.lock();
        return self && self->windowBuilt() ? self->window_->window() : nullptr;
    };

    services_.accountScope->onAccountChange(
        "학습 저장 기록",
        [recorder = studyRecorder()](const std::optional<std::string>&) { recorder->reset(); });
    // On the keychain queue, in turn with the page's key calls.
    services_.accountScope->onAccountChange(
        "AI 키", [connection = connection(),
                  keychain = services_.keychain](const std::optional<std::string>&) {
            keychain->post([connection] { connection->accountChanged(); });
        });

    if (services_.observeTheme) {
        services_.observeTheme([weak](ThemeMode mode) {
            auto self = weak.lock();
            if (self && self->windowBuilt() && self->window_->webView() != nullptr) {
                self->window_->push("theme", MacOverlay::themeScript(mode));
            }
        });
    }
    services_.detect->addObserver([weak](const DetectState& now, const DetectState& before) {
        auto self = weak.lock();
        if (!self || !self->windowBuilt() || self->window_->webView() == nullptr) {
            return;
        }
        const bool inFlight = self->bridge()->authCallsInFlight() >= 1;
        if (auto step = MacOverlay::push(before.loggedIn, now.loggedIn, inFlight)) {
            self->window_->push(step->name, step->script);
        }
    });
}

}  // namespace parlendo
