#include "capture/AtspiSelectionReader.h"

#include "capture/GtkPasteboard.h"
#include "foundation/Log.h"
#include "foundation/MainThreadCall.h"

namespace parlendo {

AtspiSelectionReader::AtspiSelectionReader(std::shared_ptr<SelectionDesktop> desktop,
                                           RunningApplication app)
    : desktop_(std::move(desktop)),
      app_(std::move(app)),
      selection_(desktop_->accessibility, app_, desktop_->clock) {}

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

std::optional<std::string> AtspiSelectionReader::readPrimary() {
    if (!desktop_->primary) {
        return std::nullopt;
    }
    const auto owner = desktop_->primary->ownerPid();
    if (!owner) {
        return std::nullopt;
    }
    if (*owner != app_.pid) {
        Log::write("capture",
                   "주 선택은 앞 앱의 것이 아님 — 읽지 않음 app=" + app_.bundleID.value_or("?"));
        return std::nullopt;
    }
    auto text = callOnMain<std::optional<std::string>>(
        *desktop_->main, mainHopTimeout, [](Completion<void(std::optional<std::string>)> done) {
            GtkPasteboard::primaryText(std::move(done));
        });
    if (!text) {
        Log::write("capture", "주 선택을 제때 읽지 못함 app=" + app_.bundleID.value_or("?"));
        return std::nullopt;
    }
    return *text;
}

std::optional<SavedPasteboard> AtspiSelectionReader::savePasteboard() {
    auto saved = callOnMain<SavedClipboard>(
        *desktop_->main, mainHopTimeout,
        [](Completion<void(SavedClipboard)> done) { GtkPasteboard::save(std::move(done)); });
    if (!saved) {
        Log::write("capture", "클립보드를 제때 읽지 못함 — 되돌릴 수 없어 대신 복사를 하지 않음");
        return std::nullopt;
    }
    if (!saved->complete()) {
        Log::write("capture", "클립보드를 다 담지 못함 why=" + saved->shortfall +
                                  " — 되돌릴 수 없어 대신 복사를 하지 않음");
        return std::nullopt;
    }
    return SavedPasteboard(std::move(*saved));
}

std::int64_t AtspiSelectionReader::restorePasteboard(const SavedPasteboard& saved) {
    const auto* held = std::any_cast<SavedClipboard>(&saved);
    if (held == nullptr) {
        Log::write("capture", "되돌릴 클립보드가 이 읽기의 것이 아님 — 클립보드를 그대로 둠");
        return desktop_->clipboardCount->changeCount();
    }
    const auto ok = callOnMain<bool>(*desktop_->main, mainHopTimeout,
                                     [items = *held](Completion<void(bool)> done) mutable {
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

bool AtspiSelectionReader::postCopy() {
    const auto keys = desktop_->windows->frontCopyKeys();
    if (!keys) {
        Log::write("capture", "복사 키를 보내지 않음 — 앞 창을 모름");
        return false;
    }
    switch (*keys) {
        case CopyKeys::none:
            Log::write("capture", "복사 키를 보내지 않음 — 복사 키를 모르는 터미널 app=" +
                                      app_.bundleID.value_or("?"));
            return false;
        case CopyKeys::controlC:
            return post(false);
        case CopyKeys::controlShiftC:
            return post(true);
    }
    return false;
}

bool AtspiSelectionReader::post(bool withShift) {
    if (!desktop_->keyboard || !desktop_->keyboard->postCopy(withShift)) {
        Log::write("capture", "복사 키를 보내지 못함");
        return false;
    }
    return true;
}

double AtspiSelectionReader::now() {
    return desktop_->clock->uptime();
}

}  // namespace parlendo
