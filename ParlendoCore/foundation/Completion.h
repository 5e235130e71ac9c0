#pragma once

#include "foundation/Function.h"

#include <cassert>
#include <utility>

namespace parlendo {

template <class Signature>
class Completion;

// The continuation of an asynchronous operation. It is move-only and must be called exactly once:
// a second call is a programming error (asserted in debug builds, ignored in release builds).
// A failable result travels as one Result<T, E> argument.
//
// A completion that is destroyed without having been called is allowed (an executor dropped with
// work still queued), but `wasCalled()` lets owners and tests check that it ran.
template <class... Args>
class Completion<void(Args...)> {
  public:
    Completion() = default;
    Completion(std::nullptr_t) {}

    template <class F, class = std::enable_if_t<!std::is_same_v<std::decay_t<F>, Completion> &&
                                                std::is_invocable_v<std::decay_t<F>&, Args...>>>
    Completion(F&& f) : fn_(std::forward<F>(f)) {}

    Completion(Completion&& other) noexcept
        : fn_(std::move(other.fn_)), called_(std::exchange(other.called_, false)) {}
    Completion& operator=(Completion&& other) noexcept {
        fn_ = std::move(other.fn_);
        called_ = std::exchange(other.called_, false);
        return *this;
    }
    Completion(const Completion&) = delete;
    Completion& operator=(const Completion&) = delete;

    // True while the completion holds a continuation that has not run yet.
    explicit operator bool() const { return static_cast<bool>(fn_); }
    bool wasCalled() const { return called_; }

    void operator()(Args... args) {
        assert(!called_ && "Completion called twice");
        if (called_ || !fn_) {
            return;
        }
        called_ = true;
        // Release the continuation before it runs so that whatever it captured is freed even if
        // the continuation re-enters the owner of this completion.
        auto fn = std::move(fn_);
        fn_.reset();
        fn(std::forward<Args>(args)...);
    }

  private:
    UniqueFunction<void(Args...)> fn_;
    bool called_ = false;
};

}  // namespace parlendo
