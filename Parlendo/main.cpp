#include <gio/gio.h>
#include <glib-unix.h>
#include <gtk/gtk.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "foundation/AppConfig.h"
#include "foundation/KeychainSetup.h"
#include "foundation/Log.h"
#include "shell/AppDelegate.h"
#include "shell/Program.h"
#include "shell/SingleInstance.h"
#include "shell/StartupTiming.h"
#include "shell/WindowProbe.h"

namespace {

using namespace parlendo;

std::shared_ptr<Program> program;
std::unique_ptr<WindowProbe> probe;
// Another instance runs that this one cannot reach: nothing was built and nothing will be.
bool refused = false;

gboolean onSignal(gpointer) {
    if (program) {
        program->requestQuit(nullptr, true);
    }
    return G_SOURCE_CONTINUE;
}

void onStartup(GApplication* app, gpointer) {
    // The bus keeps one instance per session; the lock also covers an instance without a bus.
    const bool bus = g_application_get_dbus_connection(app) != nullptr;
    if (!SingleInstance::acquireLock(SingleInstance::lockFile())) {
        Log::write("app",
                   bus ? "다른 PARLENDO 가 버스 없이 실행 중 — 캡처를 시작하지 않고 종료"
                       : "이미 실행 중인 것 같지만 연결할 수 없음 — 캡처를 시작하지 않고 종료");
        refused = true;
        return;
    }
    if (!bus) {
        Log::write("app", "🔴 세션 버스에 연결하지 못함 — 잠금 파일로 하나만 실행되게 한다");
    }
    // Development runs tell the tests of the whole program what its windows show, the alert of a
    // refused profile included.
    if (WindowProbe::requested()) {
        probe = WindowProbe::serve(g_application_get_dbus_connection(app));
    }
    // The profile comes first: nothing is built for a profile that is refused.
    RuntimeConfig config = AppConfig::load();
    // The keyring is asked on its own queue: a silent one must not hold the start.
    KeychainSetup::start();
    program = Program::make(GTK_APPLICATION(app), std::move(config));
    // Alive without windows, until the quit decision ends it.
    g_application_hold(app);
}

void onActivate(GApplication*, gpointer) {
    if (program) {
        program->activate();
    }
}

void onOpen(GApplication*, GFile** files, gint count, const gchar*, gpointer) {
    std::vector<std::string> uris;
    for (gint i = 0; i < count; ++i) {
        gchar* uri = g_file_get_uri(files[i]);
        uris.emplace_back(uri);
        g_free(uri);
    }
    if (program) {
        program->open(uris);
    }
}

// The start line and hand-over of an instance that finds another one running.
int handOver(GApplication* app, int argc, char** argv) {
    GDBusConnection* bus = g_application_get_dbus_connection(app);
    AppDelegate::Platform platform;
    platform.version = AppConfig::serverAppVersion();
    platform.trusted = [bus] {
        return SingleInstance::accessibilityEnabledNow(bus);
    };
    platform.clock = SystemClock::shared();
    auto delegate = AppDelegate::make({}, std::move(platform));
    const auto other = SingleInstance::primaryPid(bus);
    delegate->launch(other.value_or(0));
    // Running a remote instance hands its activation or its links to the first one.
    const int status = g_application_run(app, argc, argv);
    delegate->willTerminate();
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    // Our own windows stay off the accessibility bus: the capture reads other applications there.
    ::setenv("NO_AT_BRIDGE", "1", 1);
    // Nothing of ours draws with OpenGL; without this, GDK loads the GL driver at start only to
    // pick a visual, which costs tens of megabytes for as long as the program runs. The web views
    // draw without it. A GDK_GL the user set stays as it is.
    ::setenv("GDK_GL", "disable", 0);
    StartupTiming::begin();

    GtkApplication* app =
        gtk_application_new(SingleInstance::applicationID, G_APPLICATION_HANDLES_OPEN);
    g_signal_connect(app, "startup", G_CALLBACK(onStartup), nullptr);
    g_signal_connect(app, "activate", G_CALLBACK(onActivate), nullptr);
    g_signal_connect(app, "open", G_CALLBACK(onOpen), nullptr);

    GError* error = nullptr;
    if (!g_application_register(G_APPLICATION(app), nullptr, &error)) {
        Log::write("app", "🔴 세션 버스에 등록하지 못함 " +
                              std::string(error != nullptr ? error->message : "") + " — 종료");
        g_clear_error(&error);
        Log::flush();
        g_object_unref(app);
        return 1;
    }
    if (g_application_get_is_remote(G_APPLICATION(app))) {
        const int status = handOver(G_APPLICATION(app), argc, argv);
        Log::flush();
        g_object_unref(app);
        return status;
    }
    if (refused) {
        Log::flush();
        g_object_unref(app);
        return 0;
    }

    const guint interrupt = g_unix_signal_add(SIGINT, onSignal, nullptr);
    const guint terminate = g_unix_signal_add(SIGTERM, onSignal, nullptr);
    const int status = g_application_run(G_APPLICATION(app), argc, argv);
    g_source_remove(interrupt);
    g_source_remove(terminate);
    program.reset();
    probe.reset();
    Log::flush();
    g_object_unref(app);
    return status;
}
