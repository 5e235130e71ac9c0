// The entry of the web views module (built only into parlendo-webviews.so and the tests' static
// copy of it): hands the program the factories of the windows that draw with WebKit.
#include "aitalk/AnswerWindow.h"
#include "foundation/WebContext.h"
#include "manage/ManageWindow.h"
#include "shell/WebViews.h"

namespace {

std::shared_ptr<parlendo::ManageView> makeManage(std::shared_ptr<parlendo::ManageBridge> bridge,
                                                 parlendo::ManageView::Theme theme,
                                                 parlendo::ManageView::Options options) {
    return parlendo::ManageWindow::make(std::move(bridge), std::move(theme), std::move(options));
}

void makeAnswer(const parlendo::AnswerPage::Built& page, const std::string& mathSource,
                parlendo::ThemeMode theme, parlendo::ExecutorPtr main,
                std::shared_ptr<const parlendo::MonotonicClock> clock,
                parlendo::Completion<void(std::shared_ptr<parlendo::AnswerView>)> done) {
    parlendo::AnswerWindow::makeInSteps(page, mathSource, theme, std::move(main), std::move(clock),
                                        std::move(done));
}

}  // namespace

extern "C" __attribute__((visibility("default"))) const parlendo::WebViews::Entry*
parlendo_web_views() {
    static const parlendo::WebViews::Entry entry{&makeManage, &makeAnswer,
                                                 &parlendo::WebContext::prepare};
    return &entry;
}
