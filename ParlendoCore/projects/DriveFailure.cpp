#include "projects/DriveFailure.h"

#include "foundation/Overloaded.h"

namespace parlendo {

Json DriveFailure::payload() const {
    Json out{{"error", code}};
    if (scope) {
        out["scope"] = *scope;
    }
    return out;
}

const std::set<std::string, std::less<>>& DriveFailure::rpcCodes() {
    static const std::set<std::string, std::less<>> codes{
        "not_authenticated",
        "drive_not_found",
        "not_found",
        "page_count_out_of_range",
        "batch_size_out_of_range",
        "document_not_found",
        "page_no_out_of_range",
        "page_text_too_long",
        "pages_incomplete",
        "toc_invalid",
        "thread_turn_limit",
        "user_text_quota_exceeded",
    };
    return codes;
}

std::string DriveFailure::codeFor(const CallFailure& failure, std::string_view forbidden) {
    return std::visit(
        overloaded{
            [](const CallFailure::Rejected&) -> std::string { return "server_error"; },
            [&](const CallFailure::RejectedDetail& d) -> std::string {
                const ServerRejection& r = d.rejection;
                if (r.code == "P0001" && rpcCodes().count(r.message) > 0) {
                    return r.message == "not_authenticated" ? "auth_required" : r.message;
                }
                if (r.code == "42501") {
                    return std::string(forbidden);
                }
                if (r.code == "23505") {
                    return "conflict";
                }
                if (r.code == "23503" || r.code == "PGRST301") {
                    return "auth_required";
                }
                return "server_error";
            },
            [](const CallFailure::AuthRequired&) -> std::string { return "auth_required"; },
            [](const CallFailure::Stale&) -> std::string { return "auth_required"; },
            [](const CallFailure::Timeout&) -> std::string { return "network_unavailable"; },
            [](const CallFailure::Unavailable&) -> std::string { return "network_unavailable"; },
            [](const CallFailure::Quota&) -> std::string { return "quota_exceeded"; },
            [](const CallFailure::BadShape&) -> std::string { return "server_error"; },
        },
        failure.value());
}

namespace DriveErrors {

std::optional<DriveFailure> from(const DriveError& error, std::string_view forbidden) {
    if (const auto* own = std::get_if<DriveFailure>(&error)) {
        return *own;
    }
    const auto& call = std::get<CallFailure>(error);
    if (call.is<CallFailure::Stale>()) {
        return std::nullopt;
    }
    return DriveFailure(DriveFailure::codeFor(call, forbidden));
}

bool isStale(const DriveError& error) {
    const auto* call = std::get_if<CallFailure>(&error);
    return call && call->is<CallFailure::Stale>();
}

}  // namespace DriveErrors
}  // namespace parlendo
