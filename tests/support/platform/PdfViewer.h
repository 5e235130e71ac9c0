#pragma once

#include "DesktopProgram.h"

#include <gdk/gdk.h>

#include <cstdint>
#include <filesystem>
#include <optional>

namespace parlendo::testing {

// The desktop's PDF viewer (Evince) showing a file, on the accessibility bus like any other
// application; ended when this goes.
class PdfViewer {
  public:
    static constexpr const char* program = "evince";

    explicit PdfViewer(const std::filesystem::path& pdf);

    // Whether the viewer is installed (scripts/setup.sh installs it).
    static bool installed();
    std::int32_t pid() const { return static_cast<std::int32_t>(viewer_.pid()); }

    // The viewer's document window once it is mapped (turning this thread's main loop while
    // waiting up to `seconds`): its X window and where it stands on the screen.
    struct Window {
        unsigned long xid = 0;
        GdkRectangle area{};
    };
    std::optional<Window> window(double seconds = 30.0) const;

  private:
    DesktopProgram viewer_;
};

}  // namespace parlendo::testing
