#pragma once

#include "aitalk/AnswerPage.h"
#include "aitalk/AnswerState.h"
#include "foundation/Clock.h"
#include "foundation/Completion.h"
#include "foundation/Executor.h"
#include "manage/ThemeMode.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace parlendo {

// What AI talk needs of its answer window. The window draws the conversation with WebKit, which
// the program loads as a module when the window is first built, so AI talk reaches it through
// this interface and a factory. Main thread only.
class AnswerView : public AnswerScreen {
  public:
    // Builds a window for `page` and the formula renderer's script, a step at a time on the main
    // loop, and completes with it; with nothing when no window can be built (logged by the
    // factory).
    using Factory = std::function<void(const AnswerPage::Built& page, const std::string& mathSource,
                                       ThemeMode theme, ExecutorPtr main,
                                       std::shared_ptr<const MonotonicClock> clock,
                                       Completion<void(std::shared_ptr<AnswerView>)> done)>;

    virtual void applyTheme(ThemeMode mode) = 0;
    virtual bool isVisible() const = 0;
    virtual ThemeMode theme() const = 0;

    // A follow-up question was submitted.
    std::function<void(const std::string& text)> onFollowup;
    std::function<void()> onSelectionOnly;
    std::function<void()> onRetry;
    // The window asks to be closed: "button", "escape" or "timer".
    std::function<void(const std::string& reason)> onClose;
    // The saved window size ("w,h"), and where a size the user gave is saved.
    std::function<std::optional<std::string>()> loadSize;
    std::function<void(const std::string& size)> saveSize;
};

}  // namespace parlendo
