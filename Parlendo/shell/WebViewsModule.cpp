// The entry of the web views module (built only into parlendo-webviews.so and the tests' static
// copy of it): hands the program the factories of the windows that draw with WebKit.
#include "manage/ManageWindow.h"
#include "shell/WebViews.h"

namespace {

std::shared_ptr<parlendo::ManageView> makeManage(std::shared_ptr<parlendo::ManageBridge> bridge,
                                                 parlendo::ManageView::Theme theme,
                                                 parlendo::ManageView::Options options) {
    return parlendo::ManageWindow::make(std::move(bridge), std::move(theme), std::move(options));
}

}  // namespace

extern "C" __attribute__((visibility("default"))) const parlendo::WebViews::Entry*
parlendo_web_views() {
    static const parlendo::WebViews::Entry entry{&makeManage};
    return &entry;
}
