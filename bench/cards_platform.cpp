// Main-loop time of the meaning cards on an X display (run under scripts/with-session.sh): from
// the call that opens a card, or fills it with its answer, until the card window has been drawn
// with it. Median and 99th percentile over 200 cards each.
#include <benchmark/benchmark.h>
#include <gtk/gtk.h>

#include "foundation/Clock.h"
#include "foundation/GlibMainExecutor.h"
#include "popups/GdkPopupScreens.h"
#include "popups/GtkPopupCard.h"
#include "popups/MeaningPopup.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace parlendo;
using Steady = std::chrono::steady_clock;

const PopupBody wordBody = PopupBody::word(
    "run", "← running",
    {{"phonetic", "발음", "rʌn"},
     {"korean", "한글 뜻", "달리다 [verb]\n운영하다 [verb]"},
     {"definition", "정의", "[verb] move at a speed faster than a walk\n[verb] manage"}});

// The card windows drawn since the last reset.
struct Drawn {
    int count = 0;
};

gboolean noteDraw(GtkWidget*, cairo_t*, gpointer data) {
    ++static_cast<Drawn*>(data)->count;
    return FALSE;
}

struct Desk {
    bool ready = false;
    std::shared_ptr<GlibMainExecutor> executor;
    std::shared_ptr<MeaningPopup> popup;
    Drawn drawn;

    Desk() {
        if (!gtk_init_check(nullptr, nullptr)) {
            return;
        }
        ready = true;
        executor = std::make_shared<GlibMainExecutor>();
        popup = MeaningPopup::make(
            executor, SystemClock::shared(), std::make_shared<GdkPopupScreens>(),
            [this](const PopupCardLook& look, PopupCardWindow::Handlers handlers) {
                auto card = std::make_unique<GtkPopupCard>(look, std::move(handlers));
                g_signal_connect_after(card->window(), "draw", G_CALLBACK(noteDraw), &drawn);
                return card;
            });
    }

    // Runs the main loop until `drawn` has counted `target` draws.
    void runUntilDrawn(int target) {
        const auto limit = Steady::now() + std::chrono::seconds(5);
        while (drawn.count < target && Steady::now() < limit) {
            g_main_context_iteration(nullptr, TRUE);
        }
    }
    void settle() {
        const auto until = Steady::now() + std::chrono::milliseconds(30);
        while (Steady::now() < until) {
            while (g_main_context_iteration(nullptr, FALSE)) {
            }
        }
    }
};

Desk& desk() {
    static Desk* d = new Desk();
    return *d;
}

void report(benchmark::State& state, std::vector<double> ms) {
    if (ms.empty()) {
        return;
    }
    std::sort(ms.begin(), ms.end());
    state.counters["median_ms"] = ms[ms.size() / 2];
    state.counters["p99_ms"] = ms[std::min(ms.size() - 1, ms.size() * 99 / 100)];
}

void BM_CardOpened(benchmark::State& state) {
    Desk& d = desk();
    if (!d.ready) {
        state.SkipWithError("no X display");
        return;
    }
    std::vector<double> ms;
    int n = 0;
    for (auto _ : state) {
        const PopupID id{"bench", n++};
        d.drawn.count = 0;
        const auto start = Steady::now();
        d.popup->open(id, PopupBody::loading("running", "조회 중…"), "· 단어",
                      PopupOptions::standard(), PopupAnchor::mouse(), 11.6);
        d.runUntilDrawn(1);
        const double seconds = std::chrono::duration<double>(Steady::now() - start).count();
        state.SetIterationTime(seconds);
        ms.push_back(seconds * 1000);
        d.popup->close(id);
        d.settle();
    }
    report(state, std::move(ms));
}
BENCHMARK(BM_CardOpened)->Iterations(200)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_CardFilledWithItsAnswer(benchmark::State& state) {
    Desk& d = desk();
    if (!d.ready) {
        state.SkipWithError("no X display");
        return;
    }
    std::vector<double> ms;
    int n = 0;
    for (auto _ : state) {
        const PopupID id{"bench-fill", n++};
        d.drawn.count = 0;
        d.popup->open(id, PopupBody::loading("running", "조회 중…"), "· 단어",
                      PopupOptions::standard(), PopupAnchor::mouse(), 11.6);
        d.runUntilDrawn(1);
        d.settle();
        d.drawn.count = 0;
        const auto start = Steady::now();
        d.popup->fill(id, wordBody, 3.0);
        d.runUntilDrawn(1);
        const double seconds = std::chrono::duration<double>(Steady::now() - start).count();
        state.SetIterationTime(seconds);
        ms.push_back(seconds * 1000);
        d.popup->close(id);
        d.settle();
    }
    report(state, std::move(ms));
}
BENCHMARK(BM_CardFilledWithItsAnswer)
    ->Iterations(200)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
