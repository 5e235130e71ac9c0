#pragma once

#include "manage/NotificationCenter.h"

#include <functional>
#include <string>

namespace parlendo {

// In-process announcements of changes made through the manage window that other parts of the
// running application cache: the popup settings and the word book's sources.
namespace ManageSignals {

inline constexpr const char* popupSettingsChanged = "parlendo.manage.popupSettingsChanged";
inline constexpr const char* sourcesChanged = "parlendo.manage.sourcesChanged";

// Logs and posts `name` with the user info {"reason": reason}.
void post(const std::string& name, const std::string& reason,
          NotificationCenter& center = NotificationCenter::defaultCenter());

// Calls `handler` on the centre's main executor for every `name` posted; keep the token.
[[nodiscard]] NotificationCenter::Token observe(const std::string& name, NotificationCenter& center,
                                                std::function<void()> handler);

}  // namespace ManageSignals
}  // namespace parlendo
