#include "account/NewPasswordModel.h"

#include "foundation/Text.h"

namespace parlendo {

std::shared_ptr<NewPasswordModel> NewPasswordModel::make(std::shared_ptr<AccountService> account,
                                                         std::function<void()> onDone,
                                                         ExecutorPtr main) {
    return std::shared_ptr<NewPasswordModel>(
        new NewPasswordModel(std::move(account), std::move(onDone), std::move(main)));
}

NewPasswordModel::NewPasswordModel(std::shared_ptr<AccountService> account,
                                   std::function<void()> onDone, ExecutorPtr main)
    : account_(std::move(account)), onDone_(std::move(onDone)), main_(std::move(main)) {}

void NewPasswordModel::notify() {
    if (view.changed) {
        view.changed();
    }
}

void NewPasswordModel::show() {
    message_.clear();
    if (view.clearFields) {
        view.clearFields();
    }
    notify();
}

void NewPasswordModel::submit(const std::string& first, const std::string& second) {
    if (!buttonEnabled_) {
        return;
    }
    if (text::characterCount(first) < minimumLength) {
        message_ = tooShort;
        notify();
        return;
    }
    if (second != first) {
        message_ = mismatch;
        notify();
        return;
    }
    buttonEnabled_ = false;
    notify();
    std::weak_ptr<NewPasswordModel> weak = weak_from_this();
    account_->updatePassword(first, [weak, main = main_](VoidResult result) {
        // The account may answer on its endpoint's thread.
        main->post([weak, result = std::move(result)] {
            auto self = weak.lock();
            if (!self) {
                return;
            }
            self->buttonEnabled_ = true;
            if (!result) {
                self->message_ = result.error().description();
                self->notify();
                return;
            }
            self->notify();
            if (self->view.close) {
                self->view.close();
            }
            if (self->onDone_) {
                self->onDone_();
            }
        });
    });
}

}  // namespace parlendo
