// Requests per second and per-request cost of ServerClient over the curl transport, next to a bare
// libcurl loop making the same requests on the same loopback stub in the same run. The bare loop
// keeps connections as the session does (the same per-host and cache sizes).
//
// Two shapes: streaming rounds keep N requests in flight (each completion starts the next, and
// the caller waits once per round of 120), which shows what the client spends per request; in
// rounds of N the caller starts N requests and waits for all of them, so each round also pays
// the hand-over to the session thread and back, which a bare loop on a thread of its own pays
// as well (BM_BareCurlBatchThreadHop).
#include <benchmark/benchmark.h>

#include "FakeAuthAccess.h"
#include "StubBackend.h"
#include "foundation/Log.h"
#include "server/CurlServerTransport.h"
#include "server/ServerClient.h"

#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using namespace parlendo;
using testing::StubAnswer;
using testing::StubBackend;

constexpr const char* kPath = "/rest/v1/words?select=id,word&limit=1";
constexpr const char* kBody = R"([{"id":1,"word":"bench"}])";

StubBackend& stub() {
    static StubBackend* backend = [] {
        auto* b = new StubBackend();
        b->on("GET", "/rest/v1/words", StubAnswer::json(200, kBody));
        return b;
    }();
    return *backend;
}

// The bare loop sends what the client sends.
curl_slist* bareHeaders() {
    curl_slist* headers = nullptr;
    for (const char* h : {"Authorization: Bearer token-1", "Content-Type: application/json",
                          "apikey: anon-key", "X-Client-Info: parlendo-mac/0.2.0", "Expect:"}) {
        headers = curl_slist_append(headers, h);
    }
    return headers;
}

CURL* bareEasy(curl_slist* headers, std::string* sink) {
    CURL* easy = curl_easy_init();
    std::string url = stub().baseURL() + kPath;
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_CAINFO, StubBackend::caFile().c_str());
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, 15000L);
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, sink);
    curl_easy_setopt(
        easy, CURLOPT_WRITEFUNCTION, +[](char* data, size_t size, size_t count, void* user) {
            static_cast<std::string*>(user)->append(data, size * count);
            return size * count;
        });
    return easy;
}

CURLM* bareMulti() {
    CURLM* multi = curl_multi_init();
    curl_multi_setopt(multi, CURLMOPT_MAX_HOST_CONNECTIONS, CurlSession::maxHostConnections);
    curl_multi_setopt(multi, CURLMOPT_MAXCONNECTS, CurlSession::maxCachedConnections);
    return multi;
}

// Runs every handle to its end on `multi`; false when one failed.
bool runAll(CURLM* multi, const std::vector<CURL*>& easies) {
    for (CURL* easy : easies) {
        curl_multi_add_handle(multi, easy);
    }
    bool ok = true;
    int running = static_cast<int>(easies.size());
    while (running > 0) {
        curl_multi_perform(multi, &running);
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
            if (message->msg == CURLMSG_DONE) {
                ok = ok && message->data.result == CURLE_OK;
                curl_multi_remove_handle(multi, message->easy_handle);
            }
        }
        if (running > 0) {
            curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
        }
    }
    return ok;
}

// A round of the streaming benchmarks: this many requests, with `in flight` of them running at
// any moment (a finished one is followed at once by the next).
constexpr int kRound = 120;

void setPerIteration(benchmark::State& state, int requests, int64_t done) {
    state.SetItemsProcessed(done);
    state.counters["requests_per_iteration"] = requests;
}

// Keeps `inFlight` requests running on one thread until a round has finished.
void BM_BareCurl(benchmark::State& state) {
    const int inFlight = static_cast<int>(state.range(0));
    curl_slist* headers = bareHeaders();
    CURLM* multi = bareMulti();
    std::vector<std::string> sinks(static_cast<size_t>(inFlight));
    std::vector<CURL*> easies;
    for (auto& sink : sinks) {
        easies.push_back(bareEasy(headers, &sink));
    }
    int64_t done = 0;
    for (auto _ : state) {
        int started = 0;
        int finished = 0;
        for (CURL* easy : easies) {
            curl_multi_add_handle(multi, easy);
            ++started;
        }
        while (finished < kRound) {
            int running = 0;
            curl_multi_perform(multi, &running);
            int queued = 0;
            while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
                if (message->msg != CURLMSG_DONE) {
                    continue;
                }
                if (message->data.result != CURLE_OK) {
                    state.SkipWithError("bare request failed");
                }
                CURL* easy = message->easy_handle;
                curl_multi_remove_handle(multi, easy);
                ++finished;
                if (started < kRound) {
                    curl_multi_add_handle(multi, easy);
                    ++started;
                }
            }
            if (finished < kRound) {
                curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
            }
        }
        for (auto& sink : sinks) {
            sink.clear();
        }
        done += kRound;
    }
    for (CURL* easy : easies) {
        curl_easy_cleanup(easy);
    }
    curl_multi_cleanup(multi);
    curl_slist_free_all(headers);
    setPerIteration(state, kRound, done);
}

