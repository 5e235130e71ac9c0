// How long the main loop stalls while project documents move: the stall watch's longest lateness
// on the main queue during a 500-page upload (extraction, begin, page batches, finish, the local
// copy) and during a page-copy sync of a 2,000-page document (20 range reads, the hash, the local
// copy), both over curl to the loopback stub, with every server answer delivered on the main
// queue as in the program. Beside the stall, the processor time of the main queue's thread over
// the whole operation, which a busy machine does not inflate.
#include <benchmark/benchmark.h>

#include "BenchFolder.h"

#include "FakeAuthAccess.h"
#include "FakeSession.h"
#include "StubBackend.h"
#include "TestPdf.h"
#include "aitalk/PageCopySync.h"
#include "foundation/SHA256.h"
#include "foundation/WorkerQueue.h"
#include "projects/DriveService.h"
#include "projects/DriveText.h"
#include "projects/FileBookmarks.h"
#include "projects/PopplerExtractor.h"
#include "projects/UploadChain.h"
#include "server/CurlServerTransport.h"
#include "shell/StallWatch.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <future>
#include <regex>
#include <thread>

namespace {

using namespace parlendo;
namespace fs = std::filesystem;
using testing::StubAnswer;
using testing::StubBackend;
namespace TestPdf = testing::TestPdf;

const fs::path& folder() {
    return bench::folder("mainloop");
}

// The log goes into the run's folder from the first benchmark on, the idle one included.
const fs::path& logFolder = folder();

// Page texts of about 3,000 characters, as a dense page of a book gives.
std::vector<std::string> densePages(int count) {
    std::vector<std::string> pages;
    for (int p = 1; p <= count; ++p) {
        std::string page;
        for (int line = 0; page.size() < 3000; ++line) {
            page += "Page " + std::to_string(p) + " line " + std::to_string(line) +
                    " treats measure, integration and the limits of sequences of functions. ";
        }
        pages.push_back(std::move(page));
    }
    return pages;
}

// The main queue with the stall watch on it, and the service's clients delivering there.
struct Loop {
    std::shared_ptr<SerialQueue> main = std::make_shared<SerialQueue>("bench.main");
    std::shared_ptr<WorkerQueue> work = std::make_shared<WorkerQueue>("bench.work", 4);
    std::shared_ptr<testing::FakeAuthAccess> auth = std::make_shared<testing::FakeAuthAccess>();
    std::shared_ptr<CurlSession> data =
        std::make_shared<CurlSession>(ServerSessions::data(), StubBackend::caFile());

    std::shared_ptr<ServerClient> client(const StubBackend& stub) const {
        return std::make_shared<ServerClient>(
            std::make_shared<CurlServerTransport>(stub.baseURL(), data, std::nullopt, "bench"),
            auth, "anon-key", ServerClient::deliverOn(main), true);
    }

    struct Figures {
        double stallMs = 0;    // the longest lateness of the main queue
        double mainCpuMs = 0;  // the processor time its thread spent meanwhile
    };

    // Runs `operation` (posted to the main queue; it calls its argument once when done) under
    // the stall watch. On a busy machine the lateness also counts the waits for a processor; the
    // main thread's own processor time does not.
    Figures measure(std::function<void(std::function<void()>)> operation) {
        auto watch = StallWatch::start(main, SystemClock::shared());
        std::promise<void> finished;
        double cpuStart = 0;
        main->post([&] {
            cpuStart = threadCpuSeconds();
            operation([&] { finished.set_value(); });
        });
        finished.get_future().wait();
        std::promise<Figures> figures;
        main->post([&] {
            watch->stop();
            figures.set_value({watch->longest() * 1000, (threadCpuSeconds() - cpuStart) * 1000});
        });
        return figures.get_future().get();
    }

