// Requests per second and per-request cost of ServerClient over the curl transport, next to a bare
// libcurl loop making the same requests on the same loopback stub in the same run.
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
#include <map>
#include <memory>
#include <mutex>
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

void BM_BareCurl(benchmark::State& state) {
    const int inFlight = static_cast<int>(state.range(0));
    curl_slist* headers = bareHeaders();
    CURLM* multi = curl_multi_init();
    std::vector<std::string> sinks(static_cast<size_t>(inFlight));
    std::vector<CURL*> easies;
    for (auto& sink : sinks) {
        easies.push_back(bareEasy(headers, &sink));
    }
    int64_t done = 0;
    for (auto _ : state) {
        for (CURL* easy : easies) {
            curl_multi_add_handle(multi, easy);
        }
        int running = inFlight;
        while (running > 0) {
            curl_multi_perform(multi, &running);
            int queued = 0;
            while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
                if (message->msg == CURLMSG_DONE) {
                    if (message->data.result != CURLE_OK) {
                        state.SkipWithError("bare request failed");
                    }
                    curl_multi_remove_handle(multi, message->easy_handle);
                    ++done;
                }
            }
            if (running > 0) {
                curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
            }
        }
        for (auto& sink : sinks) {
            sink.clear();
        }
    }
    for (CURL* easy : easies) {
        curl_easy_cleanup(easy);
    }
    curl_multi_cleanup(multi);
    curl_slist_free_all(headers);
    state.SetItemsProcessed(done);
}

void BM_ServerClient(benchmark::State& state) {
    const int inFlight = static_cast<int>(state.range(0));
    auto session = std::make_shared<CurlSession>(ServerSessions::data(), StubBackend::caFile());
    auto transport = std::make_shared<CurlServerTransport>(stub().baseURL(), session, std::nullopt,
                                                           "parlendo-mac/0.2.0");
    auto auth = std::make_shared<parlendo::testing::FakeAuthAccess>();
    auto gate = std::make_shared<ServerGate>();
    auto net = std::make_shared<NetState>();
    // Completions run where the answer arrives, as a direct hop.
    ServerClient client(
        transport, auth, "anon-key", [](Task task) { task(); }, true, gate, net);

    std::mutex mutex;
    std::condition_variable finished;
    int64_t done = 0;
    for (auto _ : state) {
        int remaining = inFlight;
        bool failed = false;
        for (int i = 0; i < inFlight; ++i) {
            client.callDetailed(kPath, "GET", std::nullopt, {}, 15, [&](DetailedCallResult r) {
                std::lock_guard lock(mutex);
                failed = failed || !r;
                if (--remaining == 0) {
                    finished.notify_one();
                }
            });
        }
        std::unique_lock lock(mutex);
        finished.wait(lock, [&] { return remaining == 0; });
        if (failed) {
            state.SkipWithError("client request failed");
        }
        done += inFlight;
    }
    state.SetItemsProcessed(done);
}

void BM_TransportOnly(benchmark::State& state) {
    auto session = std::make_shared<CurlSession>(ServerSessions::data(), StubBackend::caFile());
    auto transport = std::make_shared<CurlServerTransport>(stub().baseURL(), session, std::nullopt,
                                                           "parlendo-mac/0.2.0");
    std::mutex mutex;
    std::condition_variable finished;
    for (auto _ : state) {
        bool over = false;
        transport->send(ServerRequest{kPath,
                                      "GET",
                                      std::nullopt,
                                      {{"apikey", "anon-key"},
                                       {"Authorization", "Bearer token-1"},
                                       {"Content-Type", "application/json"}},
                                      15},
                        [&](ServerResponse) {
                            std::lock_guard lock(mutex);
                            over = true;
                            finished.notify_one();
                        });
        std::unique_lock lock(mutex);
        finished.wait(lock, [&] { return over; });
    }
}
BENCHMARK(BM_TransportOnly)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_BareCurl)->Arg(1)->Arg(6)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_ServerClient)->Arg(1)->Arg(6)->UseRealTime()->MinTime(2.0);

// Prints the ratio of the client's time per request to the bare loop's.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const auto& run : runs) {
            bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type == Run::RT_Aggregate && !median) {
                continue;
            }
            // Per request: an iteration of the in-flight benchmarks carries `args` requests.
            times_[run.run_name.args][run.run_name.function_name] = run.GetAdjustedRealTime();
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        for (auto& [arg, kinds] : times_) {
            auto bare = kinds.find("BM_BareCurl");
            auto client = kinds.find("BM_ServerClient");
            if (bare == kinds.end() || client == kinds.end()) {
                continue;
            }
            double ratio = client->second / bare->second;
            std::printf("in flight %s: client/bare time per request = %.3f (overhead %+.1f%%)\n",
                        arg.c_str(), ratio, (ratio - 1.0) * 100.0);
        }
    }

  private:
    std::map<std::string, std::map<std::string, double>> times_;
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
