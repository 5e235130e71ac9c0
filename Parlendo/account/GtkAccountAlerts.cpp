#include "account/GtkAccountAlerts.h"

#include "foundation/GtkAlert.h"

namespace parlendo::GtkAccountAlerts {

namespace {

GtkAlert dialogOf(AccountAlert alert) {
    return GtkAlert{std::move(alert.message),
                    std::move(alert.informative),
                    std::move(alert.buttons),
                    alert.warning,
                    std::nullopt,
                    false,
                    alert.closedButton,
                    alert.defaultButton,
                    alert.deliberateButton};
}

}  // namespace

GtkWidget* make(const AccountAlert& alert) {
    return dialogOf(alert).make();
}

void show(AccountAlert alert, Completion<void(int)> answer, ExecutorPtr timers) {
    dialogOf(std::move(alert))
        .show([answer =
                   std::move(answer)](GtkAlert::Answer result) mutable { answer(result.button); },
              std::move(timers));
}

}  // namespace parlendo::GtkAccountAlerts
