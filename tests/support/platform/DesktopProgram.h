#pragma once

#include <gdk/gdk.h>
#include <glib.h>

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace parlendo::testing {

// An application of the desktop that a test starts (a PDF viewer, a browser, a terminal, an
// editor): searched in PATH, on the accessibility bus like any other application (this process
// keeps its own windows off it), in a process group of its own with its output in a file, so
// that its helper processes never hold the test's output open. Ended with its whole group when
// this goes.
class DesktopProgram {
  public:
    // `arguments` starts with the program's name; `environment` adds or replaces variables.
    explicit DesktopProgram(std::vector<std::string> arguments,
                            const std::map<std::string, std::string>& environment = {},
                            std::filesystem::path output = "/dev/null");
    ~DesktopProgram();
    DesktopProgram(const DesktopProgram&) = delete;
    DesktopProgram& operator=(const DesktopProgram&) = delete;

    // Whether `program` is installed (scripts/setup.sh installs the ones the tests use).
    static bool installed(const std::string& program);

    // The process started, and whether it (the first process of the group) still runs.
    int pid() const { return static_cast<int>(pid_); }
    bool running() const;
    // Whether a process of the group runs a program of this name (a terminal's foreground job).
    bool runs(const std::string& name) const;

    // A mapped top-level window of the program: any process of its group may own it.
    struct Window {
        unsigned long xid = 0;
        GdkRectangle area{};
        std::string title;
        int pid = 0;
    };
    // The first window that `match` accepts (any window at least 200 pixels wide by default),
    // turning this thread's main loop while waiting up to `seconds`.
    std::optional<Window> window(const std::function<bool(const Window&)>& match = {},
                                 double seconds = 30) const;

  private:
    std::vector<int> group() const;

    GPid pid_ = 0;
};

}  // namespace parlendo::testing
