#include "server/NetPathWatch.h"

#include <gio/gio.h>
#include <pthread.h>

namespace parlendo {

namespace {

void onNetworkChanged(GNetworkMonitor*, gboolean available, gpointer user) {
    static_cast<NetState*>(user)->notePath(available != FALSE);
}

// A monitor of the platform's default kind that belongs to the calling thread's main context
// (the shared default monitor would signal on whichever context created it first).
GNetworkMonitor* makeMonitor() {
    GNetworkMonitor* shared = g_network_monitor_get_default();
    GError* error = nullptr;
    auto* monitor = static_cast<GNetworkMonitor*>(
        g_initable_new(G_OBJECT_TYPE(shared), nullptr, &error, nullptr));
    if (monitor == nullptr) {
        g_clear_error(&error);
        return G_NETWORK_MONITOR(g_object_ref(shared));
    }
    return monitor;
}

}  // namespace

NetPathWatch::NetPathWatch(std::shared_ptr<NetState> net)
    : net_(std::move(net)),
      context_(g_main_context_new()),
      loop_(g_main_loop_new(context_, FALSE)) {
    // The process-wide default monitor signals on the context that was the thread default where
    // it was first asked for, and GTK and WebKit share it. Ask for it here, on the main thread,
    // before the watch thread makes its own monitor of the same kind.
    g_network_monitor_get_default();
    thread_ = std::thread([this] { run(); });
}

NetPathWatch::~NetPathWatch() {
    // Quit from inside the loop, so a quit cannot be lost before the loop starts running.
    GSource* quit = g_idle_source_new();
    g_source_set_callback(
        quit,
        [](gpointer loop) -> gboolean {
            g_main_loop_quit(static_cast<GMainLoop*>(loop));
            return G_SOURCE_REMOVE;
        },
        loop_, nullptr);
    g_source_attach(quit, context_);
    g_source_unref(quit);
    thread_.join();
    g_main_loop_unref(loop_);
    g_main_context_unref(context_);
}

void NetPathWatch::run() {
    pthread_setname_np(pthread_self(), "parlendo.net.pa");
    g_main_context_push_thread_default(context_);
    GNetworkMonitor* monitor = makeMonitor();
    gulong handler =
        g_signal_connect(monitor, "network-changed", G_CALLBACK(onNetworkChanged), net_.get());
    // The path as it is now, like a monitor's first report.
    net_->notePath(g_network_monitor_get_network_available(monitor) != FALSE);
    g_main_loop_run(loop_);
    g_signal_handler_disconnect(monitor, handler);
    g_object_unref(monitor);
    g_main_context_pop_thread_default(context_);
}

}  // namespace parlendo
