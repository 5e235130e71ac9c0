// The page finder's whole road for one question: the project's document list from the loopback
// backend over curl, the viewer's file matched against the linked PDFs, the search of the local
// copies (20 documents of 300 pages), and the answer back on the main queue.
#include <benchmark/benchmark.h>

#include "BenchFolder.h"

#include "FakeAuthAccess.h"
#include "FakeSession.h"
#include "StubBackend.h"
#include "aitalk/PageFinder.h"
#include "foundation/Log.h"
#include "foundation/SHA256.h"
#include "foundation/WorkerQueue.h"
#include "projects/FileBookmarks.h"
#include "server/CurlServerTransport.h"
#include "server/ServerClient.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <future>

namespace {

using namespace parlendo;
namespace fs = std::filesystem;
using testing::StubAnswer;
using testing::StubBackend;

const fs::path& folder() {
    return bench::folder("finder");
}

std::vector<std::string> pagesOf(int document, int count) {
    std::vector<std::string> pages;
    for (int p = 1; p <= count; ++p) {
        std::string page;
        for (int line = 0; page.size() < 2000; ++line) {
            page += "Document " + std::to_string(document) + " page " + std::to_string(p) +
                    " line " + std::to_string(line) + " discusses measure and integration. ";
        }
        pages.push_back(std::move(page));
    }
    return pages;
}

struct Road {
    Road() {
        auto auth = std::make_shared<testing::FakeAuthAccess>();
        auto transport = std::make_shared<CurlServerTransport>(
            stub.baseURL(),
            std::make_shared<CurlSession>(ServerSessions::data(), StubBackend::caFile()),
            std::nullopt, "parlendo-mac/0.2.0");
        auto client = std::make_shared<ServerClient>(transport, auth, "anon-key",
                                                     ServerClient::deliverOn(main), true);
        auto copies = std::make_shared<PageCopyStore>(folder());
        auto local = std::make_shared<DriveLocalStore>(folder());
        auto links = std::make_shared<FileBookmarks>(folder() / "Trash");
        drive = std::make_shared<DriveService>(
            client, std::make_shared<testing::FakeSession>("user-1"), local, copies, links, nullptr,
            std::nullopt, DriveService::Runtime{work, main, SystemClock::shared()});
        Json rows = Json::array();
        for (int d = 0; d < 20; ++d) {
            auto pages = pagesOf(d, 300);
            std::string joined;
            for (size_t i = 0; i < pages.size(); ++i) {
                joined += (i ? "\f" : "") + pages[i];
            }
            const std::string id = "doc-" + std::to_string(d);
            const std::string sha = SHA256::hex(joined);
            copies->write("user-1", id, pages, sha);
            rows.push_back(Json{{"id", id},
                                {"file_name", id + ".pdf"},
                                {"text_sha256", sha},
                                {"page_count", 300},
                                {"status", "ready"},
                                {"created_at", "2024-02-" + std::to_string(10 + d)}});
            if (d == 0) {
                passage = pages[250].substr(300, 200);
                viewerFile = (folder() / "doc-0.pdf").string();
                std::ofstream(viewerFile) << "%PDF-1.4";
                local->setSource(id, *links->bookmark(viewerFile), "user-1");
            }
        }
        stub.on("GET", "/rest/v1/drive_documents", StubAnswer::json(200, rows.dump()));
        auto sync = std::make_shared<PageCopySync>(drive, work);
        finder = std::make_shared<PageFinder>(
            drive, std::make_shared<PageLocator>(copies, SystemClock::shared()), sync, work);
    }

    std::optional<PageHint> find(const ViewerHints& viewer) {
        std::promise<std::optional<PageHint>> answer;
        finder->find(passage, ActivePopup{"pop-1", "drv-1", "", ""}, viewer,
                     [&](std::optional<PageHint> hint) { answer.set_value(hint); });
        return answer.get_future().get();
    }

    StubBackend stub;
    std::shared_ptr<SerialQueue> main = std::make_shared<SerialQueue>("bench.main");
    std::shared_ptr<WorkerQueue> work = std::make_shared<WorkerQueue>("bench.work", 2);
    std::shared_ptr<DriveService> drive;
    std::shared_ptr<PageFinder> finder;
    std::string passage;
    std::string viewerFile;
};

Road& road() {
    static Road made;
    return made;
}

// The viewer shows the file of the document but names no page: the list, the match and a search
// that starts in the matched document.
void FinderRoadViewerFile(benchmark::State& state) {
    Road& r = road();
    ViewerHints viewer;
    viewer.documentPath = r.viewerFile;
    r.find(viewer);  // the indexes are built once
    for (auto _ : state) {
        r.finder->invalidate(false);  // the document list is read from the backend every time
        auto hint = r.find(viewer);
        if (!hint || hint->page != 251) {
            state.SkipWithError("no hit");
        }
    }
}
BENCHMARK(FinderRoadViewerFile)->Unit(benchmark::kMillisecond)->Iterations(20)->UseRealTime();

// No viewer at all: the list and a search in likelihood order (the last hit's document first).
void FinderRoadNoViewer(benchmark::State& state) {
    Road& r = road();
    for (auto _ : state) {
        r.finder->invalidate(false);
        auto hint = r.find(ViewerHints{});
        if (!hint || hint->page != 251) {
            state.SkipWithError("no hit");
        }
    }
}
BENCHMARK(FinderRoadNoViewer)->Unit(benchmark::kMillisecond)->Iterations(20)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
