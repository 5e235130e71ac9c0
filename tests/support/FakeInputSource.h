#pragma once

#include "capture/InputHub.h"

#include <map>

namespace parlendo::testing {

// Monitors without a window server: tests push raw events through `sendGlobal` and `sendLocal`,
// and can make the platform refuse either monitor.
class FakeInputSource final : public InputEventSource {
  public:
    std::optional<Token> addGlobalMonitor(Handler handler) override;
    std::optional<Token> addLocalMonitor(Handler handler) override;
    void removeMonitor(Token token) override;

    // Delivers `raw` to every installed monitor of that kind.
    void sendGlobal(const RawInputEvent& raw);
    void sendLocal(const RawInputEvent& raw);

    size_t installed() const { return monitors_.size(); }
    size_t added() const { return added_; }
    size_t removed() const { return removed_; }

    bool refuseGlobal = false;
    bool refuseLocal = false;

  private:
    struct Monitor {
        bool local = false;
        Handler handler;
    };
    void send(const RawInputEvent& raw, bool local);

    std::map<Token, Monitor> monitors_;
    Token next_ = 1;
    size_t added_ = 0;
    size_t removed_ = 0;
};

}  // namespace parlendo::testing
