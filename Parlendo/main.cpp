#include <glib-unix.h>
#include <glib.h>
#include <unistd.h>

#include <string>

#include "foundation/AppConfig.h"
#include "foundation/GlibMainExecutor.h"
#include "foundation/KeychainSetup.h"
#include "foundation/Log.h"

namespace {

struct Stop {
    GMainLoop* loop;
    const char* name;
    const char** received;
};

gboolean onSignal(gpointer data) {
    auto* stop = static_cast<Stop*>(data);
    *stop->received = stop->name;
    g_main_loop_quit(stop->loop);
    return G_SOURCE_CONTINUE;
}

}  // namespace

int main(int, char**) {
    using namespace parlendo;

    // The profile comes first: nothing is built for a profile that is refused.
    const RuntimeConfig config = AppConfig::load();
    (void)config;
    Log::write("app", "시작 version=" + AppConfig::serverAppVersion() +
                          " pid=" + std::to_string(::getpid()));
    KeychainSetup::install();

    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    GlibMainExecutor mainExecutor;
    const char* received = nullptr;
    Stop interrupt{loop, "SIGINT", &received};
    Stop terminate{loop, "SIGTERM", &received};
    const guint interruptSource = g_unix_signal_add(SIGINT, onSignal, &interrupt);
    const guint terminateSource = g_unix_signal_add(SIGTERM, onSignal, &terminate);

    g_main_loop_run(loop);

    g_source_remove(interruptSource);
    g_source_remove(terminateSource);
    g_main_loop_unref(loop);
    Log::write("app", std::string("종료 signal=") + (received != nullptr ? received : "none"));
    Log::flush();
    return 0;
}
