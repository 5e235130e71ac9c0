#pragma once

#include "shell/FeatureModule.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace parlendo::testing {

// A feature module that records what the shell asks of it.
class FakeModule final : public FeatureModule {
  public:
    explicit FakeModule(std::string name, std::vector<std::string>* journal = nullptr)
        : name_(std::move(name)), journal_(journal) {}

    void start() override {
        note("start");
        if (onStart) {
            onStart();
        }
    }
    BridgeRouteGroups bridgeRoutes() const override { return routes; }
    MenuItems menu() const override { return items; }
    void refreshMenu() override {
        ++refreshes;
        if (onRefresh) {
            onRefresh();
        }
    }
    void menuWillOpen() override { note("willOpen"); }

    MenuItems items;
    BridgeRouteGroups routes;
    int refreshes = 0;
    std::function<void()> onRefresh;
    std::function<void()> onStart;

  private:
    void note(const std::string& what) {
        if (journal_ != nullptr) {
            journal_->push_back(name_ + "." + what);
        }
    }
    std::string name_;
    std::vector<std::string>* journal_;
};

inline MenuItemPtr item(std::string title, bool hidden = false) {
    auto made = std::make_shared<MenuItem>();
    made->title = std::move(title);
    made->hidden = hidden;
    return made;
}

}  // namespace parlendo::testing
