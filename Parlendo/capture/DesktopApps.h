#pragma once

#include "capture/AppIdentity.h"
#include "capture/ContextReader.h"
#include "capture/X11Windows.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace parlendo {

// Names the applications behind X windows: the Flatpak id or the desktop-file id (from the
// window's hints, the process's launcher variables and the installed desktop entries, read once
// through GIO), else the window class; and says whether an application is a terminal emulator
// (by its name, or by the pseudo-terminal its process holds).
// Thread-safe.
class DesktopApps {
  public:
    explicit DesktopApps(std::shared_ptr<X11Windows> windows);

    // The application of a top-level window: its process id (0 when it names none) and id.
    RunningApplication application(X11Windows::Window window);
    // The front application, from the active window.
    std::optional<RunningApplication> front();
    // The keys that copy the selection in the application of `window`.
    CopyKeys copyKeys(X11Windows::Window window);

    const std::shared_ptr<X11Windows>& windows() const { return windows_; }

    // The installed desktop entries (read on first use).
    const std::vector<DesktopEntry>& entries();

    // Whether the program of `pid` ships the Electron runtime next to its executable.
    static bool hasElectronFramework(std::int32_t pid);
    // Whether process `pid` holds a pseudo-terminal master open, as a terminal emulator does for
    // the programs it runs; none when its open files cannot be read.
    static std::optional<bool> holdsPseudoTerminal(std::int32_t pid);

  private:
    AppClues clues(X11Windows::Window window);

    std::shared_ptr<X11Windows> windows_;
    std::once_flag entriesOnce_;
    std::vector<DesktopEntry> entries_;
};

}  // namespace parlendo
