#pragma once

#include "foundation/VariantAccess.h"
#include "server/CallFailure.h"

#include <optional>
#include <set>
#include <string>
#include <variant>

namespace parlendo {

// What the word save queue does about a failed snapshot call.
class SaveVerdict : public VariantAccess<SaveVerdict> {
  public:
    // Failed for good; not retried.
    struct Terminal {
        std::string code;
        bool operator==(const Terminal&) const = default;
    };
    // Transient; retried after a back-off while attempts remain.
    struct Retry {
        std::string code;
        bool operator==(const Retry&) const = default;
    };
    // The save no longer applies (no session, stale account state); dropped without retry.
    struct Drop {
        std::string code;
        bool operator==(const Drop&) const = default;
    };
    // The server has no snapshot function: switch to the two-request path.
    struct RpcMissing {
        bool operator==(const RpcMissing&) const = default;
    };
    using Value = std::variant<Terminal, Retry, Drop, RpcMissing>;

    SaveVerdict(Value value) : value_(std::move(value)) {}  // NOLINT: implicit by design

    static SaveVerdict terminal(std::string code) { return Value{Terminal{std::move(code)}}; }
    static SaveVerdict retry(std::string code) { return Value{Retry{std::move(code)}}; }
    static SaveVerdict drop(std::string code) { return Value{Drop{std::move(code)}}; }
    static SaveVerdict rpcMissing() { return Value{RpcMissing{}}; }

    const Value& value() const { return value_; }
    // The code of a terminal, retry or drop verdict.
    std::optional<std::string> code() const;

    bool operator==(const SaveVerdict&) const = default;

  private:
    Value value_;
};

// Turns a failed snapshot call into a verdict. Pure; callable from any thread.
namespace SaveJudge {

// The business codes of a "P0001" failure that pass through as terminal codes.
const std::set<std::string>& terminalCodes();

SaveVerdict judge(const CallFailure& failure);

}  // namespace SaveJudge

}  // namespace parlendo
