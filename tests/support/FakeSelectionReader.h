#pragma once

#include "FakeClock.h"
#include "FakePasteboard.h"
#include "capture/ContextReader.h"
#include "capture/SelectionSource.h"

#include <functional>
#include <memory>

namespace parlendo::testing {

// A selection reader over a FakePasteboard and a FakeClock. The direct read, the primary
// selection, the front window and the bounds are plain fields; `onCopy` says what the front
// application does with the synthetic copy (typically: schedule a clipboard write on the clock);
// `copyKeySent` false is a window that gets no copy key, `saveAnswers` false a clipboard whose
// owner does not answer the save.
class FakeSelectionReader final : public SelectionReading {
  public:
    FakeSelectionReader(std::shared_ptr<FakePasteboard> pasteboard,
                        std::shared_ptr<FakeClock> clock)
        : pasteboard(std::move(pasteboard)), clock(std::move(clock)) {}

    std::optional<DirectSelection> readDirect() override {
        ++directReads;
        return direct;
    }
    std::optional<std::string> readPrimary() override {
        ++primaryReads;
        return primary;
    }
    std::optional<WindowIdentity> frontWindow() override { return window; }
    std::int64_t pasteboardChangeCount() override { return pasteboard->changeCount(); }
    std::optional<SavedPasteboard> savePasteboard() override {
        ++saves;
        if (!saveAnswers) {
            return std::nullopt;
        }
        return pasteboard->save();
    }
    std::int64_t restorePasteboard(const SavedPasteboard& saved) override {
        ++restores;
        return pasteboard->restore(saved);
    }
    std::optional<std::string> pasteboardText() override { return pasteboard->text(); }
    bool postCopy() override {
        if (!copyKeySent) {
            return false;
        }
        ++copies;
        if (onCopy) {
            onCopy();
        }
        return true;
    }
    double now() override { return clock->uptime(); }
    std::optional<SelectionBoundsRead> selectionBounds() override {
        ++boundsReads;
        return bounds;
    }

    // The application copies `text` `delay` seconds after the synthetic copy.
    void copiesAfter(double delay, std::string text);

    std::shared_ptr<FakePasteboard> pasteboard;
    std::shared_ptr<FakeClock> clock;
    std::optional<DirectSelection> direct;
    std::optional<std::string> primary;
    std::optional<WindowIdentity> window;
    std::optional<SelectionBoundsRead> bounds;
    std::function<void()> onCopy;
    bool copyKeySent = true;
    bool saveAnswers = true;
    int directReads = 0;
    int primaryReads = 0;
    int saves = 0;
    int copies = 0;
    int restores = 0;
    int boundsReads = 0;
};

// A window context reader that answers a fixed context for any application.
class FakeContextReader final : public ContextReader {
  public:
    std::optional<ReadingContext> read(const std::optional<RunningApplication>& app) override;
    WindowIdentity identity(const RunningApplication& app) override;

    // The title and addresses reported; the window is the application's identity with `title`.
    std::optional<std::string> title;
    std::optional<std::string> documentURL;
    std::optional<std::string> webURL;
    int reads = 0;
};

}  // namespace parlendo::testing
