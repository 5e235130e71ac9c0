#include <benchmark/benchmark.h>

#include <string>

#include "foundation/Log.h"
#include "foundation/PyText.h"

namespace {

// About 1 KB of the text the program handles: English with Korean notes, mixed case, Greek.
std::string mixedText() {
    const std::string piece =
        "The QUICK brown Fox 읽기 연습을 합니다. Reading English 문장은 어렵지 않아요! "
        "ΟΔΟΣ Σίσυφος — café naïve 단어장 ";
    std::string text;
    while (text.size() < 1024) {
        text += piece;
    }
    return text;
}

void PyTextLower(benchmark::State& state) {
    const std::string text = mixedText();
    for (auto _ : state) {
        benchmark::DoNotOptimize(parlendo::PyText::lower(text));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(PyTextLower);

void LogRedact(benchmark::State& state) {
    const std::string text = mixedText();
    for (auto _ : state) {
        benchmark::DoNotOptimize(parlendo::Log::redact(text));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(LogRedact);

}  // namespace

BENCHMARK_MAIN();
