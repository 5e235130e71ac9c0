// The text work done on every capture: classifying the selection and normalising the window
// title. Each should take a few microseconds.
#include <benchmark/benchmark.h>

#include "capture/InputClassify.h"
#include "lookup/TitleKey.h"

#include <string>

namespace {

using parlendo::InputClassify;
using parlendo::TitleKey;

// A word-like selection of 40 characters, with the quotation marks a reader selects along.
const std::string wordLike = "\u201Cinternationalisation-and-localisations\u201D";

std::string paragraph() {
    const std::string sentence =
        "The committee\u2019s report, published on Tuesday, argues that the city should expand "
        "its network of protected cycle lanes before the next budget cycle begins. ";
    std::string out;
    while (out.size() < 2048) {
        out += sentence;
    }
    out.resize(2048);
    return out;
}

std::string browserTitle() {
    std::string title =
        "Understanding the long-term effects of remote work on urban economies, housing "
        "markets and public transport: an analysis of data from twelve metropolitan areas";
    while (title.size() < 181) {
        title += " x";
    }
    return title.substr(0, 181) + " - Google Chrome";
}

void classifyWord(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(InputClassify::classify(wordLike));
    }
}
BENCHMARK(classifyWord);

void classifyParagraph(benchmark::State& state) {
    const std::string text = paragraph();
    for (auto _ : state) {
        benchmark::DoNotOptimize(InputClassify::classify(text));
    }
}
BENCHMARK(classifyParagraph);

void classifySentence(benchmark::State& state) {
    const std::string text =
        "The committee\u2019s report argues that the city should expand its network of cycle "
        "lanes (before the next budget cycle) and fund them properly.";
    for (auto _ : state) {
        benchmark::DoNotOptimize(InputClassify::classify(text));
    }
}
BENCHMARK(classifySentence);

void normalizeTitle(benchmark::State& state) {
    const std::string title = browserTitle();
    for (auto _ : state) {
        benchmark::DoNotOptimize(TitleKey::normalize(title));
    }
}
BENCHMARK(normalizeTitle);

void keyTitle(benchmark::State& state) {
    const std::string title = browserTitle();
    for (auto _ : state) {
        benchmark::DoNotOptimize(TitleKey::key(title));
    }
}
BENCHMARK(keyTitle);

void documentTitleChrome(benchmark::State& state) {
    const std::optional<std::string> title = browserTitle();
    const std::optional<std::string> bundle = "com.google.Chrome";
    for (auto _ : state) {
        benchmark::DoNotOptimize(TitleKey::documentTitle(title, bundle, std::nullopt));
    }
}
BENCHMARK(documentTitleChrome);

}  // namespace

BENCHMARK_MAIN();
