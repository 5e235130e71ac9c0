#include "PdfViewer.h"

namespace parlendo::testing {

PdfViewer::PdfViewer(const std::filesystem::path& pdf) : viewer_({program, pdf.string()}) {}

std::optional<PdfViewer::Window> PdfViewer::window(double seconds) const {
    const auto found = viewer_.window({}, seconds);
    if (!found) {
        return std::nullopt;
    }
    return Window{found->xid, found->area};
}

bool PdfViewer::installed() {
    return DesktopProgram::installed(program);
}

}  // namespace parlendo::testing
