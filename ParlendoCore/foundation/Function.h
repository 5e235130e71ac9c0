#pragma once

#include <cstddef>
#include <memory>
#include <type_traits>
#include <utility>

namespace parlendo {

template <class Signature>
class UniqueFunction;

// A move-only std::function: it can hold lambdas that capture move-only values (a Completion,
// a unique_ptr). Calling an empty UniqueFunction is a programming error.
template <class R, class... Args>
class UniqueFunction<R(Args...)> {
  public:
    UniqueFunction() = default;
    UniqueFunction(std::nullptr_t) {}

    template <class F,
              class = std::enable_if_t<!std::is_same_v<std::decay_t<F>, UniqueFunction> &&
                                       std::is_invocable_r_v<R, std::decay_t<F>&, Args...>>>
    UniqueFunction(F&& f) : impl_(std::make_unique<Model<std::decay_t<F>>>(std::forward<F>(f))) {}

    UniqueFunction(UniqueFunction&&) noexcept = default;
    UniqueFunction& operator=(UniqueFunction&&) noexcept = default;
    UniqueFunction(const UniqueFunction&) = delete;
    UniqueFunction& operator=(const UniqueFunction&) = delete;

    explicit operator bool() const { return impl_ != nullptr; }

    R operator()(Args... args) { return impl_->call(std::forward<Args>(args)...); }

    void reset() { impl_.reset(); }

  private:
    struct Concept {
        virtual ~Concept() = default;
        virtual R call(Args... args) = 0;
    };
    template <class F>
    struct Model final : Concept {
        explicit Model(F&& f) : fn(std::move(f)) {}
        explicit Model(const F& f) : fn(f) {}
        R call(Args... args) override { return fn(std::forward<Args>(args)...); }
        F fn;
    };
    std::unique_ptr<Concept> impl_;
};

// The unit of work that executors run.
using Task = UniqueFunction<void()>;

}  // namespace parlendo
