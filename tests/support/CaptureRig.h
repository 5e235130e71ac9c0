#pragma once

#include "CaptureQueues.h"
#include "FakeInputSource.h"
#include "FakePasteboard.h"
#include "FakeSelectionReader.h"
#include "capture/CaptureController.h"
#include "capture/InputHub.h"
#include "capture/LookupHotkey.h"
#include "capture/SyntheticCopyLedger.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace parlendo::testing {

// The front of the capture road over fakes: raw key events through the input hub and the lookup
// chord to a capture controller whose selection fetch reads a fake reader and clipboard. The
// user's clipboard holds "the user's clipboard". Call start() once the sink is ready.
struct CaptureRig {
    static constexpr std::int32_t ownPid = 77;

    explicit CaptureRig(const CaptureQueues& queues)
        : reader(std::make_shared<FakeSelectionReader>(pasteboard, queues.clock)), queues_(queues) {
        pasteboard->copyText("the user's clipboard");
    }

    // Dependencies over the rig's fakes: the front application is `front`, notices land in
    // `notices` and accepted chords count in `captures`.
    CaptureController::Dependencies dependencies(std::shared_ptr<CaptureSink> sink) {
        CaptureController::Dependencies deps;
        deps.pipeline = std::move(sink);
        deps.notice = [this](const std::string& text) {
            notices.push_back(text);
            noticeAt = queues_.clock->uptime();
        };
        deps.onCapture = [this] {
            ++captures;
        };
        deps.syntheticCopies = ledger;
        deps.readers.frontApplication = [this] {
            return front;
        };
        deps.readers.ownPid = ownPid;
        deps.readers.makeReader = [this](const RunningApplication&) {
            return reader;
        };
        deps.readers.context = context;
        deps.fetchQueue = queues_.fetchQueue;
        deps.main = queues_.main;
        deps.clock = queues_.clock;
        return deps;
    }

    // Makes the controller, enables it and starts listening for the lookup chord.
    void start(CaptureController::Dependencies deps) {
        controller = CaptureController::make(std::move(deps));
        controller->setEnabled(true);
        hotkey->onTrigger = [this](double t) {
            controller->lookupSelection(t);
        };
        hub.subscribe(hotkey);
        hub.start();
    }

    // The user presses Alt, then Alt+Control, and releases both now.
    void chord() {
        const double t = queues_.clock->uptime();
        send(ModifierFlags::option, t - 0.2);
        send(ModifierFlags::option | ModifierFlags::command, t - 0.1);
        send(0, t);
    }
    void send(std::uint64_t flags, double t) {
        RawInputEvent raw;
        raw.type = RawInputEvent::Type::flagsChanged;
        raw.modifierFlags = flags;
        raw.timestamp = t;
        input->sendGlobal(raw);
    }

    std::shared_ptr<FakePasteboard> pasteboard = std::make_shared<FakePasteboard>();
    std::shared_ptr<FakeSelectionReader> reader;
    std::shared_ptr<FakeContextReader> context = std::make_shared<FakeContextReader>();
    std::shared_ptr<SyntheticCopyLedger> ledger = std::make_shared<SyntheticCopyLedger>();
    std::shared_ptr<FakeInputSource> input = std::make_shared<FakeInputSource>();
    InputHub hub{input, ledger};
    std::shared_ptr<LookupHotkey> hotkey = std::make_shared<LookupHotkey>();
    std::shared_ptr<CaptureController> controller;
    std::optional<RunningApplication> front;

    std::vector<std::string> notices;
    double noticeAt = 0;
    int captures = 0;

  private:
    CaptureQueues queues_;
};

}  // namespace parlendo::testing