    static double threadCpuSeconds() {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
    }
};

// The median and the worst of the iterations' longest stalls, and the median of the main
// thread's processor time.
void report(benchmark::State& state, std::vector<Loop::Figures> runs) {
    auto median = [](std::vector<double> values) {
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    };
    std::vector<double> stalls;
    std::vector<double> cpu;
    for (const auto& run : runs) {
        stalls.push_back(run.stallMs);
        cpu.push_back(run.mainCpuMs);
    }
    state.counters["median_stall_ms"] = median(stalls);
    state.counters["worst_stall_ms"] = *std::max_element(stalls.begin(), stalls.end());
    state.counters["main_cpu_ms"] = median(cpu);
}

// The floor of the figures: the watch over a main queue with nothing to do for 1.5 s, which on a
// busy machine is late too.
void BM_StallWhileIdle(benchmark::State& state) {
    Loop loop;
    std::vector<Loop::Figures> runs;
    for (auto _ : state) {
        runs.push_back(loop.measure([](std::function<void()> done) {
            std::thread([done] {
                std::this_thread::sleep_for(std::chrono::milliseconds(1500));
                done();
            }).detach();
        }));
    }
    report(state, std::move(runs));
}
BENCHMARK(BM_StallWhileIdle)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_StallDuringUpload500Pages(benchmark::State& state) {
    static StubBackend* stub = [] {
        auto* b = new StubBackend();
        b->on("GET", "/rest/v1/drive_drives",
              StubAnswer::json(200, R"([{"id":"s1","kind":"study","name":"a"}])"));
        b->on("POST", "/rest/v1/rpc/drive_upload_begin_v1",
              StubAnswer::from(200, [](const testing::StubRequest&) {
                  static std::atomic<int> documents{0};
                  return R"({"document_id":"doc-)" + std::to_string(++documents) + "\"}";
              }));
        b->on("POST", "/rest/v1/rpc/drive_upload_pages_v1", StubAnswer::json(200, ""));
        b->on("POST", "/rest/v1/rpc/drive_upload_finish_v1",
              StubAnswer::json(200, R"({"status":"ready"})"));
        return b;
    }();
    const fs::path pdf = folder() / "prose-500.pdf";
    if (!fs::exists(pdf) && !TestPdf::write(pdf, TestPdf::prose(500, 60))) {
        state.SkipWithError("the PDF could not be written");
        return;
    }
    Loop loop;
    auto chain = UploadChain::make(
        UploadChain::Parts{stub->baseURL(), "bench", loop.data, loop.auth, "anon-key",
                           ServerClient::deliverOn(loop.main), true, nullptr, nullptr,
                           StubBackend::caFile(), std::nullopt});
    auto service = std::make_shared<DriveService>(
        loop.client(*stub), std::make_shared<testing::FakeSession>("user-1"),
        std::make_shared<DriveLocalStore>(folder()), std::make_shared<PageCopyStore>(folder()),
        std::make_shared<FileBookmarks>(folder() / "Trash"), std::make_shared<PopplerExtractor>(),
        chain.route, DriveService::Runtime{loop.work, loop.main, SystemClock::shared()});
    std::vector<Loop::Figures> runs;
    for (auto _ : state) {
        bool ok = false;
        const auto figures = loop.measure([&](std::function<void()> done) {
            service->upload(
                "s1", Json::array({pdf.string()}), nullptr, [&ok, done](DriveResult<Json> result) {
                    ok = result && (*result)["results"][0].value("status", "") == "ready";
                    done();
                });
        });
        if (!ok) {
            state.SkipWithError("the upload failed");
            return;
        }
        runs.push_back(figures);
    }
    report(state, std::move(runs));
}
BENCHMARK(BM_StallDuringUpload500Pages)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);

void BM_StallDuringPageCopySync2000Pages(benchmark::State& state) {
    static const std::vector<std::string> pages = densePages(2000);
    static StubBackend* stub = [] {
        auto* b = new StubBackend();
        b->respondWith([](const testing::StubRequest& request) -> std::optional<StubAnswer> {
            static const std::regex range(R"(page_no=gte\.(\d+)&page_no=lte\.(\d+))");
            std::smatch m;
            if (request.path != "/rest/v1/drive_pages" ||
                !std::regex_search(request.query, m, range)) {
                return std::nullopt;
            }
            Json rows = Json::array();
            for (size_t p = std::stoul(m[1]); p <= std::stoul(m[2]) && p <= pages.size(); ++p) {
                rows.push_back(Json{{"page_no", p}, {"text", pages[p - 1]}});
            }
            return StubAnswer::json(200, rows.dump());
        });
        return b;
    }();
    Loop loop;
    const ReadyDocument base{"doc", "big.pdf", DriveText::sha(pages), 2000, ""};
    auto copies = std::make_shared<PageCopyStore>(folder());
    auto drive = std::make_shared<DriveService>(
        loop.client(*stub), std::make_shared<testing::FakeSession>("user-1"),
        std::make_shared<DriveLocalStore>(folder()), copies,
        std::make_shared<FileBookmarks>(folder() / "Trash"), nullptr, std::nullopt,
        DriveService::Runtime{loop.work, loop.main, SystemClock::shared()});
    auto sync = std::make_shared<PageCopySync>(drive, loop.work);
    std::vector<Loop::Figures> runs;
    int round = 0;
    for (auto _ : state) {
        ReadyDocument doc = base;
        doc.id = "doc-" + std::to_string(++round);
        const auto figures = loop.measure([&](std::function<void()> done) {
            sync->fetch("user-1", {doc});
            // The sync says nothing when it ends: watch it from a thread of its own.
            std::thread([sync, done] {
                while (sync->running() > 0) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                }
                done();
            }).detach();
        });
        if (!copies->pages("user-1", doc.id, doc.sha)) {
            state.SkipWithError("the copy was not kept");
            return;
        }
        runs.push_back(figures);
    }
    report(state, std::move(runs));
}
BENCHMARK(BM_StallDuringPageCopySync2000Pages)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
