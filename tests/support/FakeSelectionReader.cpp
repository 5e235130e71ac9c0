#include "FakeSelectionReader.h"

namespace parlendo::testing {

void FakeSelectionReader::copiesAfter(double delay, std::string text) {
    onCopy = [pasteboard = pasteboard, clock = clock, delay, text] {
        clock->schedule(clock->uptime() + delay,
                        [pasteboard, text] { pasteboard->copyText(text); });
    };
}

std::optional<ReadingContext> FakeContextReader::read(
    const std::optional<RunningApplication>& app) {
    ++reads;
    if (!app) {
        return std::nullopt;
    }
    return ReadingContext{identity(*app), title, documentURL, webURL};
}

WindowIdentity FakeContextReader::identity(const RunningApplication& app) {
    return WindowIdentity{app.pid, app.bundleID.value_or("?"), title};
}

}  // namespace parlendo::testing
