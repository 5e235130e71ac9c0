#include "saving/SaveVerdict.h"

#include "foundation/Overloaded.h"

namespace parlendo {

std::optional<std::string> SaveVerdict::code() const {
    return std::visit(
        overloaded{[](const Terminal& v) -> std::optional<std::string> { return v.code; },
                   [](const Retry& v) -> std::optional<std::string> { return v.code; },
                   [](const Drop& v) -> std::optional<std::string> { return v.code; },
                   [](const RpcMissing&) -> std::optional<std::string> {
                       return std::nullopt;
                   }},
        value_);
}

namespace SaveJudge {

const std::set<std::string>& terminalCodes() {
    static const std::set<std::string> codes{
        "not_authenticated", "invalid_lemma",    "senses_shape", "source_not_found",
        "folder_not_found",  "parent_not_found", "folder_cycle", "invalid_limit"};
    return codes;
}

SaveVerdict judge(const CallFailure& failure) {
    return std::visit(
        overloaded{
            [](const CallFailure::Rejected& r) {
                return SaveVerdict::terminal("http_" + std::to_string(r.status));
            },
            [](const CallFailure::RejectedDetail& d) {
                const std::string& code = d.rejection.code;
                if (code == "PGRST202") {
                    return SaveVerdict::rpcMissing();
                }
                if (code == "40001" || code == "40P01") {
                    return SaveVerdict::retry(code);
                }
                if (code == "P0001") {
                    if (terminalCodes().contains(d.rejection.message)) {
                        return SaveVerdict::terminal(d.rejection.message);
                    }
                    return SaveVerdict::terminal("unknown_p0001");
                }
                return SaveVerdict::terminal(code);
            },
            [](const CallFailure::AuthRequired&) { return SaveVerdict::drop("auth_required"); },
            [](const CallFailure::Stale&) { return SaveVerdict::drop("stale"); },
            [](const CallFailure::Timeout&) { return SaveVerdict::retry("timeout"); },
            [](const CallFailure::Unavailable&) { return SaveVerdict::retry("unavailable"); },
            [](const CallFailure::Quota&) { return SaveVerdict::retry("quota"); },
            [](const CallFailure::BadShape&) {
                return SaveVerdict::terminal("bad_shape");
            }},
        failure.value());
}

}  // namespace SaveJudge

}  // namespace parlendo
