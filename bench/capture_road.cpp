// The local cost of one capture, from the release of the lookup chord to the cards on screen,
// with every service answering at once: the input hub and the chord, the controller's context
// and selection reads, the hop to the fetch queue and back, classification, the settings and the
// card opens. The rest of the capture (lookup, fills, the save hand-off) runs after each sample
// so that every capture starts from the same state. Reports the median and the 99th percentile
// in microseconds; the aim is well under 100.
#include <benchmark/benchmark.h>

#include "CaptureRig.h"
#include "FakeSaveBackend.h"
#include "FakeSentenceSaver.h"
#include "FakeSession.h"
#include "FakeSourceResolver.h"
#include "FakeTitleVectors.h"
#include "FakeTranslator.h"
#include "FakeWordLookup.h"
#include "capture/CapturePipeline.h"
#include "capture/FixedPopupSettings.h"
#include "foundation/Log.h"
#include "saving/SaveRetry.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using namespace parlendo;
using namespace parlendo::testing;
using Steady = std::chrono::steady_clock;

// Notes when the cards of a capture are open and otherwise does nothing.
class StampingPresenter final : public PopupPresenting {
  public:
    bool open(const PopupID&, const PopupBody&, const std::optional<std::string>&,
              const PopupOptions&, const PopupAnchor&, double) override {
        lastOpen = Steady::now();
        ++opened;
        return true;
    }
    void update(const PopupID&, const PopupBody&) override {}
    void fill(const PopupID&, const PopupBody&, double) override {}
    void close(const PopupID&) override {}

    Steady::time_point lastOpen;
    int opened = 0;
};

PopupSetting setting(const std::string& name, std::vector<std::string> contents, bool save) {
    return PopupSetting("id-" + name, name, std::move(contents), save, PopupOptions{});
}

struct Road : CaptureQueues, CaptureRig {
    Road() : CaptureRig(static_cast<const CaptureQueues&>(*this)) {
        context->title = "Cats — Wikipedia — Mozilla Firefox";
        context->webURL = "https://en.wikipedia.org/wiki/Cat";
        reader->window = context->identity(app);
        reader->bounds = SelectionBoundsRead{PopupRect{100, 500, 40, 14}, "marker"};
        lookup->reply = FakeWordLookup::found("cat", {{"고양이", "a small animal"}}, "cat");
        translator->reply = FakeTranslator::korean("The cat sat on the mat.", "고양이가 앉았다.");
        sentences->reply = SentenceSaveOutcome::confirmed(1);

        auto words = WordSaver::make(backend, 3, SaveRetry::backoff, timers);
        CapturePipeline::Services services{popups, settings,  lookup,       translator, sources,
                                           words,  sentences, titleVectors, session,    timers,
                                           main,   clock,     nullptr};
        pipeline = CapturePipeline::make(std::move(services));

        front = app;
        start(dependencies(pipeline));
    }

    void send(std::uint64_t flags) { CaptureRig::send(flags, clock->uptime()); }

    // One capture of `text`; the microseconds from the chord's release to the last card opened.
    double capture(const std::string& text) {
        reader->direct = DirectSelection{text, "selected_text"};
        send(ModifierFlags::option);
        send(ModifierFlags::option | ModifierFlags::command);
        const int before = popups->opened;
        const auto released = Steady::now();
        send(0);
        while (fetchQueue->runOne() || main->runOne()) {
            if (popups->opened > before) {
                break;
            }
        }
        const double us =
            std::chrono::duration<double, std::micro>(popups->lastOpen - released).count();
        // The rest of the capture: lookup, fills, the save hand-off and the word save.
        fetchQueue->runAll();
        main->runAll();
        return us;
    }

    const RunningApplication app{5151, std::string("org.mozilla.firefox")};
    std::shared_ptr<StampingPresenter> popups = std::make_shared<StampingPresenter>();
    std::shared_ptr<FixedPopupSettings> settings = std::make_shared<FixedPopupSettings>(
        std::vector<PopupSetting>{setting("뜻", {"korean", "phonetic"}, true),
                                  setting("정의", {"definition", "example"}, false),
                                  setting("번역", {"translation"}, true)});
    std::shared_ptr<FakeWordLookup> lookup = std::make_shared<FakeWordLookup>();
    std::shared_ptr<FakeTranslator> translator = std::make_shared<FakeTranslator>();
    std::shared_ptr<FakeSourceResolver> sources = std::make_shared<FakeSourceResolver>();
    std::shared_ptr<FakeSession> session = std::make_shared<FakeSession>();
    std::shared_ptr<FakeSaveBackend> backend = std::make_shared<FakeSaveBackend>(session);
    std::shared_ptr<FakeSentenceSaver> sentences = std::make_shared<FakeSentenceSaver>();
    std::shared_ptr<FakeTitleVectors> titleVectors = std::make_shared<FakeTitleVectors>();
    std::shared_ptr<CapturePipeline> pipeline;
};

void report(benchmark::State& state, std::vector<double>& samples) {
    std::sort(samples.begin(), samples.end());
    if (samples.empty()) {
        return;
    }
    const auto at = [&](double q) {
        return samples[std::min(samples.size() - 1, static_cast<size_t>(q * samples.size()))];
    };
    state.counters["median_us"] = at(0.5);
    state.counters["p99_us"] = at(0.99);
}

void chordToCards(benchmark::State& state, const std::string& text) {
    // Log lines go to a scratch directory, not the user's log.
    static const auto directory = [] {
        auto dir = std::filesystem::temp_directory_path() / "parlendo-bench-capture-road";
        std::filesystem::create_directories(dir);
        Log::setDirectory(dir);
        return dir;
    }();
    (void)directory;
    Road road;
    std::vector<double> samples;
    samples.reserve(1 << 16);
    for (auto _ : state) {
        samples.push_back(road.capture(text));
    }
    report(state, samples);
    Log::flush();
}

void wordCapture(benchmark::State& state) {
    chordToCards(state, "cats");
}
void sentenceCapture(benchmark::State& state) {
    chordToCards(state, "The cat sat on the mat.");
}

}  // namespace

BENCHMARK(wordCapture)->Unit(benchmark::kMicrosecond)->Iterations(20000);
BENCHMARK(sentenceCapture)->Unit(benchmark::kMicrosecond)->Iterations(20000);

BENCHMARK_MAIN();
