// The answer window's payload for one long answer, built on the main thread at every redraw: an
// answer of 1 MiB and one of 8 MiB (the most the ask client accepts), made of line and paragraph
// separators (which the payload must escape for JavaScript) or of plain prose.
#include <benchmark/benchmark.h>

#include "aitalk/AnswerPage.h"

#include <string>

namespace {

using namespace parlendo;

AnswerState answerOf(const std::string& piece, size_t bytes) {
    std::string text;
    text.reserve(bytes + piece.size());
    while (text.size() < bytes) {
        text += piece;
    }
    AnswerState state;
    state.phase = AnswerState::Phase::answered;
    state.turns = {{AnswerState::Turn::Role::assistant, std::move(text)}};
    return state;
}

void payload(benchmark::State& run, const std::string& piece) {
    const AnswerState state = answerOf(piece, static_cast<size_t>(run.range(0)) << 20);
    for (auto _ : run) {
        benchmark::DoNotOptimize(AnswerPage::payload(state));
    }
    run.SetBytesProcessed(static_cast<int64_t>(run.iterations() * state.turns[0].text.size()));
}

void AnswerPayloadSeparators(benchmark::State& run) {
    payload(run, "\xE2\x80\xA8\xE2\x80\xA9");
}
BENCHMARK(AnswerPayloadSeparators)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond);

void AnswerPayloadProse(benchmark::State& run) {
    payload(run,
            "The matrix is invertible when its determinant is not zero. 행렬식이 0 이 "
            "아니면 역행렬이 있어요.\n");
}
BENCHMARK(AnswerPayloadProse)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
