#include <glib-unix.h>
#include <glib.h>

#include "foundation/GlibMainExecutor.h"

namespace {
gboolean onSignal(gpointer loop) {
    g_main_loop_quit(static_cast<GMainLoop*>(loop));
    return G_SOURCE_REMOVE;
}
}  // namespace

int main(int, char**) {
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    g_unix_signal_add(SIGINT, onSignal, loop);
    g_unix_signal_add(SIGTERM, onSignal, loop);
    g_main_loop_run(loop);
    g_main_loop_unref(loop);
    return 0;
}
