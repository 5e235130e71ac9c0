#pragma once

#include "manage/BridgeRoutes.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace parlendo::testing {

// A route group built by the test: names with handlers or not served, and log modes.
class TestRoutes final : public BridgeRoutes {
  public:
    TestRoutes& serve(const std::string& name, BridgeHandler handler) {
        routes_.insert_or_assign(name, BridgeEntry::implemented(std::move(handler)));
        return *this;
    }
    // A handler that answers `reply` at once.
    TestRoutes& answer(const std::string& name, BridgeReply reply) {
        return serve(
            name, [reply](const BridgeArgs&, Completion<void(BridgeReply)> done) { done(reply); });
    }
    TestRoutes& notServed(const std::string& name) {
        routes_.insert_or_assign(name, BridgeEntry::notYet());
        return *this;
    }
    TestRoutes& mode(const std::string& name, BridgeLogMode mode) {
        modes_.insert_or_assign(name, mode);
        return *this;
    }

    std::map<std::string, BridgeEntry> routes() const override { return routes_; }
    std::map<std::string, BridgeLogMode> logModes() const override { return modes_; }

  private:
    std::map<std::string, BridgeEntry> routes_;
    std::map<std::string, BridgeLogMode> modes_;
};

inline std::shared_ptr<TestRoutes> group() {
    return std::make_shared<TestRoutes>();
}

}  // namespace parlendo::testing
