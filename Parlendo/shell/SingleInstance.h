#pragma once

#include <gio/gio.h>

#include <filesystem>
#include <optional>

namespace parlendo::SingleInstance {

// The application id on the session bus: one instance per user session owns it.
inline constexpr const char* applicationID = "local.parlendo.mac";

// The process id of the instance that owns the application id, from the bus; nothing when the
// bus does not say or that process is gone (checked in /proc).
std::optional<long> primaryPid(GDBusConnection* bus);

// A lock of this user's session, held until the process ends: the guard against a second capture
// when the bus cannot say whether an instance runs. False when another process holds it.
bool acquireLock(const std::filesystem::path& file);
// $XDG_RUNTIME_DIR/parlendo.lock, else under the state root.
std::filesystem::path lockFile();

// Whether toolkit accessibility is switched on, read at once from the session bus (for the start
// line of an instance that is about to hand over and end).
bool accessibilityEnabledNow(GDBusConnection* bus);

}  // namespace parlendo::SingleInstance
