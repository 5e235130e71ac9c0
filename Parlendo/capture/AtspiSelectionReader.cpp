#include "capture/AtspiSelectionReader.h"

#include "capture/GtkPasteboard.h"
#include "foundation/Log.h"
#include "foundation/MainThreadCall.h"

namespace parlendo {

AtspiSelectionReader::AtspiSelectionReader(std::shared_ptr<SelectionDesktop> desktop,
                                           RunningApplication app)
    : desktop_(std::move(desktop)),
      selection_(desktop_->accessibility, std::move(app), desktop_->clock) {}

std::optional<DirectSelection> AtspiSelectionReader::readDirect() {
    return selection_.readDirect();
}

std::optional<SelectionBoundsRead> AtspiSelectionReader::selectionBounds() {
    return selection_.selectionBounds();
}

std::optional<WindowIdentity> AtspiSelectionReader::frontWindow() {
    return desktop_->windows->frontWindow();
}

std::int64_t AtspiSelectionReader::pasteboardChangeCount() {
    return desktop_->clipboardCount->changeCount();
}

SavedPasteboard AtspiSelectionReader::savePasteboard() {
    auto saved = callOnMain<SavedClipboard>(
        *desktop_->main, mainHopTimeout,
        [](Completion<void(SavedClipboard)> done) { GtkPasteboard::save(std::move(done)); });
    if (!saved) {
        Log::write("capture", "클립보드를 제때 읽지 못함 — 되돌릴 내용 없음");
        return {};
    }
    return *saved;
}

std::int64_t AtspiSelectionReader::restorePasteboard(const SavedPasteboard& saved) {
    const auto* held = std::any_cast<SavedClipboard>(&saved);
    SavedClipboard items = held != nullptr ? *held : SavedClipboard{};
    const auto ok =
        callOnMain<bool>(*desktop_->main, mainHopTimeout,
                         [items = std::move(items)](Completion<void(bool)> done) mutable {
                             GtkPasteboard::restore(std::move(items), std::move(done));
                         });
    if (!ok || !*ok) {
        Log::write("capture", "클립보드를 되돌리지 못함");
    }
    return desktop_->clipboardCount->changeCount();
}

std::optional<std::string> AtspiSelectionReader::pasteboardText() {
    auto text = callOnMain<std::optional<std::string>>(
        *desktop_->main, mainHopTimeout, [](Completion<void(std::optional<std::string>)> done) {
            GtkPasteboard::text(std::move(done));
        });
    return text ? *text : std::nullopt;
}

void AtspiSelectionReader::postCopy() {
    const bool terminal = desktop_->windows->frontIsTerminal();
    if (!desktop_->keyboard || !desktop_->keyboard->postCopy(terminal)) {
        Log::write("capture", "복사 키를 보내지 못함");
    }
}

double AtspiSelectionReader::now() {
    return desktop_->clock->uptime();
}

}  // namespace parlendo
