#include "capture/CaptureCoordinator.h"

#include "auth/AccountLocalData.h"
#include "capture/DetectMenu.h"
#include "capture/DetectRoutes.h"
#include "foundation/Log.h"
#include "foundation/PlatformWords.h"
#include "foundation/WorkerQueue.h"
#include "lookup/GeneratingDictionary.h"
#include "lookup/NegativeCache.h"
#include "lookup/ServerDictionary.h"
#include "lookup/ServerEmbedder.h"
#include "lookup/ServerSenseGenerator.h"
#include "lookup/ServerTitleVectorStore.h"
#include "lookup/ServerTranslator.h"
#include "manage/ManageSignals.h"
#include "popups/PopupSetting.h"
#include "saving/SaveRetry.h"
#include "saving/ServerSaveBackend.h"
#include "saving/ServerSourceStore.h"

#include <unistd.h>

namespace parlendo {

namespace {

constexpr int saveAttempts = 3;
constexpr double toggleNoticeSeconds = 1.2;
constexpr double permissionLostSeconds = 4.0;

std::string flag(bool value) {
    return value ? "true" : "false";
}

}  // namespace

std::shared_ptr<CaptureCoordinator> CaptureCoordinator::make(std::shared_ptr<AppEnvironment> env,
                                                             CaptureDesktop desktop) {
    auto coordinator = std::shared_ptr<CaptureCoordinator>(
        new CaptureCoordinator(std::move(env), std::move(desktop)));
    coordinator->build();
    return coordinator;
}

CaptureCoordinator::CaptureCoordinator(std::shared_ptr<AppEnvironment> env, CaptureDesktop desktop)
    : env_(std::move(env)),
      desktop_(std::move(desktop)),
      toggleHotkey_(std::make_shared<OptionDoubleTap>()),
      lookupHotkey_(std::make_shared<LookupHotkey>()),
      stateItem_(std::make_shared<MenuItem>()),
      popupsItem_(std::make_shared<MenuItem>()),
      toggleItem_(std::make_shared<MenuItem>()) {}

CaptureCoordinator::~CaptureCoordinator() = default;

void CaptureCoordinator::build() {
    auto& env = *env_;
    const auto session = env.session;
    titleVectors_ = TitleVectorUploader::make(
        std::make_shared<ServerTitleVectorStore>(env.titleClient, session),
        std::make_shared<ServerEmbedder>(env.titleClient, env.config.embeddingEnabled,
                                         env.appVersion),
        session);
    titleVectors_->setBackgroundAllowed([gate = env.gate] {
        return !gate || gate->backgroundAllowed({"title_upload", "embed"});
    });
    sources_ = SourceResolver::make(std::make_shared<ServerSourceStore>(env.server, session));
    words_ = WordSaver::make(std::make_shared<ServerSaveBackend>(env.server, session), saveAttempts,
                             SaveRetry::backoff, SerialQueue::timers());
    sentences_ = ServerSentenceSaver::make(env.server, session, saveAttempts, SaveRetry::backoff,
                                           SerialQueue::timers());
    popupSettings_ = ActivePopupSettings::make(env.server, session, env.popupDefaults);
    auto lookup = std::make_shared<GeneratingDictionary>(
        std::make_shared<ServerDictionary>(env.client),
        std::make_shared<ServerSenseGenerator>(env.server, env.appVersion),
        std::make_shared<NegativeCache>(256, 600), SerialQueue::timers());
    auto translator = std::make_shared<ServerTranslator>(env.client, env.appVersion);

    pipeline_ = CapturePipeline::make(CapturePipeline::Services{
        desktop_.popup, popupSettings_, lookup, translator, sources_, words_, sentences_,
        titleVectors_, session, SerialQueue::timers(), env.main, desktop_.clock, desktop_.journal});

    std::weak_ptr<CaptureCoordinator> weak = weak_from_this();
    CaptureController::Dependencies deps;
    deps.pipeline = pipeline_;
    deps.notice = [show = desktop_.show](const std::string& text) {
        if (show) {
            show(text, PopupOptions::standard().duration);
        }
    };
    deps.onCapture = [settings = popupSettings_] {
        settings->refreshIfStale();
    };
    deps.syntheticCopies = env.input->syntheticCopies();
    deps.readers = desktop_.readers;
    deps.fetchQueue = desktop_.fetchQueue;
    deps.main = env.main;
    deps.clock = desktop_.clock;
    controller_ = CaptureController::make(std::move(deps));

    stateItem_->enabled = false;
    popupsItem_->enabled = false;
    toggleItem_->handler = [weak] {
        if (auto self = weak.lock()) {
            self->toggle("menu");
        }
    };

    env.notice = [show = desktop_.show](const std::string& text, double seconds) {
        if (show) {
            show(text, seconds);
        }
    };
    pipeline_->onSentenceOutcome = [sources = sources_](const SentenceWork& work,
                                                        const SentenceSaveOutcome& outcome) {
        sources->noteSentenceOutcome(outcome, work.sourceID);
    };
    pipeline_->unsaved = env.unsaved;
    pipeline_->isOffline = [net = env.net] {
        return net && net->offline();
    };

    // Failed word saves count as unsaved and say so, after the hooks already there.
    auto previous = words_->onOutcome();
    words_->setOnOutcome(
        [previous, sources = sources_, unsaved = env.unsaved](const WordSaver::Outcome& outcome) {
            if (previous) {
                previous(outcome);
            }
            sources->noteSaveOutcome(outcome);
            if (unsaved) {
                unsaved->note(outcome);
            }
            if (outcome.result) {
                return;
            }
            const SaveVerdict& verdict = outcome.result.error();
            if (verdict.is<SaveVerdict::Retry>()) {
                Log::write("save", "🔴 단어 저장 여부 모름 why=" + verdict.code().value_or("") +
                                       " attempts=" + std::to_string(outcome.attempts) +
                                       " work=" + outcome.work.id.substr(0, 8));
            }
        });
}

void CaptureCoordinator::start() {
    if (started_) {
        return;
    }
    started_ = true;
    auto& env = *env_;
    std::weak_ptr<CaptureCoordinator> weak = weak_from_this();

    toggleHotkey_->onTrigger = [weak] {
        if (auto self = weak.lock()) {
            self->toggle("option_double_tap");
        }
    };
    lookupHotkey_->onTrigger = [weak](double releasedAt) {
        if (auto self = weak.lock()) {
            self->controller_->lookupSelection(releasedAt);
        }
    };
    env.input->subscribe(toggleHotkey_);
    env.input->subscribe(lookupHotkey_);

    env.detect->addObserver([weak](const DetectState& now, const DetectState& before) {
        if (auto self = weak.lock()) {
            self->onDetect(now, before);
        }
    });

    env.accountScope->onAccountChange("제목 벡터",
                                      [titles = titleVectors_](const auto&) { titles->reset(); });
    env.accountScope->onAccountChange("출처 기억",
                                      [sources = sources_](const auto&) { sources->reset(); });
    env.accountScope->onAccountChange("저장 안 된 것", [unsaved = env.unsaved](const auto&) {
        if (unsaved) {
            unsaved->reset();
        }
    });
    env.accountScope->onAccountChange("팝업 설정", [weak](const auto&) {
        if (auto self = weak.lock()) {
            self->popupSettings_->reset();
            self->reloadSettings("account_changed");
        }
    });

    if (desktop_.journal) {
        env.accountScope->onAccountChange(
            "저장 대기 기록",
            [pipeline = pipeline_](const auto& user) { pipeline->followAccount(user); });
        // A lost session keeps the journal (the account still owns the captures), and what was
        // dropped with it goes out again once the login is back; the user's own sign-out, once
        // its drain is over, clears it.
        if (env.account) {
            env.account->setOnSignedOutOf(
                [weak = std::weak_ptr<SaveJournal>(desktop_.journal)](const std::string& user) {
                    if (auto journal = weak.lock()) {
                        journal->signedOut(user);
                    }
                });
            env.account->setOnLoginBack(
                [pipeline = std::weak_ptr<CapturePipeline>(pipeline_)](const std::string& user) {
                    if (auto self = pipeline.lock()) {
                        self->loginBack(user);
                    }
                });
        }
        // What the journal was asked before the quit reaches the disk before the process ends:
        // a removal lost there would send a saved capture again at the next start.
        env.shutdown->addLaterTask(
            "저장 대기 기록",
            [weak = std::weak_ptr<SaveJournal>(desktop_.journal)](Completion<void()> done) {
                auto journal = weak.lock();
                if (!journal) {
                    done();
                    return;
                }
                journal->whenWritten([done = std::move(done)]() mutable { done(); });
            });
        // The registry lives as long as the process; it must not keep the journal (and its
        // writer thread) past the program.
        AccountLocalData::shared().registerForgetter(
            "저장 대기 기록",
            [weak = std::weak_ptr<SaveJournal>(desktop_.journal)](const std::string& user) {
                auto journal = weak.lock();
                return journal && journal->forget(user);
            });
    }

    env.detect->addObserver([weak](const DetectState& now, const DetectState& before) {
        if (now.loggedIn && !before.loggedIn) {
            if (auto self = weak.lock()) {
                self->reloadSettings("login");
            }
        }
    });

    observers_.push_back(
        ManageSignals::observe(ManageSignals::popupSettingsChanged, *desktop_.signals, [weak] {
            if (auto self = weak.lock()) {
                self->reloadSettings("manage_changed");
            }
        }));
    observers_.push_back(ManageSignals::observe(
        ManageSignals::sourcesChanged, *desktop_.signals, [sources = sources_] {
            sources->reset();
            Log::write("source", "출처 기억 비움 — 관리 창에서 단어장이 바뀜");
        }));

    env.shutdown->addCounter([pipeline = pipeline_, words = words_, sentences = sentences_] {
        return pipeline->pending() + words->pending() + sentences->pending();
    });
    // The switches are turned back on the fetch queue, after its last read: the reads and the
    // restore share the accessibility client's call time-out.
    env.shutdown->addLaterTask("접근성 되돌리기",
                               [restore = desktop_.restoreAccessibility,
                                queue = desktop_.fetchQueue](Completion<void()> done) {
                                   if (!restore || !queue) {
                                       done();
                                       return;
                                   }
                                   queue->post([restore, done = std::move(done)]() mutable {
                                       restore();
                                       done();
                                   });
                               });
    env.shutdown->addLaterTask("제목 벡터 수", [titles = titleVectors_](Completion<void()> done) {
        titles->statsLine([done = std::move(done)](std::string line) mutable {
            Log::write("title_vec", line);
            done();
        });
    });

    controller_->onRejected = [detect = env.detect](bool busy) {
        detect->write([busy](DetectState& state) {
            if (busy) {
                state.rejections.busy += 1;
            } else {
                state.rejections.notFetched += 1;
            }
        });
    };
    pipeline_->onPopupsRejected = [detect = env.detect](int count) {
        detect->write([count](DetectState& state) { state.rejections.popups += count; });
    };

    watchPermission();
}

void CaptureCoordinator::reloadSettings(const std::string& reason) {
    env_->main->post([settings = popupSettings_, reason] { settings->reload(reason); });
}

void CaptureCoordinator::onDetect(const DetectState& now, const DetectState& before) {
    if (now.watching() == before.watching()) {
        return;
    }
    controller_->setEnabled(now.watching());
    std::string line = "watching=" + flag(now.watching()) + " enabled=" + flag(now.enabled) +
                       " ready=" + flag(now.ready()) + " healthy=" + flag(now.healthy);
    if (const auto blocker = now.blocker()) {
        line += " blocker=" + *blocker;
    }
    Log::write("detect", line);
}

void CaptureCoordinator::toggle(const std::string& source) {
    auto& env = *env_;
    const DetectState state = env.detect->state();
    if (!state.permissionGranted) {
        env.requestPermission();
        return;
    }
    if (!state.loggedIn) {
        env.requestLogin();
        return;
    }
    const bool enabled = !state.enabled;
    env.detect->write([enabled](DetectState& s) { s.enabled = enabled; });
    Log::write("detect", "enabled=" + flag(enabled) + " source=" + source);
    env.notice(enabled ? "감지 켜짐" : "감지 꺼짐", toggleNoticeSeconds);
}

void CaptureCoordinator::watchPermission() {
    permission_.trusted = desktop_.trusted && desktop_.trusted();
    std::weak_ptr<CaptureCoordinator> weak = weak_from_this();
    if (desktop_.watchSystemNotice) {
        desktop_.watchSystemNotice([weak, main = env_->main] {
            for (const double delay : noticeChecks) {
                main->postAfter(delay, [weak] {
                    if (auto self = weak.lock()) {
                        self->recheckPermission("system_notice");
                    }
                });
            }
        });
    }
    schedulePermissionTimer();
}

void CaptureCoordinator::schedulePermissionTimer() {
    std::weak_ptr<CaptureCoordinator> weak = weak_from_this();
    env_->main->postAfter(permissionPeriod, [weak] {
        if (auto self = weak.lock()) {
            self->recheckPermission("timer");
            self->schedulePermissionTimer();
        }
    });
}

void CaptureCoordinator::recheckPermission(const std::string& source) {
    if (!desktop_.refreshTrust) {
        checkPermission(source);
        return;
    }
    std::weak_ptr<CaptureCoordinator> weak = weak_from_this();
    desktop_.refreshTrust([weak, source] {
        if (auto self = weak.lock()) {
            self->checkPermission(source);
        }
    });
}

void CaptureCoordinator::checkPermission(const std::string& source) {
    checkBus(source);
    const bool trusted = desktop_.trusted && desktop_.trusted();
    const auto change = permission_.observe(trusted);
    if (!change) {
        return;
    }
    auto& env = *env_;
    switch (*change) {
        case PermissionWatch::Change::restored:
            Log::write("permission", "손쉬운 사용 권한이 다시 켜짐 source=" + source);
            env.detect->write([](DetectState& state) { state.permissionGranted = true; });
            break;
        case PermissionWatch::Change::lost:
            Log::write("permission", "🔴 손쉬운 사용 권한이 실행 중에 꺼짐 source=" + source +
                                         " — 감지를 멈추고 안내한다");
            env.detect->write([](DetectState& state) { state.permissionGranted = false; });
            env.notice("손쉬운 사용 권한이 꺼졌어요 · 감지가 멈췄어요", permissionLostSeconds);
            env.requestPermission();
            break;
    }
}

// The listeners and the applications' connections ended with the bus; a new bus answers the
// trust read as well as the old one did, but nothing reaches this process through it until it
// starts again.
void CaptureCoordinator::checkBus(const std::string& source) {
    auto& env = *env_;
    if (!desktop_.busEnded || !env.detect->state().healthy || !desktop_.busEnded()) {
        return;
    }
    Log::write("permission", "🔴 접근성 버스가 끝나 듣던 연결이 끊김 source=" + source +
                                 " — 감지를 멈추고 앱을 다시 켜라고 안내한다");
    const bool enabled = env.detect->state().enabled;
    env.detect->write([](DetectState& state) { state.healthy = false; });
    if (enabled) {
        env.notice("접근성 연결이 끊겨 감지가 멈췄어요 · 앱을 다시 켜주세요",
                   permissionLostSeconds);
    }
}

BridgeRouteGroups CaptureCoordinator::bridgeRoutes() const {
    auto gate = env_->gate;
    return {std::make_shared<DetectRoutes>(env_->detect->control(),
                                           static_cast<std::int32_t>(::getpid()),
                                           [gate]() -> std::optional<Json> {
                                               if (!gate) {
                                                   return std::nullopt;
                                               }
                                               if (auto notice = gate->notice()) {
                                                   return notice->screen();
                                               }
                                               return std::nullopt;
                                           })};
}

MenuItems CaptureCoordinator::menu() const {
    MenuItems items;
    items.status = {stateItem_, popupsItem_, toggleItem_};
    return items;
}

void CaptureCoordinator::refreshMenu() {
    checkPermission("menu");
    std::vector<DetectMenu::SettingShows> shows;
    for (const auto& setting : popupSettings_->current()) {
        shows.push_back(DetectMenu::SettingShows{setting.shows(PopupInput::word),
                                                 setting.shows(PopupInput::sentence)});
    }
    const auto lines = DetectMenu::lines(env_->detect->state(), shows, popupSettings_->isLoaded());
    // The menu shows the lines in this desktop's key names.
    stateItem_->title = PlatformWords::render(lines.state);
    toggleItem_->title = PlatformWords::render(lines.toggle);
    popupsItem_->title = PlatformWords::render(lines.popups.value_or(""));
    popupsItem_->hidden = !lines.popups.has_value();
}

}  // namespace parlendo
