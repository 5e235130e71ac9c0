// Reading dictionary and embedding answers, and the negative cache at its working size.
#include <benchmark/benchmark.h>

#include "lookup/DictionaryLookup.h"
#include "lookup/EmbedClient.h"
#include "lookup/NegativeCache.h"

#include <string>
#include <vector>

namespace {

using namespace parlendo;

std::string dictionaryAnswer(int senses) {
    Json list = Json::array();
    for (int i = 0; i < senses; ++i) {
        list.push_back({{"korean", "달리다, 뛰다 " + std::to_string(i)},
                        {"definition",
                         "to move swiftly on foot so that both feet leave the "
                         "ground during each stride"},
                        {"example", "She runs every morning before work."},
                        {"pos", "verb"}});
    }
    Json answer{{"status", "ok"},
                {"word", "running"},
                {"lemma", "run"},
                {"phonetic", "/rʌn/"},
                {"senses", list},
                {"_diag",
                 {{"ranked", true},
                  {"matched_by", "suffix"},
                  {"title_vec_found", true},
                  {"ms_server", 12.6}}}};
    return answer.dump();
}

std::string embeddingAnswer() {
    Json vector = Json::array();
    for (int i = 0; i < 768; ++i) {
        vector.push_back(((i * 7919) % 2000 - 1000) / 1000.0 + 0.000123456789);
    }
    return Json{{"model", "gemini-embedding-001"}, {"embedding", vector}}.dump();
}

void BM_DictionaryAnswer10Senses(benchmark::State& state) {
    const std::string body = dictionaryAnswer(10);
    for (auto _ : state) {
        auto parsed = DictionaryLookup::parse(body, "running");
        benchmark::DoNotOptimize(parsed);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
}
BENCHMARK(BM_DictionaryAnswer10Senses);

void BM_EmbeddingAnswer768(benchmark::State& state) {
    const std::string body = embeddingAnswer();
    for (auto _ : state) {
        auto parsed = EmbedClient::parse(body);
        benchmark::DoNotOptimize(parsed);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
}
BENCHMARK(BM_EmbeddingAnswer768);

// A clock that never moves: the benchmark measures the cache, not time.
struct FrozenClock final : MonotonicClock {
    double uptime() const override { return 0; }
};

// A full cache of 256 words: a hit, a miss, and an insert that evicts the oldest word.
void BM_NegativeCache256(benchmark::State& state) {
    NegativeCache cache(256, 600, std::make_shared<FrozenClock>());
    std::vector<std::string> words;
    for (int i = 0; i < 512; ++i) {
        words.push_back("notaword" + std::to_string(i));
    }
    for (int i = 0; i < 256; ++i) {
        cache.insert(words[i]);
    }
    size_t next = 256;
    for (auto _ : state) {
        benchmark::DoNotOptimize(cache.contains(words[(next + 200) % 512]));
        benchmark::DoNotOptimize(cache.contains("absent-word"));
        cache.insert(words[next % 512]);
        ++next;
    }
}
BENCHMARK(BM_NegativeCache256);

}  // namespace

BENCHMARK_MAIN();
