#pragma once

#include "foundation/RuntimeConfig.h"

#include <gtk/gtk.h>

#include <string>

namespace parlendo::AppConfig {

// Loads the deployment profile of this process (main bundle, process environment, release mode)
// and logs it under "config". A refused profile is logged, shown in an alert, and ends the
// process with status 78: this never returns a partial or fallback profile.
RuntimeConfig load();

// Shows the fatal profile alert and exits with status 78. Without a display the alert's texts go
// to standard error instead.
[[noreturn]] void fail(const std::string& code);

// The log lines of a loaded and of a refused profile.
std::string loadedLine(const RuntimeConfig& config);
std::string refusedLine(const std::string& code);

// The alert's texts.
inline constexpr const char* alertMessage = "설정을 읽지 못했어요";
std::string alertInformativeText(const std::string& code);
// The alert itself, not yet shown (GTK must be initialised).
GtkWidget* makeAlert(const std::string& code);

// The application version reported to the server and in the start line.
const std::string& serverAppVersion();
// Whether the manage window's web inspector is on: exactly outside release mode.
bool webInspectorEnabled();

}  // namespace parlendo::AppConfig
