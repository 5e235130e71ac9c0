#include "account/AccountDesktop.h"

#include "account/GtkAccountAlerts.h"
#include "account/GtkLoginWindow.h"
#include "account/GtkNewPasswordWindow.h"
#include "server/CurlServerTransport.h"

namespace parlendo::AccountDesktop {

std::shared_ptr<ServerTransport> deleteTransport(const std::string& base,
                                                 std::shared_ptr<CurlSession> session,
                                                 const std::string& clientInfo) {
    return std::make_shared<CurlServerTransport>(base, std::move(session), std::nullopt,
                                                 clientInfo);
}

AccountAlert::Port alerts() {
    return [](AccountAlert alert, Completion<void(int)> answer) {
        GtkAccountAlerts::show(std::move(alert), std::move(answer));
    };
}

AccountWindows windows() {
    AccountWindows windows;
    windows.login = [](LoginModel::Services services) -> std::shared_ptr<LoginWindowPort> {
        return GtkLoginWindow::make(std::move(services));
    };
    windows.newPassword = [](std::shared_ptr<AccountService> account, std::function<void()> onDone,
                             ExecutorPtr main) -> std::shared_ptr<NewPasswordWindowPort> {
        return GtkNewPasswordWindow::make(std::move(account), std::move(onDone), std::move(main));
    };
    return windows;
}

}  // namespace parlendo::AccountDesktop
