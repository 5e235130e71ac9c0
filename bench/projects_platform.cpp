// Project documents: text extraction of a 500-page PDF next to pdftotext on the same file in the
// same run, the first-page thumbnail, and an upload of 2,000 pages through the batch ladder and the
// upload chain to the loopback stub.
#include <benchmark/benchmark.h>

#include "BenchFolder.h"

#include "FakeAuthAccess.h"
#include "FakeSession.h"
#include "StubBackend.h"
#include "TestPdf.h"
#include "foundation/Log.h"
#include "foundation/WorkerQueue.h"
#include "projects/DriveService.h"
#include "projects/FileBookmarks.h"
#include "projects/PopplerExtractor.h"
#include "projects/PopplerThumbnailer.h"
#include "projects/UploadChain.h"
#include "server/CurlServerTransport.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <future>

extern char** environ;

namespace {

using namespace parlendo;
namespace fs = std::filesystem;
using testing::StubAnswer;
using testing::StubBackend;
namespace TestPdf = testing::TestPdf;

// A folder for the PDFs and the log, removed at exit.
const fs::path& folder() {
    return bench::folder("projects");
}

const fs::path& prosePDF(int pages) {
    static std::map<int, fs::path> made;
    auto it = made.find(pages);
    if (it == made.end()) {
        fs::path path = folder() / ("prose-" + std::to_string(pages) + ".pdf");
        TestPdf::write(path, TestPdf::prose(pages));
        it = made.emplace(pages, path).first;
    }
    return it->second;
}

double seconds(const std::chrono::steady_clock::time_point& start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool runPdftotext(const fs::path& pdf, const fs::path& out) {
    std::string program = "pdftotext";
    std::string in = pdf.string();
    std::string target = out.string();
    char* argv[] = {program.data(), in.data(), target.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "pdftotext", nullptr, nullptr, argv, environ) != 0) {
        return false;
    }
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Both readers on the same 500-page file, alternating; "speed" is pdftotext's time over ours
// (above 1: faster than pdftotext).
void BM_ExtractVsPdftotext(benchmark::State& state) {
    const fs::path& pdf = prosePDF(500);
    PopplerExtractor extractor;
    double ours = 0;
    double theirs = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        auto result = extractor.extract(pdf.string());
        ours += seconds(start);
        if (!result || result->pages.size() != 500) {
            state.SkipWithError("extraction failed");
            return;
        }
        start = std::chrono::steady_clock::now();
        if (!runPdftotext(pdf, folder() / "out.txt")) {
            state.SkipWithError("pdftotext failed (poppler-utils missing?)");
            return;
        }
        theirs += seconds(start);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["extract_ms"] = ours / n * 1000;
    state.counters["pdftotext_ms"] = theirs / n * 1000;
    state.counters["speed"] = theirs / ours;
}
BENCHMARK(BM_ExtractVsPdftotext)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_Thumbnail(benchmark::State& state) {
    const fs::path& pdf = prosePDF(500);
    PopplerThumbnailer thumbnailer;
    for (auto _ : state) {
        auto png = thumbnailer.firstPagePNG(pdf.string(), 240);
        if (!png) {
            state.SkipWithError("drawing failed");
            return;
        }
        benchmark::DoNotOptimize(png->size());
    }
}
BENCHMARK(BM_Thumbnail)->Unit(benchmark::kMillisecond)->Repetitions(15)->ReportAggregatesOnly(true);

// 2,000 extracted pages: begin, ten batches of 200 and finish, through the upload chain.
void BM_Upload2000Pages(benchmark::State& state) {
    static StubBackend* stub = [] {
        auto* b = new StubBackend();
        b->on("GET", "/rest/v1/drive_drives",
              StubAnswer::json(200, R"([{"id":"s1","kind":"study"}])"));
        b->on("POST", "/rest/v1/rpc/drive_upload_begin_v1",
              StubAnswer::json(200, R"({"document_id":"doc-1"})"));
        b->on("POST", "/rest/v1/rpc/drive_upload_pages_v1", StubAnswer::json(200, ""));
        b->on("POST", "/rest/v1/rpc/drive_upload_finish_v1",
              StubAnswer::json(200, R"({"status":"no_text"})"));
        return b;
    }();
    auto main = std::make_shared<SerialQueue>("bench.main");
    auto work = std::make_shared<WorkerQueue>("bench.work", 1);
    auto timers = std::make_shared<SerialQueue>("bench.timers");
    auto auth = std::make_shared<testing::FakeAuthAccess>();
    auto data = std::make_shared<CurlSession>(ServerSessions::data(), StubBackend::caFile());
    auto client = std::make_shared<ServerClient>(
        std::make_shared<CurlServerTransport>(stub->baseURL(), data, std::nullopt, "bench"), auth,
        "anon-key", ServerClient::deliverOn(main), true);
    auto chain = UploadChain::make(UploadChain::Parts{
        stub->baseURL(), "bench", data, auth, "anon-key", ServerClient::deliverOn(main), true,
        nullptr, nullptr, StubBackend::caFile(), std::nullopt});
    auto service = std::make_shared<DriveService>(
        client, std::make_shared<testing::FakeSession>("user-1"),
        std::make_shared<DriveLocalStore>(folder()), std::make_shared<PageCopyStore>(folder()),
        std::make_shared<FileBookmarks>(), std::make_shared<PopplerExtractor>(), chain.route,
        DriveService::Runtime{work, timers, SystemClock::shared()});
    auto extracted = PopplerExtractor().extract(prosePDF(2000).string());
    if (!extracted) {
        state.SkipWithError("extraction failed");
        return;
    }
    auto pdf = std::make_shared<const ExtractedPDF>(std::move(*extracted));
    for (auto _ : state) {
        std::promise<bool> done;
        service->send("s1", pdf, "user-1", std::make_shared<UploadTrace>(), nullptr,
                      [&](DriveResult<Json> result) { done.set_value(result.has_value()); });
        if (!done.get_future().get()) {
            state.SkipWithError("upload failed");
            return;
        }
    }
    state.counters["pages"] = 2000;
}
BENCHMARK(BM_Upload2000Pages)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
