#include "shell/ManageModule.h"

#include "shell/WebViews.h"

namespace parlendo {

ManageServices ManageModule::services(const AppEnvironment& env, ManageServices given) {
    given.server = env.server;
    given.client = env.client;
    given.auth = env.session;
    given.appVersion = env.appVersion;
    given.theme = env.theme;
    given.themeMode = [theme = std::weak_ptr<ThemeStore>(env.theme)] {
        auto store = theme.lock();
        return store ? store->mode() : ThemeMode::light;
    };
    given.observeTheme =
        [theme = std::weak_ptr<ThemeStore>(env.theme)](std::function<void(ThemeMode)> observer) {
            if (auto store = theme.lock()) {
                store->observe([observer = std::move(observer)](
                                   ThemeMode mode, ThemeStore::Source) { observer(mode); });
            }
        };
    given.manageScreen = env.manageScreen;
    given.accountScope = env.accountScope;
    given.detect = env.detect;
    given.popupDefaults = env.popupDefaults;
    given.main = env.main;
    if (!given.makeWindow) {
        given.makeWindow = WebViews::manageWindows();
    }
    return given;
}

ManageModule::ManageModule(std::shared_ptr<AppEnvironment> env, ManageServices given)
    : env_(std::move(env)),
      coordinator_(ManageCoordinator::make(services(*env_, std::move(given)))),
      openItem_(std::make_shared<MenuItem>()) {
    openItem_->title = ManageCoordinator::openItemTitle;
    openItem_->key = ManageCoordinator::openItemKey;
    openItem_->handler = coordinator_->openManage();
}

void ManageModule::start() {
    if (started_) {
        return;
    }
    started_ = true;
    coordinator_->start();
    env_->openManage = coordinator_->openManage();
}

MenuItems ManageModule::menu() const {
    MenuItems items;
    items.actions = {openItem_};
    return items;
}

}  // namespace parlendo
