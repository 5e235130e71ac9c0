#include "server/CallFailure.h"

#include "foundation/Json.h"
#include "foundation/Overloaded.h"
#include "foundation/Text.h"

namespace parlendo {

namespace {
constexpr size_t rejectionMessageLimit = 80;
}

std::optional<ServerRejection> ServerRejection::parse(int status, std::string_view body) {
    auto parsed = json::parse(body);
    if (!parsed || !parsed->is_object()) {
        return std::nullopt;
    }
    auto code = json::string(*parsed, "code");
    if (!code) {
        return std::nullopt;
    }
    std::string message = json::string(*parsed, "message").value_or("");
    return ServerRejection{status, std::move(*code),
                           text::characterPrefix(message, rejectionMessageLimit)};
}

std::string CallFailure::safeCode(std::string_view code) {
    if (code.empty() || code.size() > 40) {
        return "other";
    }
    for (char c : code) {
        bool ok =
            (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
        if (!ok) {
            return "other";
        }
    }
    return std::string(code);
}

std::string CallFailure::logReason() const {
    return std::visit(overloaded{
                          [](const Rejected& r) { return "rejected_" + std::to_string(r.status); },
                          [](const RejectedDetail& r) {
                              return "rejected_" + std::to_string(r.rejection.status) + "_" +
                                     safeCode(r.rejection.code);
                          },
                          [](const AuthRequired&) { return std::string("auth_required"); },
                          [](const Stale&) { return std::string("stale"); },
                          [](const Timeout&) { return std::string("timeout"); },
                          [](const Unavailable&) { return std::string("unavailable"); },
                          [](const Quota&) { return std::string("quota"); },
                          [](const BadShape&) { return std::string("bad_shape"); },
                      },
                      value_);
}

std::optional<std::string> CallFailureDetail::contractCode() const {
    if (!verdict) {
        return std::nullopt;
    }
    return verdict->code;
}

std::optional<std::string> CallFailureDetail::quotaScope() const {
    if (!quotaBody) {
        return std::nullopt;
    }
    auto parsed = json::parse(*quotaBody);
    if (!parsed) {
        return std::nullopt;
    }
    return json::string(*parsed, "scope");
}

}  // namespace parlendo
