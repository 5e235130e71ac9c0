#pragma once

#include "foundation/Executor.h"

#include <gtk/gtk.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace parlendo {

// The small window that explains why the program needs the desktop's accessibility support,
// switches it on where it can and opens the desktop's accessibility settings, and closes itself
// once the support is there, telling the program. While shown (or closed by its close button
// without the support) it checks every second. Main thread.
class PermissionWindow : public std::enable_shared_from_this<PermissionWindow> {
  public:
    static constexpr double pollPeriod = 1.0;
    static constexpr int width = 440;
    static constexpr int height = 230;
    static constexpr const char* title = "PARLENDO 권한 설정";
    static constexpr const char* heading = "손쉬운 사용 권한이 필요해요";
    static constexpr const char* buttonTitle = "접근성 설정 열기";
    static const char* explanation();

    struct Desktop {
        // Whether the support is there, as last read; and a fresh read (answered later).
        std::function<bool()> trusted;
        std::function<void()> refresh;
        // Switches toolkit accessibility on.
        std::function<void()> enableAccessibility;
        // Opens the desktop's accessibility settings; false when no settings could be opened.
        std::function<bool()> openSettings;
        ExecutorPtr main;
    };

    static std::shared_ptr<PermissionWindow> make(Desktop desktop, std::function<void()> onGranted);
    ~PermissionWindow();

    // Builds the window once, brings it forward, (re)starts the checks. `answered` (may be
    // empty) is called once the window goes: closed by the user, or the support arrived.
    void show(std::function<void()> answered = nullptr);
    // The button's action.
    void openSettings();

    GtkWidget* window() const { return window_; }
    GtkWidget* button() const { return button_; }
    bool polling() const { return polling_; }

    // The desktop ids of accessibility settings, tried in order.
    static const std::vector<std::string>& settingsApps();
    // Launches the first of `ids` that is installed, through GIO; false when none could start.
    static bool launchFirst(const std::vector<std::string>& ids);
    // Sets org.a11y.Status IsEnabled on the session bus (asynchronously).
    static void enableToolkitAccessibility();

  private:
    PermissionWindow(Desktop desktop, std::function<void()> onGranted);
    void build();
    void schedule(std::uint64_t generation);
    void check(std::uint64_t generation);
    // The window went away: those waiting for its answer are told.
    void gone();

    Desktop desktop_;
    std::function<void()> onGranted_;
    std::vector<std::function<void()>> answered_;
    GtkWidget* window_ = nullptr;
    GtkWidget* button_ = nullptr;
    std::uint64_t generation_ = 0;
    bool polling_ = false;
};

}  // namespace parlendo
