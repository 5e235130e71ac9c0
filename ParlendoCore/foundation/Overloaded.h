#pragma once

namespace parlendo {

// Builds one visitor out of several lambdas: std::visit(overloaded{[](A) {}, [](B) {}}, v).
template <class... Fs>
struct overloaded : Fs... {
    using Fs::operator()...;
};
template <class... Fs>
overloaded(Fs...) -> overloaded<Fs...>;

}  // namespace parlendo
