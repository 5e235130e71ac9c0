#include "manage/ManageSignals.h"

#include "foundation/Log.h"

namespace parlendo::ManageSignals {

void post(const std::string& name, const std::string& reason, NotificationCenter& center) {
    const char* label = name == popupSettingsChanged ? "popup_settings_changed" : "sources_changed";
    Log::write("manage", std::string("알림 ") + label + " reason=" + reason);
    center.post(Notification{name, Json{{"reason", reason}}});
}

NotificationCenter::Token observe(const std::string& name, NotificationCenter& center,
                                  std::function<void()> handler) {
    return center.addMainObserver(
        name, [handler = std::move(handler)](const Notification&) { handler(); });
}

}  // namespace parlendo::ManageSignals
