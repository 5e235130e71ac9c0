#pragma once

#include "aitalk/AnswerView.h"
#include "foundation/Completion.h"
#include "foundation/Executor.h"
#include "manage/ManageView.h"

#include <filesystem>
#include <memory>
#include <vector>

namespace parlendo {

// The windows that draw with WebKit (the manage window, the AI answer window) live in a module of
// their own, loaded the first time one of them is built: WebKit and the libraries it brings cost
// tens of megabytes that a program idling in the status area should not carry. The module is
// loaded on a worker thread, so that the main loop goes on meanwhile, and resolves everything
// else against the program. Meanwhile a thread that opens a library through GModule waits for
// all of the load, and one that starts a thread for its mapping and binding: the input method
// module and the windows' fonts, which the main thread would open or match (Pango starts threads
// for that) then, are readied before (ToolkitWarmup).
class WebViews {
  public:
    // What the module hands out.
    struct Entry {
        std::shared_ptr<ManageView> (*manage)(std::shared_ptr<ManageBridge> bridge,
                                              ManageView::Theme theme, ManageView::Options options);
        void (*answer)(const AnswerPage::Built& page, const std::string& mathSource,
                       ThemeMode theme, ExecutorPtr main,
                       std::shared_ptr<const MonotonicClock> clock,
                       Completion<void(std::shared_ptr<AnswerView>)> done);
        // Readies what the first web view would set up on the main thread; run on the loading
        // thread.
        void (*prepare)();
    };

    static constexpr const char* moduleName = "parlendo-webviews.so";
    static constexpr const char* entrySymbol = "parlendo_web_views";

    // Where the module is looked for: beside the program (a build tree), then in the installed
    // library folder relative to it.
    static std::vector<std::filesystem::path> candidates(const std::filesystem::path& program);
    // Loads the module (once; later calls answer at once) and completes on `main` with its entry,
    // or with nothing when it cannot be loaded (logged on every failed attempt, told to the user
    // once per run). Main thread.
    static void load(ExecutorPtr main, Completion<void(const Entry*)> ready);
    // The entry when the module is loaded already.
    static const Entry* loaded();
    // Manage windows that load the module when they are first shown.
    static ManageView::Factory manageWindows();
    // Builds AI answer windows through the module.
    static AnswerView::Factory answerWindows();
};

}  // namespace parlendo
