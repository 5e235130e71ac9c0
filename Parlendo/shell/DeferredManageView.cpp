#include "shell/DeferredManageView.h"

#include "shell/WebViews.h"

namespace parlendo {

std::shared_ptr<DeferredManageView> DeferredManageView::make(std::shared_ptr<ManageBridge> bridge,
                                                             Theme theme, Options options) {
    return std::shared_ptr<DeferredManageView>(
        new DeferredManageView(std::move(bridge), std::move(theme), std::move(options)));
}

DeferredManageView::DeferredManageView(std::shared_ptr<ManageBridge> bridge, Theme theme,
                                       Options options)
    : bridge_(std::move(bridge)), theme_(std::move(theme)), options_(std::move(options)) {}

void DeferredManageView::show() {
    if (real_) {
        real_->show();
        return;
    }
    if (loading_) {
        return;  // shown once it is built
    }
    loading_ = true;
    std::weak_ptr<DeferredManageView> weak = weak_from_this();
    WebViews::load(options_.main, [weak](const WebViews::Entry* entry) {
        auto self = weak.lock();
        if (!self) {
            return;
        }
        self->loading_ = false;
        if (entry == nullptr) {
            return;  // logged and told by the loader; the next show tries again
        }
        self->real_ = entry->manage(self->bridge_, self->theme_, self->options_);
        if (!self->real_) {
            return;
        }
        // The coordinator set its callbacks on this object: the window calls them through it.
        self->real_->onClose = [weak] {
            if (auto outer = weak.lock()) {
                outer->onClose();
            }
        };
        self->real_->onFilesDropped = [weak](const std::vector<std::string>& uris) {
            if (auto outer = weak.lock()) {
                outer->onFilesDropped(uris);
            }
        };
        self->real_->show();
    });
}

void DeferredManageView::run(std::string script, Completion<void(std::optional<Json>)> completion) {
    if (!real_) {
        completion(std::nullopt);
        return;
    }
    real_->run(std::move(script), std::move(completion));
}

void DeferredManageView::push(const std::string& name, std::string script) {
    if (real_) {
        real_->push(name, std::move(script));
    }
}

}  // namespace parlendo
