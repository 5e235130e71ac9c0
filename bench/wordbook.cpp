// The word-book model's own work on rows the size of a large word book: 2,000 folders, 20,000
// sources and 200,000 words.
#include <benchmark/benchmark.h>

#include "wordbook/LibraryModel.h"

#include <string>
#include <vector>

namespace {

using namespace parlendo;

constexpr size_t kFolders = 2000;
constexpr size_t kSources = 20000;
constexpr size_t kWords = 200000;

std::vector<Json> wordRows() {
    std::vector<Json> rows;
    rows.reserve(kWords);
    for (size_t i = 0; i < kWords; ++i) {
        rows.push_back(Json{{"word_id", "word-" + std::to_string(i)},
                            {"lemma", "word" + std::to_string(i)},
                            {"korean", "낱말"},
                            {"source_id", "source-" + std::to_string(i % kSources)},
                            {"created_at", "2026-05-28T08:26:40.000Z"},
                            {"sources", {{"title", "Source " + std::to_string(i % kSources)}}}});
    }
    return rows;
}

// The rows as the reader hands them over (moved in), and the page as the model hands it back.
// Copying the rows in is the caller's work and is not timed; freeing the page is timed only when
// `release` is set, as for a caller that drops it at once.
void searchPage(benchmark::State& state, bool release) {
    const auto words = wordRows();
    for (auto _ : state) {
        state.PauseTiming();
        auto rows = words;
        state.ResumeTiming();
        auto page = LibraryModel::searchPage(LibraryModel::searchResults({}, {}, std::move(rows)));
        benchmark::DoNotOptimize(page);
        if (!release) {
            state.PauseTiming();
            page.reset();
            state.ResumeTiming();
        }
    }
    state.counters["rows"] = static_cast<double>(words.size());
}

void BM_ModelSearchResults(benchmark::State& state) {
    searchPage(state, false);
}

void BM_ModelSearchResultsAndRelease(benchmark::State& state) {
    searchPage(state, true);
}

void BM_ModelTree(benchmark::State& state) {
    std::vector<Json> folders;
    std::vector<Json> sources;
    for (size_t i = 0; i < kFolders; ++i) {
        folders.push_back(Json{{"folder_id", "folder-" + std::to_string(i)},
                               {"name", "폴더"},
                               {"parent_id", nullptr},
                               {"position", i}});
    }
    for (size_t i = 0; i < kSources; ++i) {
        sources.push_back(Json{{"source_id", "source-" + std::to_string(i)},
                               {"title", "Source"},
                               {"folder_id", "folder-" + std::to_string(i % kFolders)},
                               {"last_seen_at", "2026-05-28T08:" + std::to_string(i % 60)},
                               {"url", nullptr}});
    }
    for (auto _ : state) {
        state.PauseTiming();
        auto folderRows = folders;
        auto sourceRows = sources;
        state.ResumeTiming();
        auto tree = LibraryModel::tree(std::move(folderRows), std::move(sourceRows));
        benchmark::DoNotOptimize(tree);
    }
}

void BM_ModelMergeWords(benchmark::State& state) {
    auto words = wordRows();
    std::vector<std::vector<Json>> chunks;
    for (size_t i = 0; i < 100; ++i) {
        chunks.emplace_back(words.begin() + static_cast<std::ptrdiff_t>(i * 1000),
                            words.begin() + static_cast<std::ptrdiff_t>(i * 1000 + 1000));
    }
    for (auto _ : state) {
        auto merged = LibraryModel::mergeWords(chunks, LibraryModel::wordPageCap);
        benchmark::DoNotOptimize(merged);
    }
}

BENCHMARK(BM_ModelSearchResults)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ModelSearchResultsAndRelease)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ModelTree)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ModelMergeWords)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
