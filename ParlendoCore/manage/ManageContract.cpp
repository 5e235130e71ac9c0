#include "manage/ManageContract.h"

#include "foundation/Log.h"
#include "foundation/Overloaded.h"

#include <cmath>

namespace parlendo::ManageContract {

Json failure(const CallFailure& f) {
    if (f.is<CallFailure::AuthRequired>()) {
        return {{"ok", false}, {"msg", "AUTH_REAUTH_REQUIRED"}, {"error_class", "auth"}};
    }
    if (f.is<CallFailure::Stale>()) {
        return {{"ok", false},
                {"msg", "AUTH_STALE_COMPLETION"},
                {"error_class", "stale"},
                {"stale", true}};
    }
    // What went wrong, so that the page can say it: the server's refusal with its status, an
    // answer too late, no connection, a quota, an answer of the wrong shape.
    Json reply = {{"ok", false}, {"msg", "REQUEST_FAILED"}, {"error_class", "request"}};
    std::visit(overloaded{
                   [&](const CallFailure::Rejected& r) {
                       reply["failure"] = "rejected";
                       reply["status"] = r.status;
                   },
                   [&](const CallFailure::RejectedDetail& r) {
                       reply["failure"] = "rejected";
                       reply["status"] = r.rejection.status;
                   },
                   [](const CallFailure::AuthRequired&) {},
                   [](const CallFailure::Stale&) {},
                   [&](const CallFailure::Timeout&) { reply["failure"] = "timeout"; },
                   [&](const CallFailure::Unavailable&) { reply["failure"] = "unavailable"; },
                   [&](const CallFailure::Quota&) { reply["failure"] = "quota"; },
                   [&](const CallFailure::BadShape&) { reply["failure"] = "bad_shape"; },
               },
               f.value());
    return reply;
}

std::string reason(const CallFailure& f) {
    if (const auto* rejected = f.as<CallFailure::Rejected>()) {
        return "rejected_" + std::to_string(rejected->status);
    }
    if (const auto* detail = f.as<CallFailure::RejectedDetail>()) {
        return "rejected_" + CallFailure::safeCode(detail->rejection.code);
    }
    return f.logReason();
}

std::optional<std::string> writeErrorCode(const CallFailure& f) {
    return std::visit(
        overloaded{
            [](const CallFailure::Rejected&) -> std::optional<std::string> {
                return WriteErrorCode::rejected;
            },
            [](const CallFailure::RejectedDetail& d) -> std::optional<std::string> {
                return d.rejection.code == "PGRST202" ? WriteErrorCode::contractUnavailable
                                                      : WriteErrorCode::rejected;
            },
            [](const CallFailure::AuthRequired&) -> std::optional<std::string> {
                return std::nullopt;
            },
            [](const CallFailure::Stale&) -> std::optional<std::string> { return std::nullopt; },
            [](const CallFailure::Timeout&) -> std::optional<std::string> {
                return WriteErrorCode::unknown;
            },
            [](const CallFailure::Unavailable&) -> std::optional<std::string> {
                return WriteErrorCode::unknown;
            },
            [](const CallFailure::Quota&) -> std::optional<std::string> {
                return WriteErrorCode::unknown;
            },
            [](const CallFailure::BadShape&) -> std::optional<std::string> {
                return WriteErrorCode::unknown;
            },
        },
        f.value());
}

Json writeFailure(const std::string& code, const Json& save) {
    Json copy = save.is_object() ? save : Json::object();
    copy["error_code"] = code;
    const std::string message =
        code == WriteErrorCode::contractUnavailable ? code : std::string("SAVE_NOT_CONFIRMED");
    return {{"ok", false}, {"msg", message}, {"error_class", "save"}, {"save", std::move(copy)}};
}

Json writeFailure(const CallFailure& f, const Json& save) {
    if (auto code = writeErrorCode(f)) {
        return writeFailure(*code, save);
    }
    return failure(f);
}

void writing(WriteBody body, Completion<void(BridgeReply)> completion) {
    body([completion = std::move(completion)](Result<Json, WriteError> result) mutable {
        if (result) {
            completion(BridgeReply::ok(std::move(*result)));
            return;
        }
        std::visit(
            overloaded{
                [&](const WriteError::Writer& w) {
                    Log::write("manage", "쓰기 실패 reason=" + w.reason);
                    completion(BridgeReply::custom(writeFailure(w.writeErrorCode, Json::object())));
                },
                [&](const CallFailure& f) {
                    if (auto code = writeErrorCode(f)) {
                        Log::write("manage", "쓰기 실패 reason=" + reason(f));
                        completion(BridgeReply::custom(writeFailure(*code, Json::object())));
                    } else {
                        completion(BridgeReply::failed(f));
                    }
                },
            },
            result.error().value());
    });
}

BridgeReply reply(const Json& object) {
    return BridgeReply::custom(object);
}

std::optional<bool> boolean(const Json* value) {
    if (value && value->is_boolean()) {
        return value->get<bool>();
    }
    return std::nullopt;
}

std::optional<double> number(const Json* value) {
    if (!value || !value->is_number()) {
        return std::nullopt;
    }
    double d = value->get<double>();
    if (!std::isfinite(d)) {
        return std::nullopt;
    }
    return d;
}

BridgeReply studySaveReply(bool confirmed, const std::optional<Json>& evidence, bool stale,
                           bool authRequired, const std::optional<std::string>& errorCode,
                           Json screen) {
    if (confirmed) {
        return BridgeReply::ok(evidence && !evidence->is_null() ? *evidence : Json::object());
    }
    if (stale) {
        return BridgeReply::failed(CallFailure::stale());
    }
    if (screen.is_object()) {
        screen.erase("commit_evidence");
    }
    Json reply = authRequired
                     ? failure(CallFailure::authRequired())
                     : writeFailure(errorCode.value_or(WriteErrorCode::unknown), Json::object());
    reply["save"] = std::move(screen);
    return BridgeReply::custom(std::move(reply));
}

Json signOut(const LogoutOutcome& outcome) {
    const bool revoked = outcome.remoteRevoked == true;
    return {
        {"credentials_absent_verified", outcome.storeCleared},
        {"remote_refresh_revoke_result", revoked ? "VERIFIED" : "UNKNOWN"},
        {"next_launch_restore_protection",
         outcome.storeCleared || revoked ? "VERIFIED" : "UNKNOWN"},
        {"cleanup_incomplete", !outcome.storeCleared},
        {"work_stopped", outcome.workStopped},
        {"operations_drained", outcome.operationsDrained},
        {"scope", "local"},
        {"account_generation", outcome.accountGeneration},
    };
}

}  // namespace parlendo::ManageContract
