#include "shell/WebViews.h"

#include "foundation/GtkAlert.h"
#include "foundation/Log.h"
#include "foundation/WorkerQueue.h"
#include "shell/DeferredManageView.h"
#include "shell/ToolkitWarmup.h"

#include <gmodule.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>
#include <system_error>

#ifndef PARLENDO_WEBVIEWS_RELATIVE_DIR
#define PARLENDO_WEBVIEWS_RELATIVE_DIR "../lib/parlendo"
#endif

namespace parlendo {

namespace {

struct Loading {
    std::mutex mutex;
    std::atomic<const WebViews::Entry*> entry{nullptr};
    bool running = false;
    std::vector<std::pair<ExecutorPtr, Completion<void(const WebViews::Entry*)>>> waiting;
};

Loading& loading() {
    static Loading* state = new Loading();  // outlives the worker that may still finish
    return *state;
}

// Opens the module: its entry, or nothing with the reason in `failure`. Any thread.
const WebViews::Entry* open(std::string& failure) {
    std::error_code error;
    const auto program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        failure = "(실행 파일 위치를 모름)";
        return nullptr;
    }
    failure = "없음";
    for (const auto& path : WebViews::candidates(program)) {
        if (!std::filesystem::exists(path, error)) {
            continue;
        }
        // Bound now: a module that does not fit this program fails here, not in the middle of
        // drawing a window. Opened through GModule, not dlopen: the libraries it brings call
        // g_module_open from their constructors while the loader's lock is held, so a main thread
        // opening a module of its own (an image loader) at that moment would take the two locks
        // in the other order and both threads would wait for ever. GModule's lock is taken first
        // here and is reentrant, which keeps the order the same on every thread.
        GError* openError = nullptr;
        GModule* module = g_module_open_full(path.c_str(), G_MODULE_BIND_LOCAL, &openError);
        if (module == nullptr) {
            // The loader names the file first; the rest says what is wrong with it.
            const std::string text = openError != nullptr ? openError->message : "";
            g_clear_error(&openError);
            const std::string prefix = path.string() + ": ";
            failure = text.starts_with(prefix) ? text.substr(prefix.size()) : "dlopen " + text;
            continue;
        }
        using EntryFunction = const WebViews::Entry* (*)();
        gpointer symbol = nullptr;
        auto entry = g_module_symbol(module, WebViews::entrySymbol, &symbol)
                         ? reinterpret_cast<EntryFunction>(symbol)
                         : nullptr;
        if (entry == nullptr || entry() == nullptr) {
            failure = "진입점 없음";
            g_module_close(module);
            continue;
        }
        entry()->prepare();
        return entry();
    }
    return nullptr;
}

// Once per run: the windows stay closed until the program is installed again.
void tellOnce() {
    static bool told = false;
    if (told) {
        return;
    }
    told = true;
    GtkAlert alert;
    alert.message = "창을 열 수 없습니다";
    alert.informative = std::string("PARLENDO 설치에서 화면 모듈(") + WebViews::moduleName +
                        ")을 불러오지 못해 관리 창과 AI 답 창을 열 수 없습니다. PARLENDO 를 "
                        "다시 설치해 주세요.";
    alert.warning = true;
    alert.show([](GtkAlert::Answer) {});
}

}  // namespace

std::vector<std::filesystem::path> WebViews::candidates(const std::filesystem::path& program) {
    const auto folder = program.parent_path();
    return {folder / moduleName,
            (folder / PARLENDO_WEBVIEWS_RELATIVE_DIR / moduleName).lexically_normal()};
}

const WebViews::Entry* WebViews::loaded() {
    return loading().entry.load();
}

void WebViews::load(ExecutorPtr main, Completion<void(const Entry*)> ready) {
    Loading& state = loading();
    if (const Entry* entry = state.entry.load()) {
        ready(entry);
        return;
    }
    {
        std::lock_guard lock(state.mutex);
        state.waiting.emplace_back(std::move(main), std::move(ready));
        if (state.running) {
            return;
        }
        state.running = true;
    }
    // The worker holds GModule's lock for the whole load: a text field would open its input
    // method module meanwhile, and wait for all of it.
    ToolkitWarmup::keepInputMethod();
    // Mapping WebKit and resolving its symbols takes tens of milliseconds: not on the main loop.
    ThreadPool::global().post([] {
        Loading& shared = loading();
        const double started = SystemClock::shared()->uptime();
        std::string failure;
        const Entry* entry = open(failure);
        char took[48];
        std::snprintf(took, sizeof took, " ms=%.0f",
                      (SystemClock::shared()->uptime() - started) * 1000);
        if (entry != nullptr) {
            Log::write("app", std::string("화면 모듈 불러옴") + took);
        } else {
            Log::write("app", "🔴 화면 모듈을 불러오지 못함 " + failure);
        }
        decltype(shared.waiting) waiting;
        {
            std::lock_guard lock(shared.mutex);
            shared.entry.store(entry);
            shared.running = false;
            waiting = std::move(shared.waiting);
            shared.waiting.clear();
        }
        for (auto& [executor, waiter] : waiting) {
            executor->post([entry, waiter = std::move(waiter)]() mutable {
                if (entry == nullptr) {
                    tellOnce();
                }
                waiter(entry);
            });
        }
    });
}

ManageView::Factory WebViews::manageWindows() {
    return [](std::shared_ptr<ManageBridge> bridge, ManageView::Theme theme,
              ManageView::Options options) -> std::shared_ptr<ManageView> {
        return DeferredManageView::make(std::move(bridge), std::move(theme), std::move(options));
    };
}

AnswerView::Factory WebViews::answerWindows() {
    return [](const AnswerPage::Built& page, const std::string& mathSource, ThemeMode theme,
              ExecutorPtr main, std::shared_ptr<const MonotonicClock> clock,
              Completion<void(std::shared_ptr<AnswerView>)> done) {
        load(main, [page, mathSource, theme, main, clock,
                    done = std::move(done)](const Entry* entry) mutable {
            if (entry == nullptr) {
                done(nullptr);
                return;
            }
            entry->answer(page, mathSource, theme, std::move(main), std::move(clock),
                          std::move(done));
        });
    };
}

}  // namespace parlendo
