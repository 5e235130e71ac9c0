#pragma once

#include "server/NetState.h"

#include <memory>
#include <thread>

typedef struct _GMainContext GMainContext;
typedef struct _GMainLoop GMainLoop;

namespace parlendo {

// Feeds the network state from GIO's network monitor: a usable network (reported at start and on
// every change) marks the network up; an unusable one changes nothing. The monitor runs on its
// own thread, "parlendo.net.path", with a private main context, from construction until release.
// Build it on the main thread: the process's default network monitor is made there first, so
// that its signals reach the main context, where GTK and WebKit listen to it.
class NetPathWatch {
  public:
    explicit NetPathWatch(std::shared_ptr<NetState> net);
    ~NetPathWatch();
    NetPathWatch(const NetPathWatch&) = delete;
    NetPathWatch& operator=(const NetPathWatch&) = delete;

  private:
    void run();

    std::shared_ptr<NetState> net_;
    GMainContext* context_ = nullptr;
    GMainLoop* loop_ = nullptr;
    std::thread thread_;
};

}  // namespace parlendo
