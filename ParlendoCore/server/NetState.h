#pragma once

#include <mutex>

namespace parlendo {

// The one shared opinion of whether the network is usable. Set down only by not-connected
// failures of server calls; set up by any server or auth answer and by a usable network path.
// Readers poll `offline()`. Thread-safe; log lines are written after the lock is released.
class NetState {
  public:
    bool offline() const;
    void noteNotConnected();
    void noteAnswered();
    // An unusable path changes nothing; a usable one marks the network up.
    void notePath(bool satisfied);

  private:
    // Sets `down`; true when it changed.
    bool set(bool down);

    mutable std::mutex mutex_;
    bool down_ = false;
};

}  // namespace parlendo
