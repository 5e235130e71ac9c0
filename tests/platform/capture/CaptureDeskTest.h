#pragma once

#include "CaptureDesk.h"
#include "CardWindows.h"
#include "DesktopSession.h"
#include "LogCapture.h"

#include <memory>
#include <string>
#include <vector>

namespace parlendo::testing {

// A test of whole captures on the X display: the log, the pointer out of the cards' way, and a
// capture desk that `startDesk` builds and starts.
class CaptureDeskTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!DesktopSession::available()) {
            GTEST_SKIP() << "no X display";
        }
        DesktopSession::ensure();
        DesktopSession::pointerTo(5, 5);
    }
    void TearDown() override { desk.reset(); }

    void startDesk() {
        desk = std::make_unique<CaptureDesk>();
        ASSERT_TRUE(desk->ready());
        ASSERT_TRUE(desk->start());
    }

    static std::unique_ptr<TestWindow> open(std::vector<std::string> args) {
        return TestWindow::inFront(std::move(args));
    }

    LogCapture log;
    std::unique_ptr<CaptureDesk> desk;
};

}  // namespace parlendo::testing