// Everything the client needs around it, as the application builds it.
struct ClientRig {
    std::shared_ptr<CurlSession> session =
        std::make_shared<CurlSession>(ServerSessions::data(), StubBackend::caFile());
    std::shared_ptr<CurlServerTransport> transport = std::make_shared<CurlServerTransport>(
        stub().baseURL(), session, std::nullopt, "parlendo-mac/0.2.0");
    // Completions run where the answer arrives, as a direct hop.
    ServerClient client{transport,
                        std::make_shared<parlendo::testing::FakeAuthAccess>(),
                        "anon-key",
                        [](Task task) { task(); },
                        true,
                        std::make_shared<ServerGate>(),
                        std::make_shared<NetState>()};
};

// The same round through the client: each completion starts the next request, and the caller
// waits once per round.
void BM_ServerClient(benchmark::State& state) {
    const int inFlight = static_cast<int>(state.range(0));
    ClientRig rig;
    std::mutex mutex;
    std::condition_variable changed;
    int started = 0;
    int finished = 0;
    bool failed = false;
    std::function<void()> next = [&] {
        rig.client.callDetailed(kPath, "GET", std::nullopt, {}, 15, [&](DetailedCallResult r) {
            bool more = false;
            {
                std::lock_guard lock(mutex);
                failed = failed || !r;
                ++finished;
                more = started < kRound;
                started += more ? 1 : 0;
                if (finished == kRound) {
                    changed.notify_one();
                }
            }
            if (more) {
                next();
            }
        });
    };
    int64_t done = 0;
    for (auto _ : state) {
        {
            std::lock_guard lock(mutex);
            started = inFlight;
            finished = 0;
        }
        for (int i = 0; i < inFlight; ++i) {
            next();
        }
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return finished == kRound; });
        done += kRound;
    }
    if (failed) {
        state.SkipWithError("client request failed");
    }
    setPerIteration(state, kRound, done);
}

// Rounds of `inFlight` requests that all end before the next round starts, on the caller's thread.
void BM_BareCurlBatch(benchmark::State& state) {
    const int inFlight = static_cast<int>(state.range(0));
    curl_slist* headers = bareHeaders();
    CURLM* multi = bareMulti();
    std::vector<std::string> sinks(static_cast<size_t>(inFlight));
    std::vector<CURL*> easies;
    for (auto& sink : sinks) {
        easies.push_back(bareEasy(headers, &sink));
    }
    int64_t done = 0;
    for (auto _ : state) {
        if (!runAll(multi, easies)) {
            state.SkipWithError("bare request failed");
        }
        done += inFlight;
        for (auto& sink : sinks) {
            sink.clear();
        }
    }
    for (CURL* easy : easies) {
        curl_easy_cleanup(easy);
    }
    curl_multi_cleanup(multi);
    curl_slist_free_all(headers);
    setPerIteration(state, inFlight, done);
}

