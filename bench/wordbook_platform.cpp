// The word book's reads over libcurl against a loopback backend holding 2,000 folders, 20,000
// sources and 200,000 words: wall time and peak heap of the reader and the model per read.
//
// The backend runs in a child process forked before anything else, so that this process's heap
// holds only the client side: the server client, the reader and the model.
#include <benchmark/benchmark.h>

#include "FakeAuthAccess.h"
#include "FakeSession.h"
#include "StubBackend.h"
#include "StubLibrary.h"
#include "StubLibraryServing.h"
#include "TestCertificate.h"
#include "foundation/Log.h"
#include "server/CurlServerTransport.h"
#include "server/ServerClient.h"
#include "wordbook/LibraryModel.h"
#include "wordbook/LibraryReader.h"

#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <new>

namespace {

// Live and peak bytes allocated through operator new in this process.
std::atomic<long long> liveBytes{0};
std::atomic<long long> peakBytes{0};

void noteAllocated(void* pointer) {
    const long long now = liveBytes.fetch_add(static_cast<long long>(malloc_usable_size(pointer))) +
                          static_cast<long long>(malloc_usable_size(pointer));
    long long peak = peakBytes.load(std::memory_order_relaxed);
    while (now > peak && !peakBytes.compare_exchange_weak(peak, now)) {
    }
}

}  // namespace

void* operator new(std::size_t size) {
    void* pointer = std::malloc(size == 0 ? 1 : size);
    if (!pointer) {
        throw std::bad_alloc();
    }
    noteAllocated(pointer);
    return pointer;
}

void operator delete(void* pointer) noexcept {
    if (pointer) {
        liveBytes.fetch_sub(static_cast<long long>(malloc_usable_size(pointer)));
        std::free(pointer);
    }
}

void operator delete(void* pointer, std::size_t) noexcept {
    operator delete(pointer);
}

namespace {

using namespace parlendo;
using testing::StubBackend;

constexpr size_t kFolders = 2000;
constexpr size_t kSources = 20000;
constexpr size_t kWords = 200000;

std::string baseURL;

std::shared_ptr<ServerLibraryReader> makeReader() {
    auto curl = std::make_shared<CurlSession>(ServerSessions::data(), StubBackend::caFile());
    auto transport =
        std::make_shared<CurlServerTransport>(baseURL, curl, std::nullopt, "parlendo-mac/0.2.0");
    auto client = std::make_shared<ServerClient>(
        transport, std::make_shared<testing::FakeAuthAccess>(), "anon-key",
        [](Task task) { task(); }, true);
    return std::make_shared<ServerLibraryReader>(client,
                                                 std::make_shared<testing::FakeSession>("user-1"));
}

// Runs one read to its end and reports its peak heap above what was live before it.
template <class Start>
void measure(benchmark::State& state, Start start) {
    auto reader = makeReader();
    double peakMB = 0;
    size_t items = 0;
    for (auto _ : state) {
        const long long before = liveBytes.load();
        peakBytes.store(before);
        std::mutex mutex;
        std::condition_variable finished;
        std::optional<LibraryReadResult> result;
        start(*reader, [&](LibraryReadResult r) {
            std::lock_guard lock(mutex);
            result = std::move(r);
            finished.notify_one();
        });
        std::unique_lock lock(mutex);
        finished.wait(lock, [&] { return result.has_value(); });
        if (!*result) {
            state.SkipWithError(("read failed: " + result->error().logReason()).c_str());
            return;
        }
        peakMB = std::max(peakMB, static_cast<double>(peakBytes.load() - before) / 1e6);
        items = (*result)->contains("sources") ? (**result)["sources"].size()
                                               : (**result)["words"].size();
        result.reset();
    }
    state.counters["peak_heap_MB"] = peakMB;
    state.counters["rows"] = static_cast<double>(items);
}

void BM_LoadTree(benchmark::State& state) {
    measure(state, [](LibraryReader& reader, auto done) { reader.loadTree(std::move(done)); });
}

void BM_WordsInScope_WholeBook(benchmark::State& state) {
    measure(state, [](LibraryReader& reader, auto done) {
        reader.wordsUnderFolder(std::nullopt, LibraryModel::wordPageCap, std::move(done));
    });
}

void BM_WordsInScope_TopFolder(benchmark::State& state) {
    // The first folder made is a top-level one with nine folders, 100 sources and 1,000 words.
    measure(state, [](LibraryReader& reader, auto done) {
        reader.wordsUnderFolder("folder-00000001", LibraryModel::wordPageCap, std::move(done));
    });
}

BENCHMARK(BM_LoadTree)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_WordsInScope_WholeBook)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_WordsInScope_TopFolder)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

// Serves the library until the parent closes `stop`; tells the parent the port through `ready`.
[[noreturn]] void serve(int ready, int stop) {
    auto library = std::make_shared<testing::StubLibrary>("user-1");
    library->populate(kFolders, kSources, kWords);
    auto stub = std::make_unique<StubBackend>();
    testing::serveLibrary(*stub, library);
    const int port = stub->port();
    if (::write(ready, &port, sizeof port) != sizeof port) {
        std::_Exit(1);
    }
    char byte = 0;
    while (::read(stop, &byte, 1) > 0) {
    }
    std::_Exit(0);
}

}  // namespace

int main(int argc, char** argv) {
    // The certificate is made before the fork, so that both sides hold the same one.
    testing::TestCertificate::shared();
    int ready[2];
    int stop[2];
    if (::pipe(ready) != 0 || ::pipe(stop) != 0) {
        return 1;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(ready[0]);
        ::close(stop[1]);
        serve(ready[1], stop[0]);
    }
    ::close(ready[1]);
    ::close(stop[0]);
    int port = 0;
    if (::read(ready[0], &port, sizeof port) != sizeof port) {
        std::fprintf(stderr, "the backend did not start\n");
        return 1;
    }
    baseURL = "https://127.0.0.1:" + std::to_string(port);

    auto logs = std::filesystem::temp_directory_path() /
                ("parlendo-bench-log-" + std::to_string(::getpid()));
    Log::setDirectory(logs);
    curl_global_init(CURL_GLOBAL_DEFAULT);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    ::close(stop[1]);
    ::waitpid(child, nullptr, 0);
    Log::flush();
    std::error_code ignored;
    std::filesystem::remove_all(logs, ignored);
    std::filesystem::remove(StubBackend::caFile(), ignored);
    return 0;
}
