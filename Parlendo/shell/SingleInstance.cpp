#include "shell/SingleInstance.h"

#include "foundation/FileIO.h"
#include "foundation/RuntimePaths.h"
#include "shell/StartupTiming.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>

namespace parlendo::SingleInstance {

std::optional<long> primaryPid(GDBusConnection* bus) {
    if (bus == nullptr) {
        return std::nullopt;
    }
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "GetConnectionUnixProcessID", g_variant_new("(s)", applicationID), G_VARIANT_TYPE("(u)"),
        G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, nullptr);
    if (reply == nullptr) {
        return std::nullopt;
    }
    guint32 pid = 0;
    g_variant_get(reply, "(u)", &pid);
    g_variant_unref(reply);
    // A process that has gone has no start time any more.
    if (pid == 0 || !StartupTiming::processStartTicks(static_cast<pid_t>(pid))) {
        return std::nullopt;
    }
    return static_cast<long>(pid);
}

std::optional<std::filesystem::path> runtimeFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/') {
        return std::filesystem::path(runtime);
    }
    return std::nullopt;
}

std::filesystem::path lockFile() {
    return runtimeFolder().value_or(RuntimePaths::stateRoot()) / "parlendo.lock";
}

bool acquireLock(const std::filesystem::path& file) {
    // The state folder is the program's own and kept private; the session's runtime folder is
    // the desktop's.
    fileio::makePrivateFolder(file.parent_path(),
                              runtimeFolder() ? std::filesystem::path() : file.parent_path());
    const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        // Without a lock file nothing can be said: go on.
        return true;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    // Held (the descriptor stays open) until the process ends.
    return true;
}

bool accessibilityEnabledNow(GDBusConnection* bus) {
    if (bus == nullptr) {
        return false;
    }
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Get",
        g_variant_new("(ss)", "org.a11y.Status", "IsEnabled"), G_VARIANT_TYPE("(v)"),
        G_DBUS_CALL_FLAGS_NONE, 500, nullptr, nullptr);
    if (reply == nullptr) {
        return false;
    }
    GVariant* value = nullptr;
    g_variant_get(reply, "(v)", &value);
    const bool enabled = value != nullptr && g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN) &&
                         g_variant_get_boolean(value);
    if (value != nullptr) {
        g_variant_unref(value);
    }
    g_variant_unref(reply);
    return enabled;
}

}  // namespace parlendo::SingleInstance
