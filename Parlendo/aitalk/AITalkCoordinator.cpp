#include "aitalk/AITalkCoordinator.h"

#include "aitalk/AITalkKeys.h"
#include "aitalk/ClipboardFetch.h"
#include "auth/AccountLocalData.h"
#include "capture/DesktopCapture.h"
#include "foundation/AppBundle.h"
#include "foundation/ClientIdentity.h"
#include "foundation/FileIO.h"
#include "foundation/Log.h"
#include "foundation/Overloaded.h"
#include "foundation/PlatformWords.h"
#include "foundation/RuntimePaths.h"
#include "foundation/WorkerQueue.h"
#include "manage/SystemOpener.h"
#include "projects/DriveRoutes.h"
#include "projects/FileBookmarks.h"
#include "projects/PopplerExtractor.h"
#include "projects/PopplerThumbnailer.h"

#include <unistd.h>

#include <cstdio>

namespace parlendo {

namespace {
constexpr const char* kTag = "ai_talk";
}

// The viewer probe of one trigger: its hints once it ends, and who waits for them meanwhile.
struct AITalkCoordinator::ProbeTask {
    std::optional<ViewerHints> hints;
    std::vector<Completion<void(ViewerHints)>> waiters;

    void resolve(ViewerHints value) {
        hints = std::move(value);
        auto waiting = std::move(waiters);
        waiters.clear();
        for (auto& waiter : waiting) {
            waiter(*hints);
        }
    }
    void then(Completion<void(ViewerHints)> done) {
        if (hints) {
            done(*hints);
        } else {
            waiters.push_back(std::move(done));
        }
    }
};

AITalkPlatform AITalkPlatform::fromDesktop(const DesktopCapture& desktop, ExecutorPtr main,
                                           std::shared_ptr<CurlSession> dataSession) {
    AITalkPlatform platform;
    platform.main = main;
    platform.work = ThreadPool::shared();
    platform.fetchQueue = desktop.fetchQueue;
    platform.accessibility = desktop.accessibility;
    auto windows = desktop.selection->windows;
    platform.context = desktop.contextReader();
    platform.frontApplication = [windows] {
        return windows->frontmost();
    };
    platform.clipboardCount = desktop.selection->clipboardCount;
    platform.dataSession = std::move(dataSession);
    platform.opener = std::make_shared<SystemOpener>();
    platform.resources = AppBundle::main().resourceDirectory;
    platform.stateRoot = RuntimePaths::stateRoot();
    platform.clock = desktop.clock;
    return platform;
}

std::shared_ptr<AITalkCoordinator> AITalkCoordinator::make(std::shared_ptr<AppEnvironment> env,
                                                           AITalkPlatform platform) {
    std::shared_ptr<AITalkCoordinator> coordinator(
        new AITalkCoordinator(std::move(env), std::move(platform)));
    coordinator->build();
    return coordinator;
}

AITalkCoordinator::AITalkCoordinator(std::shared_ptr<AppEnvironment> env, AITalkPlatform platform)
    : env_(std::move(env)), platform_(std::move(platform)) {
    if (!platform_.clock) {
        platform_.clock = SystemClock::shared();
    }
}

void AITalkCoordinator::build() {
    const AppEnvironment& env = *env_;
    const auto& clock = platform_.clock;
    local_ = std::make_shared<DriveLocalStore>(platform_.stateRoot);
    // The settings file is written on a queue of its own: in the order the changes were made, and
    // never on the main loop, which a busy disk would hold for as long as the write takes.
    writer_ = std::make_shared<SerialQueue>("parlendo.drive-local");
    copies_ = std::make_shared<PageCopyStore>(platform_.stateRoot, clock);
    mathLib_ = std::make_shared<MathLib>(platform_.resources);
    clipboard_ = std::make_shared<GtkClipboardSource>(platform_.clipboardCount);
    hotkey_ = std::make_shared<CopyDoubleTapHotkey>(
        [clipboard = clipboard_] { return clipboard->changeCount(); });

    UploadChain::Parts upload;
    upload.base = env.config.supabaseURL;
    upload.clientInfo = ClientIdentity::current();
    upload.dataSession = platform_.dataSession;
    upload.auth = env.auth;
    upload.apiKey = env.config.publicKey;
    upload.deliver = ServerClient::deliverOn(platform_.main);
    upload.gate = env.gate;
    upload.net = env.net;
    upload.trustedCAFile = platform_.trustedCAFile;
    upload.connectTo = platform_.connectTo;
    uploadChain_ = UploadChain::make(std::move(upload));
    drive_ = std::make_shared<DriveService>(
        env.client, env.auth, local_, copies_, std::make_shared<FileBookmarks>(),
        std::make_shared<PopplerExtractor>(), uploadChain_.route,
        DriveService::Runtime{platform_.work, platform_.main, clock, writer_});
    screen_ = std::make_shared<ManageScreenLink>(env.manageScreen, platform_.opener);

    // The ask calls ride the data session's client: each carries its own, longer time-out.
    ask_ = std::make_shared<DriveAsk>(env.client, drive_, env.appVersion, clock);

    sync_ = std::make_shared<PageCopySync>(drive_, platform_.work);
    sync_->setBackgroundAllowed(
        [gate = env.gate] { return !gate || gate->backgroundAllowed({"prefetch"}); });
    auto locator = std::make_shared<PageLocator>(copies_, clock, PageLocator::indexBytesMax);
    finder_ = std::make_shared<PageFinder>(drive_, locator, sync_, platform_.work, clock);
    thumbnails_ = std::make_shared<DriveThumbnails>(drive_, copies_, env.auth,
                                                    std::make_shared<PopplerThumbnailer>(),
                                                    thumbnailMaxBytes, platform_.work, clock);
    probe_ = std::make_shared<DesktopViewerProbe>(platform_.accessibility, platform_.context,
                                                  platform_.fetchQueue, platform_.main, clock);

    // The server's answer is applied on the settings writer: bringing the copy in line writes the
    // settings file, after the user's own changes of the switch.
    owner_ = std::make_shared<AITalkOwner>(
        [drive = drive_] { return drive->aiDetectOn(); },
        [drive = drive_](bool on) { return drive->setAIDetect(on, "server_sync").has_value(); },
        [ask = ask_, writer = writer_](Completion<void(PopupLookup)> done) {
            ask->activePopup([writer, done = std::move(done)](PopupLookup lookup) mutable {
                writer->post([done = std::move(done), lookup = std::move(lookup)]() mutable {
                    done(std::move(lookup));
                });
            });
        },
        clock);

    stateItem_ = std::make_shared<MenuItem>();
    std::weak_ptr<AITalkCoordinator> weak = weak_from_this();
    stateItem_->handler = [weak] {
        if (auto self = weak.lock()) {
            self->env_->openManage();
        }
    };

    AnswerAhead::Hooks hooks;
    hooks.build = [weak](Completion<void()> done) {
        if (auto self = weak.lock()) {
            self->makeAnswer(std::move(done));
        } else {
            done();
        }
    };
    hooks.release = [weak] {
        if (auto self = weak.lock()) {
            self->releaseAnswer();
        }
    };
    hooks.inUse = [weak] {
        auto self = weak.lock();
        return self && self->answerInUse();
    };
    ahead_ = std::make_shared<AnswerAhead>(platform_.main, std::move(hooks));
}

void AITalkCoordinator::start() {
    if (started_) {
        return;
    }
    started_ = true;
    std::weak_ptr<AITalkCoordinator> weak = weak_from_this();
    const auto main = platform_.main;
    // Held weakly: the ask client and the finder hold the project service themselves.
    drive_->setOnChange(
        [ask = std::weak_ptr<DriveAsk>(ask_), finder = std::weak_ptr<PageFinder>(finder_)] {
            if (auto a = ask.lock()) {
                a->invalidate();
            }
            if (auto f = finder.lock()) {
                f->invalidate(false);
            }
        });
    drive_->setOnDetectChange([weak, main] {
        if (auto self = weak.lock()) {
            self->owner_->noteCopyChanged();
        }
        main->post([weak] {
            if (auto self = weak.lock()) {
                self->refreshMenu();
                self->refreshGate();
            }
        });
    });
    screen_->listenForDrops();

    hotkey_->onTrigger = [weak](std::int64_t baseline, double at) {
        if (auto self = weak.lock()) {
            self->triggered(baseline, at);
        }
    };
    env_->input->subscribe(hotkey_);

    env_->accountScope->onAccountChange("쪽 글 사본", [copies = copies_, work = platform_.work](
                                                          const std::optional<std::string>& user) {
        if (!user) {
            // The sign-out runs here, on the main loop: the copies go out of reach at once,
            // and their files (a whole document's text each) are removed off it.
            const bool detached = copies->detach();
            work->post([copies, detached] {
                const bool removed = detached ? copies->removeDetached() : copies->clear();
                Log::write("drive",
                           std::string("사본 전부 지움 success=") + (removed ? "true" : "false"));
            });
            return;
        }
        copies->pruneOthers(*user);
        Log::write("drive", "사본 남김 — 다른 계정 폴더만 지움");
    });
    env_->accountScope->onAccountChange(
        "AI 톡", [weak, main, ask = ask_, finder = finder_](const std::optional<std::string>&) {
            ask->invalidate();
            finder->invalidate(true);
            main->post([weak] {
                auto self = weak.lock();
                if (!self) {
                    return;
                }
                // A window never built has no conversation to close.
                if (self->answer_) {
                    self->answer_->session->close("account");
                }
                self->refreshGate();
                self->ahead_->settled();
            });
        });
    drive_->registerForgetters(AccountLocalData::shared());

    env_->detect->addObserver([weak](const DetectState& now, const DetectState& before) {
        auto self = weak.lock();
        if (!self) {
            return;
        }
        if (now.loggedIn && !before.loggedIn) {
            self->loggedIn();
        }
        if (now.loggedIn != before.loggedIn) {
            self->refreshGate();
        }
    });
    owner_->onChange = [weak, main] {
        main->post([weak] {
            if (auto self = weak.lock()) {
                self->refreshMenu();
                self->refreshGate();
            }
        });
    };
    if (env_->theme) {
        env_->theme->observe([weak](ThemeMode mode, ThemeStore::Source) {
            auto self = weak.lock();
            if (self && self->answer_ && self->answer_->window) {
                self->answer_->window->applyTheme(mode);
            }
        });
    }
    // The window and its page are made ahead of the first question, while one can be asked.
    ahead_->start();
    refreshGate();
    refreshMenu();
}

bool AITalkCoordinator::gateOpen() const {
    return !owner_->gate(env_->detect->state().loggedIn).ignore;
}

void AITalkCoordinator::refreshGate() {
    ahead_->gate(gateOpen());
}

void AITalkCoordinator::loggedIn() {
    std::weak_ptr<AITalkCoordinator> weak = weak_from_this();
    owner_->sync("login", [weak, main = platform_.main](AITalkOwner::Outcome) {
        main->post([weak] {
            if (auto self = weak.lock()) {
                self->prefetchFirstPopup();
            }
        });
    });
}

void AITalkCoordinator::prefetchFirstPopup() {
    std::weak_ptr<AITalkCoordinator> weak = weak_from_this();
    ask_->activePopup([weak](PopupLookup popup) {
        auto self = weak.lock();
        if (!self) {
            return;
        }
        std::optional<std::string> first;
        if (popup && *popup) {
            first = (*popup)->driveID;
        }
        self->sync_->prefetch(std::move(first), [](int) {});
    });
}

BridgeRouteGroups AITalkCoordinator::bridgeRoutes() const {
    auto env = env_;
    auto mathLib = mathLib_;
    DriveRoutes::DetectStatus detectStatus = [env] {
        std::optional<Json> notice;
        if (env->gate) {
            if (auto current = env->gate->notice()) {
                notice = current->screen();
            }
        }
        return env->detect->state().manageStatus(static_cast<std::int32_t>(::getpid()), notice);
    };
    DriveRoutes::MathSource mathSource =
        [mathLib, work = platform_.work](Completion<void(std::string)> done) {
            work->post([mathLib, done = std::move(done)]() mutable { done(mathLib->source()); });
        };
    return {std::make_shared<DriveRoutes>(drive_, screen_, std::move(detectStatus),
                                          std::move(mathSource), thumbnails_, platform_.main)};
}

MenuItems AITalkCoordinator::menu() const {
    MenuItems items;
    items.status = {stateItem_};
    return items;
}

void AITalkCoordinator::refreshMenu() {
    const auto line = AITalkMenu::line(env_->detect->state().loggedIn, owner_->copyOn());
    stateItem_->title = PlatformWords::render(line.title);
    stateItem_->enabled = line.opensManage;
}

void AITalkCoordinator::menuWillOpen() {
    if (env_->detect->state().loggedIn) {
        owner_->syncIfDue("menu", [](std::optional<AITalkOwner::Outcome>) {});
    }
}

void AITalkCoordinator::makeAnswer(Completion<void()> done) {
    const ThemeMode mode = env_->theme ? env_->theme->mode() : ThemeMode::light;
    std::weak_ptr<AITalkCoordinator> weak = weak_from_this();
    // The bundled renderer page and the mathematics script are read off the main loop: a busy disk
    // holds each read for tens of milliseconds. The window is built on the main loop.
    platform_.work->post([weak, mode, resources = platform_.resources, mathLib = mathLib_,
                          main = platform_.main, done = std::move(done)]() mutable {
        std::optional<std::string> windowsHTML = fileio::readFile(resources / "ai_popup_web.html");
        if (!windowsHTML) {
            Log::write(kTag,
                       "🔴 ai_popup_web.html 이 번들에 없다 — 답이 꾸밈 없이 글자 그대로 보인다");
        }
        auto page = std::make_shared<const AnswerPage::Built>(AnswerPage::build(windowsHTML, mode));
        auto math = std::make_shared<const std::string>(mathLib->source());
        main->post([weak, mode, page, math, done = std::move(done)]() mutable {
            if (auto self = weak.lock()) {
                self->buildAnswer(*page, *math, mode, std::move(done));
            } else {
                done();
            }
        });
    });
}

void AITalkCoordinator::buildAnswer(const AnswerPage::Built& page, const std::string& mathSource,
                                    ThemeMode mode, Completion<void()> done) {
    std::weak_ptr<AITalkCoordinator> weak = weak_from_this();
    Completion<void(std::shared_ptr<AnswerView>)> built =
        [weak, done = std::move(done)](std::shared_ptr<AnswerView> window) mutable {
            if (auto self = weak.lock()) {
                // The theme may have changed while the window was being built.
                if (window && self->env_->theme) {
                    window->applyTheme(self->env_->theme->mode());
                }
                self->answer_ = self->pairWith(std::move(window));
            }
            done();
        };
    if (!platform_.makeWindow) {
        built(nullptr);
        return;
    }
    platform_.makeWindow(page, mathSource, mode, platform_.main, platform_.clock, std::move(built));
}

void AITalkCoordinator::releaseAnswer() {
    if (!answer_) {
        return;
    }
    Log::write(kTag, "답 창 놓음 — AI 톡을 쓸 수 없는 동안 웹 화면을 두지 않음");
    answer_.reset();
}

bool AITalkCoordinator::answerInUse() const {
    if (!answer_) {
        return false;
    }
    const auto& session = answer_->session;
    return session->busy() || session->isOpen() ||
           (answer_->window && answer_->window->isVisible());
}

AITalkCoordinator::Answer AITalkCoordinator::pairWith(std::shared_ptr<AnswerView> window) {
    if (!window) {
        // The session still runs; its notices reach the user, its answers have nowhere to go.
        Log::write(kTag, "🔴 답 창을 만들 수 없음");
        auto session = std::make_shared<AITalkSession>(
            ask_, std::weak_ptr<AnswerScreen>(),
            [env = env_](const std::string& text) {
                env->notice(PlatformWords::render(text), noticeSeconds);
            },
            [](std::string, ActivePopup, Completion<void(std::optional<PageHint>)> done) {
                done(std::nullopt);
            },
            platform_.clock);
        return Answer{nullptr, std::move(session)};
    }
    std::weak_ptr<AITalkCoordinator> weak = weak_from_this();
    auto env = env_;
    auto session = std::make_shared<AITalkSession>(
        ask_, window,
        [env](const std::string& text) { env->notice(PlatformWords::render(text), noticeSeconds); },
        [weak](std::string selection, ActivePopup popup,
               Completion<void(std::optional<PageHint>)> done) {
            auto self = weak.lock();
            if (!self) {
                done(std::nullopt);
                return;
            }
            self->locate(std::move(selection), std::move(popup), std::move(done));
        },
        platform_.clock);
    std::weak_ptr<AITalkSession> weakSession = session;
    const auto main = platform_.main;
    window->onFollowup = [weakSession, main](const std::string& text) {
        main->post([weakSession, text] {
            if (auto s = weakSession.lock()) {
                s->followup(text);
            }
        });
    };
    window->onSelectionOnly = [weakSession, main] {
        main->post([weakSession] {
            if (auto s = weakSession.lock()) {
                s->selectionOnly();
            }
        });
    };
    window->onRetry = [weakSession, main] {
        main->post([weakSession] {
            if (auto s = weakSession.lock()) {
                s->retry();
            }
        });
    };
    window->onClose = [weak, weakSession, main](const std::string& reason) {
        main->post([weak, weakSession, reason] {
            if (auto s = weakSession.lock()) {
                s->close(reason);
            }
            // With AI talk off meanwhile, the window goes once it is closed.
            if (auto self = weak.lock()) {
                self->ahead_->settled();
            }
        });
    };
    session->onServerChecked = [owner = owner_, writer = writer_](bool on) {
        writer->post([owner, on] { owner->apply(on, "cmdcc"); });
    };
    window->loadSize = [local = local_, env] {
        return local->setting("ai_popup_size", env->auth ? env->auth->userID() : std::nullopt);
    };
    // Written off the main loop, like every change of the settings file.
    window->saveSize = [local = local_, env, writer = writer_](const std::string& size) {
        auto user = env->auth ? env->auth->userID() : std::nullopt;
        writer->post([local, size, user] { local->setSetting("ai_popup_size", size, user); });
    };
    return Answer{std::move(window), std::move(session)};
}

void AITalkCoordinator::triggered(std::int64_t baseline, double at) {
    const bool loggedIn = env_->auth && env_->auth->isLoggedIn();
    const auto gate = owner_->gate(loggedIn);
    if (gate.ignore) {
        Log::write(kTag, "무시 reason=" + *gate.ignore);
        if (*gate.ignore == "ai_talk_off") {
            owner_->syncIfDue("cmdcc_off", [](std::optional<AITalkOwner::Outcome>) {});
        }
        return;
    }
    // The window is built now if it is not there yet; the viewer and the clipboard are read
    // meanwhile.
    ahead_->gate(true);
    ahead_->whenBuilt([] {});
    // The viewer is read at once, while the clipboard is awaited and the popup is checked.
    auto task = std::make_shared<ProbeTask>();
    viewerProbe_ = task;
    probe_->probe(platform_.frontApplication ? platform_.frontApplication() : std::nullopt,
                  [task](ViewerHints hints) { task->resolve(std::move(hints)); });

    if (answer_ && answer_->session->busy()) {
        answer_->session->start(std::nullopt);
        return;
    }
    std::weak_ptr<AITalkCoordinator> weak = weak_from_this();
    auto clock = platform_.clock;
    ClipboardFetch::run(
        clipboard_, env_->input->syntheticCopies(), baseline, AITalkKeys::copyWait,
        AITalkKeys::copyPoll, platform_.main, [weak, clock, at](ClipboardFetch::Outcome outcome) {
            auto self = weak.lock();
            if (!self) {
                return;
            }
            std::visit(overloaded{
                           [&](ClipboardFetch::Text& text) {
                               char line[160];
                               std::snprintf(line, sizeof line,
                                             " copy_wait_ms=%.0f key_to_text_ms=%.0f",
                                             text.waitedMs, (clock->uptime() - at) * 1000);
                               Log::write(kTag, "글 가져옴 " + Log::redact(text.text) + line);
                               self->ask(std::move(text.text));
                           },
                           [&](ClipboardFetch::NoCopy&) {
                               Log::write(kTag, "글 없음 reason=no_copy");
                               self->ask(std::nullopt);
                           },
                           [&](ClipboardFetch::Unreadable&) {
                               Log::write(kTag, "글 없음 reason=unreadable");
                               self->ask(std::nullopt);
                           },
                       },
                       outcome);
        });
}

void AITalkCoordinator::ask(std::optional<std::string> text) {
    std::weak_ptr<AITalkCoordinator> weak = weak_from_this();
    ahead_->whenBuilt([weak, text = std::move(text)]() mutable {
        auto self = weak.lock();
        if (self && self->answer_) {
            self->answer_->session->start(std::move(text));
        }
    });
}

void AITalkCoordinator::locate(std::string selection, ActivePopup popup,
                               Completion<void(std::optional<PageHint>)> done) {
    auto finder = finder_;
    // The finder answers from its own threads; the session goes on on the main thread.
    Completion<void(std::optional<PageHint>)> onMain =
        [main = platform_.main, done = std::move(done)](std::optional<PageHint> hint) mutable {
            main->post([done = std::move(done), hint = std::move(hint)]() mutable {
                done(std::move(hint));
            });
        };
    auto find = [finder, selection = std::move(selection), popup = std::move(popup),
                 done = std::move(onMain)](ViewerHints hints) mutable {
        finder->find(std::move(selection), std::move(popup), std::move(hints), std::move(done));
    };
    // The latest trigger's probe, read now: a later trigger's probe replaces an older one.
    if (viewerProbe_) {
        viewerProbe_->then(std::move(find));
    } else {
        find(ViewerHints{});
    }
}

}  // namespace parlendo
