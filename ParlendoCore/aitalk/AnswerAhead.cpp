#include "aitalk/AnswerAhead.h"

namespace parlendo {

AnswerAhead::AnswerAhead(ExecutorPtr main, Hooks hooks)
    : main_(std::move(main)), hooks_(std::move(hooks)) {}

void AnswerAhead::start() {
    std::weak_ptr<AnswerAhead> weak = weak_from_this();
    main_->postAfter(afterStart, [weak] {
        auto self = weak.lock();
        if (!self) {
            return;
        }
        self->due_ = true;
        if (self->open_ && self->state_ == State::none) {
            self->build();
        }
    });
}

void AnswerAhead::gate(bool open) {
    open_ = open;
    if (open && due_ && state_ == State::none) {
        build();
    } else if (!open) {
        releaseIfClosed();
    }
}

void AnswerAhead::settled() {
    releaseIfClosed();
}

void AnswerAhead::whenBuilt(Completion<void()> ready) {
    if (state_ == State::built) {
        ready();
        return;
    }
    waiting_.push_back(std::move(ready));
    if (state_ == State::none) {
        build();
    }
}

void AnswerAhead::build() {
    state_ = State::building;
    std::weak_ptr<AnswerAhead> weak = weak_from_this();
    hooks_.build([weak] {
        if (auto self = weak.lock()) {
            self->finished();
        }
    });
}

void AnswerAhead::finished() {
    state_ = State::built;
    auto waiting = std::move(waiting_);
    waiting_.clear();
    for (auto& ready : waiting) {
        ready();
    }
    // The gate may have closed while the window was being built; a question that waited for it
    // keeps it until its conversation ends.
    releaseIfClosed();
}

void AnswerAhead::releaseIfClosed() {
    if (open_ || state_ != State::built) {
        return;
    }
    if (hooks_.inUse && hooks_.inUse()) {
        // A conversation can also end without the window closing (a notice instead of an
        // answer): looked at again a little later.
        if (!recheckArmed_) {
            recheckArmed_ = true;
            std::weak_ptr<AnswerAhead> weak = weak_from_this();
            main_->postAfter(recheckSeconds, [weak] {
                if (auto self = weak.lock()) {
                    self->recheckArmed_ = false;
                    self->releaseIfClosed();
                }
            });
        }
        return;
    }
    state_ = State::none;
    hooks_.release();
}

}  // namespace parlendo
