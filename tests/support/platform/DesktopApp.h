#pragma once

#include <glib.h>

#include <optional>
#include <string>
#include <vector>

namespace parlendo::testing {

// An application of the desktop (a browser, an editor, a viewer) started by a test on the
// accessibility bus, in a process group of its own so that its helper processes end with it:
// ended when this goes (SIGTERM to the group, SIGKILL after a few seconds).
class DesktopApp {
  public:
    // Starts `argv` (the program searched in PATH) with `environment` ("NAME=value") added.
    explicit DesktopApp(std::vector<std::string> argv, std::vector<std::string> environment = {});
    ~DesktopApp();
    DesktopApp(const DesktopApp&) = delete;
    DesktopApp& operator=(const DesktopApp&) = delete;

    // Whether the program is installed (scripts/setup.sh installs those the tests use).
    static bool installed(const std::string& program);

    // Whether the program started.
    bool started() const { return pid_ > 0; }
    int pid() const { return static_cast<int>(pid_); }

    // A mapped top-level window whose title holds `part`, waiting up to `seconds` (turning this
    // thread's main loop meanwhile); any application's, since launchers hand their windows to
    // other processes.
    static std::optional<unsigned long> window(const std::string& part, double seconds = 90.0);
    static std::optional<std::string> title(unsigned long window);

  private:
    GPid pid_ = 0;
};

}  // namespace parlendo::testing
