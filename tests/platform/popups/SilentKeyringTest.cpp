// A keyring that stops answering: the manage page's AI key calls go to the keychain queue and
// end in a clear failure at their deadline, while the main loop keeps turning.
#include "FakeSession.h"
#include "SilentSecretService.h"
#include "foundation/GlibMainExecutor.h"
#include "foundation/Keychain.h"
#include "foundation/KeychainSetup.h"
#include "foundation/LibsecretKeychain.h"
#include "foundation/WorkerQueue.h"
#include "popups/ConnectionRoutes.h"
#include "shell/StallWatch.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <optional>

namespace parlendo {
namespace {

// In a fresh process: 0 when the call ended in the failure within its deadline and the main loop
// never stalled on it; otherwise a code that says what went wrong.
int askASilentKeyring() {
    testing::SilentSecretService service;
    if (!service.owned()) {
        std::fprintf(stderr, "no silent service: %s\n", service.why().c_str());
        return 2;
    }
    Keychain::setBackend(std::make_shared<LibsecretKeychain>());
    auto main = std::make_shared<GlibMainExecutor>();
    constexpr double deadline = 1.0;
    ConnectionRoutes routes(
        std::make_shared<ConnectionSettings>(std::make_shared<KeychainSecretStore>(),
                                             std::make_shared<testing::FakeSession>("user-1")),
        KeychainSetup::queue(), SerialQueue::timers(), deadline);
    auto watch = StallWatch::start(main, SystemClock::shared());
    const auto started = std::chrono::steady_clock::now();
    std::optional<BridgeReply> reply;
    routes.routes()
        .at("credential_status")
        .handler()(BridgeArgs(std::vector<Json>{}), [&, main](BridgeReply answer) {
            main->post([&reply, answer = std::move(answer)] { reply = answer; });
        });
    const auto until = started + std::chrono::seconds(20);
    while (!reply && std::chrono::steady_clock::now() < until) {
        g_main_context_iteration(nullptr, TRUE);
    }
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::fprintf(stderr, "answered after %.2f s, longest stall %.0f ms\n", took,
                 watch->longest() * 1000);
    if (!reply || *reply != BridgeReply::custom({{"ok", false},
                                                 {"msg", ConnectionRoutes::notAnswering},
                                                 {"error_class", "request"}})) {
        return 3;
    }
    // The deadline, not the bus's own time-out (25 s), ends the call; a busy machine may add a
    // little.
    if (took < deadline || took > deadline + 4.0) {
        return 4;
    }
    // The main loop turned all along (its ticks are 10 ms apart).
    if (watch->longest() > 0.5) {
        return 5;
    }
    return 0;
}

TEST(SilentKeyring, TheAIKeyCallsEndAtTheirDeadlineWhileTheMainLoopTurns) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The keychain queue may still wait on the bus: the process ends without waiting for it.
    EXPECT_EXIT(::_exit(askASilentKeyring()), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace parlendo