// The same rounds on a thread of their own: the caller hands each round over and waits for its
// end, as a caller of the session does.
void BM_BareCurlBatchThreadHop(benchmark::State& state) {
    const int inFlight = static_cast<int>(state.range(0));
    curl_slist* headers = bareHeaders();
    CURLM* multi = bareMulti();
    std::vector<std::string> sinks(static_cast<size_t>(inFlight));
    std::vector<CURL*> easies;
    for (auto& sink : sinks) {
        easies.push_back(bareEasy(headers, &sink));
    }
    std::mutex mutex;
    std::condition_variable changed;
    int rounds = 0;    // handed over
    int finished = 0;  // ended
    bool failed = false;
    bool stop = false;
    std::thread worker([&] {
        int seen = 0;
        for (;;) {
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return stop || rounds > seen; });
                if (stop) {
                    return;
                }
                ++seen;
            }
            bool ok = runAll(multi, easies);
            for (auto& sink : sinks) {
                sink.clear();
            }
            std::lock_guard lock(mutex);
            failed = failed || !ok;
            ++finished;
            changed.notify_all();
        }
    });
    int64_t done = 0;
    for (auto _ : state) {
        std::unique_lock lock(mutex);
        ++rounds;
        changed.notify_all();
        changed.wait(lock, [&] { return finished == rounds; });
        done += inFlight;
    }
    {
        std::lock_guard lock(mutex);
        stop = true;
        changed.notify_all();
    }
    worker.join();
    if (failed) {
        state.SkipWithError("bare request failed");
    }
    for (CURL* easy : easies) {
        curl_easy_cleanup(easy);
    }
    curl_multi_cleanup(multi);
    curl_slist_free_all(headers);
    setPerIteration(state, inFlight, done);
}

// The same rounds through the client, started and awaited by the caller.
void BM_ServerClientBatch(benchmark::State& state) {
    const int inFlight = static_cast<int>(state.range(0));
    ClientRig rig;
    std::mutex mutex;
    std::condition_variable finished;
    int64_t done = 0;
    bool failed = false;
    for (auto _ : state) {
        int remaining = inFlight;
        for (int i = 0; i < inFlight; ++i) {
            rig.client.callDetailed(kPath, "GET", std::nullopt, {}, 15, [&](DetailedCallResult r) {
                std::lock_guard lock(mutex);
                failed = failed || !r;
                if (--remaining == 0) {
                    finished.notify_one();
                }
            });
        }
        std::unique_lock lock(mutex);
        finished.wait(lock, [&] { return remaining == 0; });
        done += inFlight;
    }
    if (failed) {
        state.SkipWithError("client request failed");
    }
    setPerIteration(state, inFlight, done);
}

BENCHMARK(BM_BareCurl)->Arg(1)->Arg(6)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_ServerClient)->Arg(1)->Arg(6)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_BareCurlBatch)->Arg(1)->Arg(6)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_BareCurlBatchThreadHop)->Arg(1)->Arg(6)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_ServerClientBatch)->Arg(1)->Arg(6)->UseRealTime()->MinTime(2.0);

// Prints, per number in flight, the client's time per request over the bare loop's, for the
// streaming rounds and for the rounds the caller waits for.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const auto& run : runs) {
            bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type == Run::RT_Aggregate && !median) {
                continue;
            }
            auto requests = run.counters.find("requests_per_iteration");
            if (requests == run.counters.end() || requests->second.value <= 0) {
                continue;
            }
            perRequest_[run.run_name.args][run.run_name.function_name] =
                run.GetAdjustedRealTime() / requests->second.value;
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        for (auto& [arg, kinds] : perRequest_) {
            auto ratio = [&kinds](const char* over, const char* under) {
                auto a = kinds.find(over);
                auto b = kinds.find(under);
                return a == kinds.end() || b == kinds.end() ? 0.0 : a->second / b->second;
            };
            std::printf(
                "in flight %s: client/bare per request %.3f streaming, %.3f in rounds "
                "(bare with the thread hop/bare %.3f, client/bare with the hop %.3f)\n",
                arg.c_str(), ratio("BM_ServerClient", "BM_BareCurl"),
                ratio("BM_ServerClientBatch", "BM_BareCurlBatch"),
                ratio("BM_BareCurlBatchThreadHop", "BM_BareCurlBatch"),
                ratio("BM_ServerClientBatch", "BM_BareCurlBatchThreadHop"));
        }
    }

  private:
    std::map<std::string, std::map<std::string, double>> perRequest_;
};

}  // namespace

int main(int argc, char** argv) {
    auto logs = std::filesystem::temp_directory_path() /
                ("parlendo-bench-log-" + std::to_string(::getpid()));
    parlendo::Log::setDirectory(logs);
    curl_global_init(CURL_GLOBAL_DEFAULT);
    stub();
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    parlendo::Log::flush();
    std::filesystem::remove_all(logs);
    return 0;
}
