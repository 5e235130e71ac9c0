#include "shell/WebViews.h"

#include "foundation/GtkAlert.h"
#include "foundation/Log.h"

#include <dlfcn.h>

#include <mutex>
#include <string>
#include <system_error>

#ifndef PARLENDO_WEBVIEWS_RELATIVE_DIR
#define PARLENDO_WEBVIEWS_RELATIVE_DIR "../lib/parlendo"
#endif

namespace parlendo {

std::vector<std::filesystem::path> WebViews::candidates(const std::filesystem::path& program) {
    const auto folder = program.parent_path();
    return {folder / moduleName,
            (folder / PARLENDO_WEBVIEWS_RELATIVE_DIR / moduleName).lexically_normal()};
}

const WebViews::Entry* WebViews::load() {
    static const Entry* loaded = nullptr;
    if (loaded != nullptr) {
        return loaded;
    }
    std::error_code error;
    const auto program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        Log::write("app", "🔴 화면 모듈을 찾을 수 없음 (실행 파일 위치를 모름)");
        return nullptr;
    }
    std::string failure = "없음";
    for (const auto& path : candidates(program)) {
        if (!std::filesystem::exists(path, error)) {
            continue;
        }
        // RTLD_NOW: a module that does not fit this program fails here, not in the middle of
        // drawing a window.
        void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (module == nullptr) {
            // dlerror names the file first; the rest says what is wrong with it.
            const char* raw = ::dlerror();
            const std::string text = raw != nullptr ? raw : "";
            const std::string prefix = path.string() + ": ";
            failure = text.starts_with(prefix) ? text.substr(prefix.size()) : "dlopen " + text;
            continue;
        }
        using EntryFunction = const Entry* (*)();
        auto entry = reinterpret_cast<EntryFunction>(::dlsym(module, entrySymbol));
        if (entry == nullptr || entry() == nullptr) {
            failure = "진입점 없음";
            ::dlclose(module);
            continue;
        }
        loaded = entry();
        Log::write("app", "화면 모듈 불러옴");
        return loaded;
    }
    Log::write("app", "🔴 화면 모듈을 불러오지 못함 " + failure);
    // Once per run: the windows stay closed until the program is installed again.
    static bool told = false;
    if (!told) {
        told = true;
        GtkAlert alert;
        alert.message = "창을 열 수 없습니다";
        alert.informative = std::string("PARLENDO 설치에서 화면 모듈(") + moduleName +
                            ")을 불러오지 못해 관리 창과 AI 답 창을 열 수 없습니다. PARLENDO 를 "
                            "다시 설치해 주세요.";
        alert.warning = true;
        alert.show([](GtkAlert::Answer) {});
    }
    return nullptr;
}

ManageView::Factory WebViews::manageWindows() {
    return [](std::shared_ptr<ManageBridge> bridge, ManageView::Theme theme,
              ManageView::Options options) -> std::shared_ptr<ManageView> {
        const Entry* entry = load();
        if (entry == nullptr) {
            return nullptr;
        }
        return entry->manage(std::move(bridge), std::move(theme), std::move(options));
    };
}

AnswerView::Factory WebViews::answerWindows() {
    return [](const AnswerPage::Built& page, const std::string& mathSource, ThemeMode theme,
              ExecutorPtr main,
              std::shared_ptr<const MonotonicClock> clock) -> std::shared_ptr<AnswerView> {
        const Entry* entry = load();
        if (entry == nullptr) {
            return nullptr;
        }
        return entry->answer(page, mathSource, theme, std::move(main), std::move(clock));
    };
}

}  // namespace parlendo
