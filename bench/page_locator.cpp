// Locating a selection in the local page copies: a 200-character passage on the last page of
// the last document, searched through a warm index cache filled to its 36 MiB budget, and the cold
// build of one 500-page document's index (its copy read from disk and normalised).
#include <benchmark/benchmark.h>

#include "BenchFolder.h"

#include "aitalk/PageLocator.h"
#include "foundation/Log.h"
#include "foundation/SHA256.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <random>

namespace {

using namespace parlendo;
namespace fs = std::filesystem;

const fs::path& folder() {
    return bench::folder("locator");
}

// Pages of English-like prose of about 2,500 characters, different for every document and page.
std::vector<std::string> pagesOf(int document, int count) {
    static const std::vector<std::string> words = {
        "the",      "quick",   "theory",   "matrix",  "vector",   "energy",   "student",
        "example",  "proof",   "function", "limit",   "integral", "force",    "particle",
        "system",   "measure", "result",   "method",  "data",     "language", "reading",
        "question", "answer",  "notes",    "chapter", "section",  "figure",   "table"};
    std::mt19937 random(static_cast<unsigned>(document * 7919 + 1));
    std::vector<std::string> pages;
    for (int p = 1; p <= count; ++p) {
        std::string page =
            "Document " + std::to_string(document) + ", page " + std::to_string(p) + ". ";
        while (page.size() < 2500) {
            page += words[random() % words.size()];
            page += (random() % 11 == 0) ? ".\n" : " ";
        }
        pages.push_back(std::move(page));
    }
    return pages;
}

std::string join(const std::vector<std::string>& pages) {
    std::string out;
    for (size_t i = 0; i < pages.size(); ++i) {
        out += (i ? "\f" : "") + pages[i];
    }
    return out;
}

struct Library {
    std::shared_ptr<PageCopyStore> copies = std::make_shared<PageCopyStore>(folder());
    std::vector<ReadyDocument> documents;
    std::string passage;
    // A passage of the newest document, searched first.
    std::string newestPassage;
};

// Documents of 500 pages, as many as the cache's byte budget holds.
Library& library() {
    static Library made = [] {
        Library lib;
        std::int64_t cost = 0;
        std::string newest;
        for (int d = 0;; ++d) {
            auto pages = pagesOf(d, 500);
            std::int64_t documentCost = 0;
            for (const auto& page : pages) {
                documentCost +=
                    static_cast<std::int64_t>(PageText::normalize(page).size() + page.size()) +
                    PageLocator::pageCost;
            }
            if (cost + documentCost > PageLocator::indexBytesMax) {
                break;
            }
            cost += documentCost;
            ReadyDocument doc{"doc-" + std::to_string(d), "doc" + std::to_string(d) + ".pdf",
                              SHA256::hex(join(pages)), 500, "2024-01-" + std::to_string(10 + d)};
            lib.copies->write("user-1", doc.id, pages, doc.sha);
            if (d == 0) {
                // The oldest document is searched last; the passage is on its last page.
                lib.passage = pages.back().substr(1000, 200);
            }
            newest = pages.front().substr(100, 200);
            lib.documents.push_back(std::move(doc));
        }
        lib.newestPassage = newest;
        return lib;
    }();
    return made;
}

void WarmLocate(benchmark::State& state) {
    Library& lib = library();
    PageLocator locator(lib.copies, SystemClock::shared());
    // Builds every index (past the search's budget, which ends this first search). A needle of
    // one word: no word phase, whose word sets would crowd the cache.
    locator.locate("user-1", lib.documents, "qqqqqqqqqqqqqqqq", std::nullopt, {}, std::nullopt);
    auto first =
        locator.locate("user-1", lib.documents, lib.passage, std::nullopt, {}, std::nullopt);
    if (!first.hit || first.hit->documentID != "doc-0") {
        state.SkipWithError(("no hit: " + first.route).c_str());
        return;
    }
    locator.clear();
    locator.locate("user-1", lib.documents, "qqqqqqqqqqqqqqqq", std::nullopt, {}, std::nullopt);
    for (auto _ : state) {
        auto result =
            locator.locate("user-1", lib.documents, lib.passage, std::nullopt, {}, std::nullopt);
        benchmark::DoNotOptimize(result);
        // The last hit goes back to the newest document, so the next search is the longest again.
        state.PauseTiming();
        locator.locate("user-1", lib.documents, lib.newestPassage, std::nullopt, {}, std::nullopt);
        state.ResumeTiming();
        state.counters["checked"] = result.checked;
        state.counters["route_exact"] = result.route == "exact";
    }
    state.counters["documents"] = static_cast<double>(lib.documents.size());
    state.counters["index_MiB"] = static_cast<double>(locator.indexBytes()) / (1 << 20);
}
BENCHMARK(WarmLocate)->Unit(benchmark::kMillisecond)->Iterations(5);

void ColdIndexBuild500Pages(benchmark::State& state) {
    Library& lib = library();
    const ReadyDocument& doc = lib.documents.front();
    const std::string passage = pagesOf(0, 500)[499].substr(500, 200);
    for (auto _ : state) {
        state.PauseTiming();
        // A store without the copy in memory, a locator without the index.
        auto copies = std::make_shared<PageCopyStore>(folder());
        PageLocator locator(copies, SystemClock::shared());
        state.ResumeTiming();
        auto result = locator.locate("user-1", {doc}, passage, std::nullopt, {}, std::nullopt);
        benchmark::DoNotOptimize(result);
        if (!result.hit) {
            state.SkipWithError("no hit");
        }
    }
}
BENCHMARK(ColdIndexBuild500Pages)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
