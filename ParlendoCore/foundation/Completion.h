#pragma once

#include "foundation/Function.h"
#include "foundation/SourcePlace.h"

#include <cassert>
#include <string>
#include <string_view>
#include <utility>

namespace parlendo {

template <class Signature>
class Completion;

// What becomes of completions that are destroyed without having been called.
namespace CompletionDrops {

// Reports a completion made at `where` that was destroyed uncalled, unless a `Scope` is open on
// this thread: in debug builds a log line under the tag "completion" and a call of the hook;
// nothing in release builds.
void report(const SourcePlace& where);

// While one lives, completions destroyed on this thread are dropped on purpose and not reported:
// an executor or a fake that is destroyed with work still queued opens one, naming why.
class Scope {
  public:
    explicit Scope(std::string_view why);
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;
};

// Called with the report's text for every reported drop (the test programs turn it into a
// failure); returns the hook it replaces.
using Hook = void (*)(const std::string& text, const SourcePlace& where);
Hook setHook(Hook hook);

}  // namespace CompletionDrops

// The continuation of an asynchronous operation. It is move-only and must be called exactly once:
// a second call is a programming error (asserted in debug builds, ignored in release builds).
// A failable result travels as one Result<T, E> argument.
//
// A completion destroyed without having been called is a lost answer: debug builds report it
// (CompletionDrops::report, with the place where the completion was made). Code that may let one
// go on purpose says so with `drop(why)`, or with a CompletionDrops::Scope around the destruction.
template <class... Args>
class Completion<void(Args...)> {
  public:
    Completion() = default;
    Completion(std::nullptr_t) {}

    template <class F, class = std::enable_if_t<!std::is_same_v<std::decay_t<F>, Completion> &&
                                                std::is_invocable_v<std::decay_t<F>&, Args...>>>
    Completion(F&& f, SourcePlace where = SourcePlace::here())
        : fn_(std::forward<F>(f)), where_(where) {}

    Completion(Completion&& other) noexcept
        : fn_(std::move(other.fn_)),
          called_(std::exchange(other.called_, false)),
          where_(other.where_) {}
    Completion& operator=(Completion&& other) noexcept {
        if (this != &other) {
            reportIfHeld();
            fn_ = std::move(other.fn_);
            called_ = std::exchange(other.called_, false);
            where_ = other.where_;
        }
        return *this;
    }
    Completion(const Completion&) = delete;
    Completion& operator=(const Completion&) = delete;

    ~Completion() { reportIfHeld(); }

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

    // Lets the continuation go without calling it, on purpose, with whatever it holds: `why` says
    // why no answer is owed.
    void drop(std::string_view why) {
        if (fn_) {
            CompletionDrops::Scope scope(why);
            auto fn = std::move(fn_);
            fn_.reset();
        }
    }

  private:
    void reportIfHeld() {
        if (fn_) {
            // Free the captures first: a completion they hold is reported on its own.
            auto fn = std::move(fn_);
            fn_.reset();
            fn.reset();
            CompletionDrops::report(where_);
        }
    }

    UniqueFunction<void(Args...)> fn_;
    bool called_ = false;
    SourcePlace where_;
};

}  // namespace parlendo
