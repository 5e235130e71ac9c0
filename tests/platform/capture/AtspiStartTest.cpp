// Opening the accessibility bus client while the main loop runs: the client's connection must be
// handed to the fetch queue without the main loop ever dispatching it half-moved.
#include "DesktopSession.h"
#include "capture/AtspiAccessibility.h"
#include "capture/DesktopCapture.h"
#include "foundation/GlibMainExecutor.h"
#include "foundation/GlibThreadQueue.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>

namespace parlendo {
namespace {

using testing::DesktopSession;

// In a process of its own (the client is opened once per process): the main loop spins while the
// client starts and the fetch queue uses it; 0 once it answered, 1 when it never did.
int startWhileTheMainLoopSpins() {
    auto main = std::make_shared<GlibMainExecutor>();
    auto fetch = std::make_shared<GlibThreadQueue>("parlendo.selection-fetch");
    auto accessibility =
        AtspiAccessibility::make(fetch, fetch->context(), DesktopCapture::screens(main));
    accessibility->start();
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!accessibility->connected() && std::chrono::steady_clock::now() < until) {
        g_main_context_iteration(nullptr, FALSE);
    }
    // Keep both sides busy a moment longer: events reach the fetch queue's context.
    const auto settle = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
    while (std::chrono::steady_clock::now() < settle) {
        g_main_context_iteration(nullptr, FALSE);
    }
    return accessibility->connected() ? 0 : 1;
}

TEST(AtspiStart, TheClientStartsWhileTheMainLoopRunsWithoutBreakingItsConnection) {
    if (!DesktopSession::available()) {
        GTEST_SKIP() << "no X display";
    }
    DesktopSession::ensure();
    // Each round in a fresh process: the client is opened once per process.
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    for (int round = 0; round < 12; ++round) {
        EXPECT_EXIT(::_exit(startWhileTheMainLoopSpins()), ::testing::ExitedWithCode(0), "")
            << "round " << round;
    }
}

}  // namespace
}  // namespace parlendo
