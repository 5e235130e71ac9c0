#pragma once

#include <gtest/gtest.h>

#include "FakeClock.h"
#include "LogCapture.h"
#include "ManualExecutor.h"
#include "StubBackend.h"
#include "auth/CurlAuthTransport.h"
#include "foundation/WorkerQueue.h"

#include <chrono>
#include <future>
#include <memory>
#include <optional>
#include <string>

namespace parlendo::testing {

// An auth transport over a real curl session, talking TLS to the loopback stub backend. The main
// executor is a real serial queue; watchdogs wait on a fake clock, so a test fires them with
// `clock->advance` while the stub really hangs.
class AuthStubFixture : public ::testing::Test {
  protected:
    static constexpr const char* anonKey = "anon-key";
    static constexpr const char* clientInfo = "parlendo-mac/0.2.0+20250101.01";

    // What a completion received and where it ran.
    template <class T>
    struct Outcome {
        T value;
        bool onMain = false;
        bool onSession = false;
    };

    std::shared_ptr<CurlAuthTransport> transport(std::optional<std::string> base = std::nullopt) {
        return std::make_shared<CurlAuthTransport>(
            CurlAuthTransport::Services{base.value_or(stub.baseURL()), anonKey, session, gate, main,
                                        watchdog, clock, clientInfo});
    }

    // Starts an operation with a completion and waits (really) for its outcome.
    template <class T, class Start>
    std::optional<Outcome<T>> await(Start&& start, double seconds = 10) {
        auto promise = std::make_shared<std::promise<Outcome<T>>>();
        auto future = promise->get_future();
        start(Completion<void(T)>([promise, main = main, session = session](T value) {
            promise->set_value(
                Outcome<T>{std::move(value), main->isCurrent(), session->isCurrent()});
        }));
        if (future.wait_for(std::chrono::duration<double>(seconds)) != std::future_status::ready) {
            ADD_FAILURE() << "no completion within " << seconds << " s";
            return std::nullopt;
        }
        return future.get();
    }

    // The body of the last request as JSON (null when it is not JSON).
    Json lastBody() const { return json::parse(stub.lastRequest().body).value_or(Json()); }

    StubBackend stub;
    LogCapture log;
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    std::shared_ptr<ManualExecutor> watchdog = std::make_shared<ManualExecutor>(clock);
    std::shared_ptr<SerialQueue> main = std::make_shared<SerialQueue>("test.main");
    std::shared_ptr<CurlSession> session =
        std::make_shared<CurlSession>(ServerSessions::data(), StubBackend::caFile());
    std::shared_ptr<ServerGate> gate = std::make_shared<ServerGate>(
        [clock = clock] { return clock->uptime(); }, [clock = clock] { return clock->now(); });
};

}  // namespace parlendo::testing
