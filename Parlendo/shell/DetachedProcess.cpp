#include "shell/DetachedProcess.h"

#include "foundation/GlibErrors.h"
#include "foundation/Log.h"

#include <glib.h>
#include <unistd.h>

#include <vector>

namespace parlendo::DetachedProcess {

std::optional<pid_t> spawn(const RelaunchHelper::Command& command, std::string& error) {
    std::vector<gchar*> argv;
    argv.push_back(const_cast<gchar*>(command.executable.c_str()));
    for (const auto& argument : command.arguments) {
        argv.push_back(const_cast<gchar*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    GPid pid = 0;
    GError* failure = nullptr;
    // Without G_SPAWN_DO_NOT_REAP_CHILD the child is started through an intermediate process, so
    // nobody here waits for it and it is never left a zombie.
    const auto flags = static_cast<GSpawnFlags>(
        G_SPAWN_STDIN_FROM_DEV_NULL | G_SPAWN_STDOUT_TO_DEV_NULL | G_SPAWN_STDERR_TO_DEV_NULL);
    const bool started = g_spawn_async(
        nullptr, argv.data(), nullptr, flags, +[](gpointer) { ::setsid(); }, nullptr, &pid,
        &failure);
    if (!started) {
        error = GlibErrors::describe(failure);
        g_error_free(failure);
        return std::nullopt;
    }
    return pid;
}

}  // namespace parlendo::DetachedProcess
