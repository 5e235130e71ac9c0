#pragma once

#include "aitalk/AnswerView.h"
#include "manage/ManageView.h"

#include <filesystem>
#include <memory>
#include <vector>

namespace parlendo {

// The windows that draw with WebKit (the manage window, the AI answer window) live in a module of
// their own, loaded the first time one of them opens: WebKit and the libraries it brings cost tens
// of megabytes that a program idling in the status area should not carry. The module resolves
// everything else against the program.
class WebViews {
  public:
    // What the module hands out.
    struct Entry {
        std::shared_ptr<ManageView> (*manage)(std::shared_ptr<ManageBridge> bridge,
                                              ManageView::Theme theme, ManageView::Options options);
        std::shared_ptr<AnswerView> (*answer)(const AnswerPage::Built& page,
                                              const std::string& mathSource, ThemeMode theme,
                                              ExecutorPtr main,
                                              std::shared_ptr<const MonotonicClock> clock);
    };

    static constexpr const char* moduleName = "parlendo-webviews.so";
    static constexpr const char* entrySymbol = "parlendo_web_views";

    // Where the module is looked for: beside the program (a build tree), then in the installed
    // library folder relative to it.
    static std::vector<std::filesystem::path> candidates(const std::filesystem::path& program);
    // The module's entry; nothing when it cannot be loaded (logged on every failed attempt).
    static const Entry* load();
    // Builds manage windows through the module.
    static ManageView::Factory manageWindows();
    // Builds AI answer windows through the module.
    static AnswerView::Factory answerWindows();
};

}  // namespace parlendo
