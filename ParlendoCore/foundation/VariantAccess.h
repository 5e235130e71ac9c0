#pragma once

#include <variant>

namespace parlendo {

// The queries shared by the small classes that wrap a std::variant of cases (outcomes, failures,
// replies): `is<Case>()` and `as<Case>()`. The class derives from VariantAccess<itself> and offers
// `const Value& value() const`.
template <class Self>
struct VariantAccess {
    template <class T>
    bool is() const {
        return std::holds_alternative<T>(static_cast<const Self&>(*this).value());
    }
    template <class T>
    const T* as() const {
        return std::get_if<T>(&static_cast<const Self&>(*this).value());
    }
    bool operator==(const VariantAccess&) const = default;
};

}  // namespace parlendo
