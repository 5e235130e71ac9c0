#include "capture/SelectionFetch.h"

#include "capture/SyntheticCopyLedger.h"
#include "foundation/PyText.h"
#include "foundation/Text.h"

namespace parlendo {

std::string_view toString(SelectionFetch::Stage stage) {
    switch (stage) {
        case SelectionFetch::Stage::direct:
            return "direct";
        case SelectionFetch::Stage::primary:
            return "primary";
        case SelectionFetch::Stage::copy:
            return "copy";
    }
    return "";
}

namespace SelectionFetch {

namespace {

// Takes the copied text and restores the clipboard, marking every change count the copy and the
// restore produced as the application's own.
std::optional<std::string> settle(SelectionSource& source, SyntheticCopyLedger& ledger,
                                  std::int64_t startCount, const SavedPasteboard& saved) {
    const auto current = source.pasteboardChangeCount();
    if (startCount < current) {
        for (auto count = startCount + 1; count <= current; ++count) {
            ledger.mark(count);
        }
    } else {
        ledger.mark(current);
    }
    auto text = source.pasteboardText();
    ledger.mark(source.restorePasteboard(saved));
    return text;
}

bool isBlank(const std::optional<std::string>& text) {
    return !text || PyText::strip(*text).empty();
}

// One synthetic copy waiting for the clipboard to change.
struct CopyWait {
    std::shared_ptr<SelectionSource> source;
    std::shared_ptr<SyntheticCopyLedger> ledger;
    std::optional<WindowIdentity> window;
    double copyWait = 0;
    double poll = 0;
    ExecutorPtr queue;
    std::int64_t startCount = 0;
    SavedPasteboard saved;
    double t0 = 0;
    Completion<void(Result)> done;
};

void arrived(std::unique_ptr<CopyWait> wait) {
    auto& source = *wait->source;
    const double t1 = source.now();
    auto text = settle(source, *wait->ledger, wait->startCount, wait->saved);
    const auto front = source.frontWindow();
    if (!wait->window || !front || *wait->window != *front) {
        wait->done(Result{WindowChanged{}, std::nullopt});
        return;
    }
    if (isBlank(text)) {
        wait->done(Result{Unreadable{}, std::nullopt});
        return;
    }
    wait->done(
        Result{Text{text::sanitize(*text), Stage::copy, "synthetic_copy", (t1 - wait->t0) * 1000},
               std::nullopt});
}

void look(std::unique_ptr<CopyWait> wait) {
    if (wait->source->now() - wait->t0 >= wait->copyWait) {
        Pending pending{wait->startCount, std::move(wait->saved)};
        wait->done(Result{NoSelection{}, std::move(pending)});
        return;
    }
    auto queue = wait->queue;
    const double poll = wait->poll;
    queue->postAfter(poll, [wait = std::move(wait)]() mutable {
        if (wait->source->pasteboardChangeCount() != wait->startCount) {
            arrived(std::move(wait));
        } else {
            look(std::move(wait));
        }
    });
}

}  // namespace

void run(std::shared_ptr<SelectionSource> source, std::shared_ptr<SyntheticCopyLedger> ledger,
         std::optional<WindowIdentity> window, double copyWait, double poll, ExecutorPtr queue,
         Completion<void(Result)> done) {
    if (auto direct = source->readDirect(); direct && !PyText::strip(direct->text).empty()) {
        done(Result{Text{text::sanitize(direct->text), Stage::direct, std::move(direct->method), 0},
                    std::nullopt});
        return;
    }
    if (auto primary = source->readPrimary(); !isBlank(primary)) {
        done(Result{Text{text::sanitize(*primary), Stage::primary, "primary_selection", 0},
                    std::nullopt});
        return;
    }
    auto wait = std::make_unique<CopyWait>();
    wait->startCount = source->pasteboardChangeCount();
    auto saved = source->savePasteboard();
    if (!saved) {
        done(Result{ClipboardNotSaved{}, std::nullopt});
        return;
    }
    wait->saved = std::move(*saved);
    wait->t0 = source->now();
    if (!source->postCopy()) {
        done(Result{CopyNotSent{}, std::nullopt});
        return;
    }
    wait->source = std::move(source);
    wait->ledger = std::move(ledger);
    wait->window = std::move(window);
    wait->copyWait = copyWait;
    wait->poll = poll;
    wait->queue = std::move(queue);
    wait->done = std::move(done);
    look(std::move(wait));
}

bool settleLate(SelectionSource& source, SyntheticCopyLedger& ledger, const Pending& pending) {
    if (source.pasteboardChangeCount() == pending.startCount) {
        return false;
    }
    settle(source, ledger, pending.startCount, pending.saved);
    return true;
}

}  // namespace SelectionFetch
}  // namespace parlendo
