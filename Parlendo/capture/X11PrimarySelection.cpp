#include "capture/X11PrimarySelection.h"

#include "foundation/Log.h"

namespace parlendo {

std::shared_ptr<X11PrimarySelection> X11PrimarySelection::open(
    std::shared_ptr<X11Windows> windows) {
    if (!windows) {
        return nullptr;
    }
    if (!windows->knowsClients()) {
        Log::write("capture", "X 서버에 X-Resource 확장이 없음 — 주 선택을 읽지 않는다");
    }
    return std::shared_ptr<X11PrimarySelection>(new X11PrimarySelection(std::move(windows)));
}

X11PrimarySelection::X11PrimarySelection(std::shared_ptr<X11Windows> windows)
    : windows_(std::move(windows)) {}

std::optional<std::int32_t> X11PrimarySelection::ownerPid() {
    // The owner is often a window of the application's own that is never shown and names no
    // process: only the server's word counts here.
    const auto owner = windows_->selectionOwner("PRIMARY");
    return owner ? windows_->clientPid(*owner) : std::nullopt;
}

}  // namespace parlendo
