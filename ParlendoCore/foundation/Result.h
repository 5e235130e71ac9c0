#pragma once

#include <tl/expected.hpp>

#include <utility>

namespace parlendo {

// A failable value: the value, or the error that explains why there is none.
template <class T, class E>
using Result = tl::expected<T, E>;

// Builds the failure side of a Result: `return fail(CallFailure::timeout());`
template <class E>
auto fail(E&& error) {
    return tl::make_unexpected(std::forward<E>(error));
}

}  // namespace parlendo
