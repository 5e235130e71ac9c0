#include "shell/DeviceCare.h"

#include "auth/KeychainSessionStore.h"
#include "foundation/Keychain.h"
#include "foundation/Log.h"
#include "popups/ConnectionSettings.h"
#include "shell/InstallLocation.h"
#include "shell/InstallRecord.h"

namespace parlendo {

namespace {

std::string flag(bool value) {
    return value ? "true" : "false";
}

MenuItemPtr makeItem(std::string title) {
    auto item = std::make_shared<MenuItem>();
    item->title = std::move(title);
    return item;
}

}  // namespace

std::shared_ptr<DeviceCare> DeviceCare::make(Install install, Platform platform,
                                             std::shared_ptr<LoginItem> loginItem) {
    auto care = std::shared_ptr<DeviceCare>(
        new DeviceCare(std::move(install), std::move(platform), std::move(loginItem)));
    care->build();
    return care;
}

DeviceCare::DeviceCare(Install install, Platform platform, std::shared_ptr<LoginItem> loginItem)
    : install_(std::move(install)),
      platform_(std::move(platform)),
      login_(std::move(loginItem)),
      loginItem_(makeItem("Mac을 켤 때 자동으로 시작")),
      noticeItem_(makeItem("개인정보 안내 보기…")),
      wipeItem_(makeItem("이 Mac의 데이터 지우기…")),
      restartItem_(makeItem("새 버전이 설치됐어요 — 다시 시작")) {}

void DeviceCare::build() {
    if (!platform_.startup) {
        platform_.startup = std::make_shared<StartupWindows>();
    }
    std::weak_ptr<DeviceCare> weak = weak_from_this();
    loginItem_->checked = false;
    loginItem_->handler = [weak] {
        if (auto self = weak.lock()) {
            self->toggleLoginItem();
        }
    };
    noticeItem_->handler = [weak] {
        if (auto self = weak.lock(); self && self->platform_.showNotice) {
            self->platform_.showNotice();
        }
    };
    wipeItem_->handler = [weak] {
        if (auto self = weak.lock()) {
            self->askWipe();
        }
    };
    wipeItem_->hidden = !platform_.wipeData;
    restartItem_->hidden = true;
    restartItem_->handler = [weak] {
        if (auto self = weak.lock()) {
            self->requestRelaunch();
        }
    };
}

MenuItems DeviceCare::menu() const {
    MenuItems items;
    items.device = {restartItem_, loginItem_, noticeItem_};
    if (platform_.wipeData) {
        items.cleanup = {wipeItem_};
    }
    return items;
}

DeviceCare::Alert DeviceCare::moveAlert() {
    return Alert{"PARLENDO 를 이 컴퓨터로 옮겨 주세요",
                 "지금은 이동식 저장 장치에서 바로 열렸어요. 장치를 빼면 PARLENDO 도 멈추고, 자동 "
                 "시작도 쓸 수 없어요.\n\nPARLENDO 패키지를 설치하거나 AppImage 파일을 홈 폴더로 "
                 "옮긴 뒤, 거기서 PARLENDO 를 열어 주세요.",
                 {"종료"},
                 false,
                 std::nullopt,
                 false};
}

DeviceCare::Alert DeviceCare::downgradeAlert(const BuildStamp& from, const BuildStamp& running) {
    return Alert{"이전 버전의 PARLENDO 예요",
                 "이 Mac에서는 더 새 버전(" + from.label() + ")을 쓰고 있었는데, 지금 열린 것은 " +
                     running.label() +
                     " 이에요.\n일부 기능이 예전처럼 동작할 수 있어요. 가장 최근에 받은 설치 "
                     "파일로 다시 설치해 주세요.",
                 {},
                 true,
                 std::nullopt,
                 false};
}

DeviceCare::Alert DeviceCare::loginItemFailedAlert() {
    return Alert{"자동 시작을 바꾸지 못했어요",
                 "시스템 설정 → 일반 → 로그인 항목에서 PARLENDO 를 직접 켜거나 끌 수 있어요.",
                 {},
                 false,
                 std::nullopt,
                 false};
}

DeviceCare::Alert DeviceCare::wipeQuestion() {
    return Alert{"이 Mac의 PARLENDO 데이터를 지울까요?",
                 "이 Mac에 저장된 로그인 정보, 앱 상태(프로젝트 PDF 위치·문서 쪽 글 사본·설정), "
                 "관리 창의 저장소를 지우고 앱을 종료합니다.\n\n서버에 저장된 단어·문서와 계정은 "
                 "그대로예요. 다시 로그인하면 그대로 보입니다.\n앱을 완전히 없애려면, 이 뒤에 "
                 "설치한 PARLENDO 패키지를 제거하거나 AppImage 파일을 지우세요.",
                 {"취소", "지우고 종료"},
                 true,
                 "진단 로그도 지우기",
                 true};
}

DeviceCare::Alert DeviceCare::wipeDoneAlert(const std::vector<std::string>& failed) {
    if (!failed.empty()) {
        std::string names;
        for (const auto& name : failed) {
            names += (names.empty() ? "" : ", ") + name;
        }
        return Alert{"일부를 지우지 못했어요",
                     "지우지 못한 것: " + names +
                         "\nPARLENDO 를 종료합니다. 다시 열어 한 번 더 시도해 주세요.",
                     {},
                     true,
                     std::nullopt,
                     false};
    }
    return Alert{
        "이 Mac의 데이터를 지웠어요",
        "PARLENDO 를 종료합니다. 앱을 없애려면 설치한 PARLENDO 패키지를 제거하거나 AppImage "
        "파일을 지우세요.\n접근성(보조 기술) 지원이 다른 프로그램에 필요 없다면 설정 → "
        "접근성에서 끌 수 있어요.",
        {},
        false,
        std::nullopt,
        false};
}

std::vector<std::string> DeviceCare::failures(const std::vector<WipeOutcome>& outcomes,
                                              bool tokenRemoved, bool keyRemoved) {
    std::vector<std::string> failed;
    for (const auto& outcome : outcomes) {
        if (!outcome.removed) {
            failed.push_back(outcome.name);
        }
    }
    if (!tokenRemoved) {
        failed.push_back("login_token");
    }
    if (!keyRemoved) {
        failed.push_back("optional_key");
    }
    return failed;
}

void DeviceCare::start() {
    auto& startup = *platform_.startup;
    const InstallLocation location = InstallLocations::judge(install_.programPath, install_.home);
    const std::string raw = InstallLocations::toString(location);
    if (InstallLocations::needsMove(location)) {
        Log::write("install", "🔴 location=" + raw + " — 이 컴퓨터로 옮기라고 알리고 종료");
        // Nothing of the launch goes on behind it: the process ends once it is answered.
        startup.hold("move", [alert = platform_.alert,
                              exitNow = platform_.exitNow](StartupWindows::Answered answered) {
            alert(moveAlert(), [exitNow, answered](Answer) {
                exitNow(0);
                answered();
            });
        });
        return;
    }
    const InstallChange change =
        InstallRecord(install_.stateRoot).observe(install_.running, platform_.files);
    Log::write("install", "build=" + install_.running.label() + " change=" + change.name() +
                              " arch=" + install_.arch + " location=" + raw);
    std::weak_ptr<DeviceCare> weak = weak_from_this();
    if (change.kind == InstallChange::Kind::downgraded && change.from) {
        Log::write("install", "🔴 낮은 빌드로 덮였다 from=" + change.from->label() +
                                  " to=" + install_.running.label());
        startup.hold("downgrade", [weak, alert = downgradeAlert(*change.from, install_.running)](
                                      StartupWindows::Answered answered) {
            auto self = weak.lock();
            if (!self) {
                answered();
                return;
            }
            self->platform_.alert(alert, [answered](Answer) { answered(); });
        });
    }
    startup.show("notice", [weak](StartupWindows::Answered answered) {
        auto self = weak.lock();
        if (!self || !self->platform_.showNoticeIfNeeded) {
            answered();
            return;
        }
        self->platform_.showNoticeIfNeeded(answered);
    });
}

void DeviceCare::refreshMenu() {
    loginItem_->checked = login_->isEnabled();
    checkReplaced();
}

void DeviceCare::checkReplaced() {
    const double now = platform_.clock->uptime();
    if (lastDiskCheck_ && now - *lastDiskCheck_ <= diskCheckInterval) {
        return;
    }
    lastDiskCheck_ = now;
    if (!InstallRecord::readInfo(install_.buildInfoFile)) {
        if (!reportedUnreadableInfo_) {
            reportedUnreadableInfo_ = true;
            Log::write("install",
                       "🔴 빌드 정보 파일을 읽지 못함 file=" + install_.buildInfoFile.string());
        }
        restartItem_->hidden = true;
        return;
    }
    reportedUnreadableInfo_ = false;
    const auto onDisk = InstallRecord::replacedOnDisk(install_.running, install_.buildInfoFile);
    if (!onDisk) {
        restartItem_->hidden = true;
        return;
    }
    if (restartItem_->hidden) {
        Log::write("install", "실행 중에 번들이 바뀜 running=" + install_.running.label() +
                                  " on_disk=" + onDisk->label());
    }
    restartItem_->hidden = false;
}

void DeviceCare::toggleLoginItem() {
    const bool turningOn = !login_->isEnabled();
    const std::error_code ec = turningOn ? login_->registerItem() : login_->unregisterItem();
    const std::string word = turningOn ? "on" : "off";
    const std::string status = std::to_string(static_cast<int>(login_->status()));
    if (!ec) {
        Log::write("install", "login_item " + word + " status=" + status);
    } else {
        Log::write("install",
                   "login_item " + word + " failed " + Log::describe(ec) + " status=" + status);
        platform_.alert(loginItemFailedAlert(), [](Answer) {});
    }
    refreshMenu();
}

void DeviceCare::requestRelaunch() {
    if (relaunchRequested_) {
        return;
    }
    Log::write("install", "relaunch requested");
    relaunchRequested_ = true;
    std::weak_ptr<DeviceCare> weak = weak_from_this();
    platform_.terminate([weak](bool ended) {
        auto self = weak.lock();
        if (!self || ended) {
            return;
        }
        self->relaunchRequested_ = false;
        Log::write("install", "relaunch cancelled");
    });
}

void DeviceCare::launchRelaunchHelperIfRequested() {
    if (!relaunchRequested_) {
        return;
    }
    const auto command =
        RelaunchHelper::command(install_.pid, install_.programPath, RelaunchHelper::defaultOpener);
    std::string error;
    if (platform_.spawn(command, error)) {
        Log::write("install", "relaunch helper started old_pid=" + std::to_string(install_.pid));
    } else {
        Log::write("install", "relaunch helper failed " + error);
    }
}

void DeviceCare::askWipe() {
    if (!platform_.wipeData) {
        return;
    }
    std::weak_ptr<DeviceCare> weak = weak_from_this();
    platform_.alert(wipeQuestion(), [weak](Answer answer) {
        auto self = weak.lock();
        if (!self || answer.button != 1) {
            return;
        }
        const bool includeLogs = answer.checked;
        Log::write("install", "wipe requested include_logs=" + flag(includeLogs));
        self->signOutForWipe([weak, includeLogs] {
            if (auto owner = weak.lock()) {
                owner->wipe(includeLogs);
            }
        });
    });
}

void DeviceCare::removeFromKeychain(Platform& platform, KeychainCall keychain) {
    platform.deleteLoginToken = [keychain](Completion<void(bool)> done) {
        keychain.run<bool>(
            [] { return Keychain::set(std::nullopt, KeychainSessionStore::account); }, false,
            std::move(done));
    };
    platform.wipeOptionalKey = [keychain](Completion<void(bool)> done) {
        keychain.run<bool>(
            [] {
                KeychainSecretStore store;
                return ConnectionSettings::wipeStored(store);
            },
            false, std::move(done));
    };
}

void DeviceCare::wipe(bool includeLogs) {
    // Both removals are asked at once; the wipe goes on, on the main thread, once both answered.
    struct Removed {
        std::optional<bool> token;
        std::optional<bool> key;
    };
    auto removed = std::make_shared<Removed>();
    std::weak_ptr<DeviceCare> weak = weak_from_this();
    auto onMain = [weak, includeLogs, removed, main = platform_.main](auto record) {
        return [weak, includeLogs, removed, main, record](bool ok) {
            auto next = [weak, includeLogs, removed, record, ok] {
                record(*removed, ok);
                auto self = weak.lock();
                if (self && removed->token && removed->key) {
                    self->wipeFiles(includeLogs, *removed->token, *removed->key);
                }
            };
            if (main->isCurrent()) {
                next();
            } else {
                main->post(std::move(next));
            }
        };
    };
    platform_.deleteLoginToken(onMain([](Removed& r, bool ok) { r.token = ok; }));
    platform_.wipeOptionalKey(onMain([](Removed& r, bool ok) { r.key = ok; }));
}

void DeviceCare::onFiles(Task work) {
    if (platform_.files) {
        platform_.files->post(std::move(work));
    } else {
        work();
    }
}

void DeviceCare::wipeFiles(bool includeLogs, bool tokenRemoved, bool keyRemoved) {
    const std::filesystem::path logDirectory = platform_.logDirectory();
    const bool logAppOwned = platform_.logAppOwned();
    if (login_->isEnabled()) {
        (void)login_->unregisterItem();
    }
    // The folders are removed off the main loop, which a busy disk would hold for as long as the
    // removal takes; the user is told once they are gone.
    std::weak_ptr<DeviceCare> weak = weak_from_this();
    onFiles([weak, wipeData = platform_.wipeData, main = platform_.main, includeLogs, tokenRemoved,
             keyRemoved, logDirectory, logAppOwned] {
        auto outcomes = wipeData(false, logDirectory, logAppOwned);
        main->post([weak, outcomes = std::move(outcomes), includeLogs, tokenRemoved, keyRemoved,
                    logDirectory, logAppOwned] {
            if (auto self = weak.lock()) {
                self->filesWiped(outcomes, includeLogs, tokenRemoved, keyRemoved, logDirectory,
                                 logAppOwned);
            }
        });
    });
}

void DeviceCare::filesWiped(const std::vector<WipeOutcome>& outcomes, bool includeLogs,
                            bool tokenRemoved, bool keyRemoved,
                            const std::filesystem::path& logDirectory, bool logAppOwned) {
    const auto failed = failures(outcomes, tokenRemoved, keyRemoved);
    Log::write("install", "wipe done keychain_token=" + flag(tokenRemoved) +
                              " optional_key=" + flag(keyRemoved) + " " +
                              (platform_.summary ? platform_.summary(outcomes) : std::string()));
    std::weak_ptr<DeviceCare> weak = weak_from_this();
    const bool logsToo = includeLogs && failed.empty();
    platform_.alert(wipeDoneAlert(failed), [weak, logsToo, logDirectory, logAppOwned](Answer) {
        auto self = weak.lock();
        if (!self) {
            return;
        }
        if (!logsToo) {
            self->platform_.terminate([](bool) {});
            return;
        }
        self->platform_.main->postAfter(logWipeDelay, [weak, logDirectory, logAppOwned] {
            auto owner = weak.lock();
            if (!owner) {
                return;
            }
            owner->onFiles([wipeData = owner->platform_.wipeData,
                            exitNow = owner->platform_.exitNow, logDirectory, logAppOwned] {
                // Every line written so far reaches the folder before it goes, and none after
                // brings it back: the process ends here.
                Log::close();
                (void)wipeData(true, logDirectory, logAppOwned);
                exitNow(0);
            });
        });
    });
}

}  // namespace parlendo
