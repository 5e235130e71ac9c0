#include "shell/AppDelegate.h"

#include "foundation/Log.h"
#include "shell/ShutdownDrain.h"
#include "shell/StartupTiming.h"

#include <unistd.h>

namespace parlendo {

namespace {

std::string flag(bool value) {
    return value ? "true" : "false";
}

}  // namespace

std::shared_ptr<AppDelegate> AppDelegate::make(Parts parts, Platform platform) {
    return std::shared_ptr<AppDelegate>(new AppDelegate(std::move(parts), std::move(platform)));
}

AppDelegate::AppDelegate(Parts parts, Platform platform)
    : parts_(std::move(parts)),
      platform_(std::move(platform)),
      procStats_(platform_.clock->uptime(), platform_.sampler) {
    if (!platform_.mark) {
        platform_.mark = [](const std::string& name) {
            StartupTiming::mark(name);
        };
    }
}

const std::shared_ptr<AppEnvironment>& AppDelegate::env() {
    if (!env_) {
        env_ = parts_.environment();
    }
    return env_;
}

const AppDelegate::Modules& AppDelegate::modules() {
    if (!modules_) {
        modules_ = parts_.modules ? parts_.modules(env()) : Modules{};
    }
    return *modules_;
}

void AppDelegate::launch(std::optional<long> otherInstance) {
    platform_.mark("launched");
    const bool trustedAtStart = platform_.trusted && platform_.trusted();
    Log::write("app", "시작 · 버전=" + platform_.version + " · 손쉬운사용=" + flag(trustedAtStart) +
                          " · pid=" + std::to_string(::getpid()));
    if (otherInstance) {
        Log::write("app", "이미 실행 중(pid=" + std::to_string(*otherInstance) +
                              ") — 그쪽에 관리 창을 열라고 알리고 종료");
        terminatingAsDuplicate_ = true;
        return;
    }
    std::weak_ptr<AppDelegate> weak = weak_from_this();
    if (platform_.installMainMenu) {
        platform_.installMainMenu();
    }
    scheduleStats();

    auto& env = *this->env();
    if (platform_.bindAppearance) {
        platform_.bindAppearance(env.theme);
    }
    env.requestPermission = [weak] {
        if (auto self = weak.lock(); self && self->platform_.showPermission) {
            self->platform_.showPermission(nullptr);
        }
    };
    if (parts_.giveRoutes) {
        parts_.giveRoutes([weak] {
            RouteGroups groups;
            if (auto self = weak.lock()) {
                for (const auto& module : self->modules()) {
                    auto routes = module->bridgeRoutes();
                    groups.insert(groups.end(), routes.begin(), routes.end());
                }
            }
            return groups;
        });
    }
    for (const auto& module : modules()) {
        module->start();
    }
    // An alert of the start-up check (a build older than the last one) is answered before the
    // launch goes on.
    env.startupWindows->afterHolds([weak] {
        if (auto self = weak.lock()) {
            self->finishLaunch();
        }
    });
}

void AppDelegate::finishLaunch() {
    std::weak_ptr<AppDelegate> weak = weak_from_this();
    auto& env = *env_;
    statusMenu_.onPermission = [weak] {
        if (auto self = weak.lock(); self && self->platform_.showPermission) {
            self->platform_.showPermission(nullptr);
        }
    };
    statusMenu_.sessionNotStored = [weak] {
        auto self = weak.lock();
        return self && self->env_->auth && self->env_->auth->sessionNotStored();
    };
    statusMenu_.unsaved = [weak] {
        auto self = weak.lock();
        return self && self->env_->unsaved ? self->env_->unsaved->total() : 0;
    };
    statusMenu_.serverNotice = [weak]() -> std::optional<std::string> {
        auto self = weak.lock();
        return self && self->env_->gate ? self->env_->gate->menuLine() : std::nullopt;
    };
    statusMenu_.trusted = [weak] {
        auto self = weak.lock();
        return self && self->platform_.trusted && self->platform_.trusted();
    };
    if (env.gate) {
        env.gate->setOnNoticeChange([weak, main = platform_.main] {
            main->post([weak] {
                if (auto self = weak.lock()) {
                    self->statusMenu_.refresh();
                }
            });
        });
    }
    statusMenu_.install(modules(), [weak] {
        auto self = weak.lock();
        if (!self) {
            DetectState gone;
            gone.healthy = true;
            return gone;
        }
        return self->env_->detect->state();
    });
    env.detect->addObserver([weak](const DetectState& now, const DetectState& before) {
        if (auto self = weak.lock()) {
            self->onDetect(now, before);
        }
    });

    const bool trusted = platform_.trusted && platform_.trusted();
    env.detect->write([trusted](DetectState& state) { state.permissionGranted = trusted; });
    if (!trusted && platform_.showPermission) {
        // After the windows before it; by its turn the permission may have arrived.
        env.startupWindows->show("permission", [weak](StartupWindows::Answered answered) {
            auto self = weak.lock();
            if (!self || (self->platform_.trusted && self->platform_.trusted())) {
                answered();
                return;
            }
            self->platform_.showPermission(answered);
        });
    }
    if (parts_.restoreSession) {
        platform_.main->post([restore = parts_.restoreSession] { restore(); });
    }
    statusMenu_.refresh();

    launchFinished_ = true;
    const auto held = std::exchange(heldLinks_, {});
    for (const auto& url : held) {
        openLink(url);
    }
    if (auto source = std::exchange(heldReopen_, std::nullopt)) {
        reopen(*source);
    }
}

void AppDelegate::openLink(const std::string& url) {
    if (parts_.openLink) {
        parts_.openLink(url);
        return;
    }
    Log::write("app", "link 처리할 계정 모듈이 없어 버림 link=" + Log::redact(url));
}

void AppDelegate::onDetect(const DetectState& now, const DetectState& before) {
    statusMenu_.refresh();
    if (!now.permissionGranted) {
        return;
    }
    if (now.loggedIn && !(before.permissionGranted && before.loggedIn)) {
        platform_.mark("ready");
    }
    if (!before.permissionGranted) {
        const auto& input = env_->input;
        if (input->isRunning()) {
            input->restart("permission_restored");
        } else {
            input->start();
        }
    }
}

void AppDelegate::scheduleStats() {
    std::weak_ptr<AppDelegate> weak = weak_from_this();
    platform_.main->postAfter(ProcStats::interval, [weak] {
        if (auto self = weak.lock()) {
            self->procStats_.emit();
            self->scheduleStats();
        }
    });
}

void AppDelegate::reopen(const std::string& source) {
    if (!launchFinished_ && !terminatingAsDuplicate_) {
        if (!heldReopen_) {
            heldReopen_ = source;
            Log::write("app", "다시 열기 보류 source=" + source + " — 시작이 끝난 뒤 처리");
        }
        return;
    }
    Log::write("app", "다시 열기 source=" + source + " — 관리 창을 연다");
    if (env_) {
        env_->openManage();
    }
}

void AppDelegate::open(const std::vector<std::string>& urls) {
    std::vector<std::string> kept;
    const std::string prefix = std::string(linkScheme) + ":";
    for (const auto& url : urls) {
        if (url.starts_with(prefix)) {
            kept.push_back(url);
        }
    }
    if (kept.empty()) {
        return;
    }
    if (!launchFinished_) {
        heldLinks_.insert(heldLinks_.end(), kept.begin(), kept.end());
        Log::write("app",
                   "link held n=" + std::to_string(heldLinks_.size()) + " — 시작이 끝난 뒤 처리");
        return;
    }
    for (const auto& url : kept) {
        openLink(url);
    }
}

void AppDelegate::permissionGranted() {
    env()->detect->write([](DetectState& state) { state.permissionGranted = true; });
}

void AppDelegate::writeEnabled(bool enabled) {
    env()->detect->write([enabled](DetectState& state) { state.enabled = enabled; });
}

AppDelegate::TerminateReply AppDelegate::shouldTerminate() {
    if (terminatingAsDuplicate_) {
        return TerminateReply::now;
    }
    const bool wasEnabled = env()->detect->state().enabled;
    writeEnabled(false);
    const int inFlight = env_->shutdown->inFlight();
    if (inFlight < 1) {
        return TerminateReply::now;
    }
    Log::write("shutdown", "진행 중 작업 " + std::to_string(inFlight) + " — 최대 12초 드레인");
    quitWasEnabled_ = wasEnabled;
    drainThenAsk(wasEnabled);
    return TerminateReply::later;
}

void AppDelegate::endWithoutAsking() {
    if (endWithoutAsking_) {
        return;
    }
    endWithoutAsking_ = true;
    Log::write("shutdown", std::string("종료 신호 — 묻지 않고 드레인한 뒤 끝낸다") +
                               (asking_ ? " (질문 닫음)" : ""));
    if (!asking_) {
        return;  // the drain under way ends the program
    }
    asking_ = false;
    if (platform_.closePrompt) {
        platform_.closePrompt();
    }
    drainThenAsk(quitWasEnabled_);
}

void AppDelegate::drainThenAsk(bool wasEnabled) {
    std::weak_ptr<AppDelegate> weak = weak_from_this();
    auto reply = platform_.replyToTerminate;
    auto shutdown = env_->shutdown;
    ShutdownDrain::run(
        ShutdownDrain::defaultTimeout, ShutdownDrain::defaultPoll, platform_.clock,
        [shutdown] { return shutdown->inFlight(); }, platform_.background,
        [weak, reply, wasEnabled, main = platform_.main](ShutdownDrain::Outcome outcome) {
            main->post([weak, reply, wasEnabled, outcome] {
                Log::write("shutdown", "drained=" + flag(outcome.drained) +
                                           " remaining=" + std::to_string(outcome.remaining));
                auto self = weak.lock();
                // Work that ended between the last poll and the time-out leaves nothing to ask.
                if (outcome.drained || outcome.remaining < 1 || !self || !self->platform_.prompt ||
                    self->endWithoutAsking_) {
                    reply(true);
                    return;
                }
                self->ask(outcome.remaining, wasEnabled);
            });
        });
}

void AppDelegate::ask(int remaining, bool wasEnabled) {
    std::weak_ptr<AppDelegate> weak = weak_from_this();
    auto reply = platform_.replyToTerminate;
    const int unsaved = env_->unsaved ? env_->unsaved->total() : 0;
    const unsigned question = ++questions_;
    asking_ = true;
    platform_.prompt(
        remaining, unsaved,
        [weak, reply, wasEnabled, remaining, unsaved, question](ShutdownPrompt::Choice choice) {
            auto owner = weak.lock();
            if (owner && (!owner->asking_ || owner->questions_ != question)) {
                return;  // closed by a signal; the drain went on without this answer
            }
            if (owner) {
                owner->asking_ = false;
            }
            Log::write("shutdown", "저장이 안 끝남 remaining=" + std::to_string(remaining) +
                                       " unsaved=" + std::to_string(unsaved) +
                                       " choice=" + ShutdownPrompt::toString(choice));
            switch (choice) {
                case ShutdownPrompt::Choice::waitMore:
                    if (owner) {
                        owner->drainThenAsk(wasEnabled);
                    } else {
                        reply(true);
                    }
                    return;
                case ShutdownPrompt::Choice::cancel:
                    if (owner) {
                        owner->writeEnabled(wasEnabled);
                    }
                    reply(false);
                    return;
                case ShutdownPrompt::Choice::quitAnyway:
                    reply(true);
                    return;
            }
        });
}

void AppDelegate::willTerminate(Completion<void()> done) {
    if (!done) {
        done = [] {
        };
    }
    if (terminatingAsDuplicate_) {
        done();
        return;
    }
    if (!env_) {
        Log::write("app", "종료");
        done();
        return;
    }
    env_->shutdown->runTerminationTasks(env_->main, [done = std::move(done)]() mutable {
        Log::write("app", "종료");
        done();
    });
}

}  // namespace parlendo
