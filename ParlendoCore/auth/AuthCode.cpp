#include "auth/AuthCode.h"

#include "foundation/Overloaded.h"

#include <string>
#include <utility>

namespace parlendo {

AccountError::AccountError(std::optional<std::string> message_, std::string code_)
    : code(std::move(code_)) {
    if (message_) {
        message = std::move(*message_);
    } else {
        message = AuthCode::text(code).value_or(defaultMessage);
    }
}

namespace AuthCode {
namespace {

struct Entry {
    std::string_view code;
    const char* message;
};

constexpr Entry table[] = {
    {loginFailed, "이메일 또는 비밀번호가 맞지 않아요."},
    {emailNotConfirmed,
     "메일 인증이 아직 끝나지 않았어요. 받은 메일(스팸함 포함)의 [이메일 "
     "인증하기] 버튼을 눌러 주세요."},
    {networkUnavailable, "서버에 연결하지 못했어요. 인터넷 연결을 확인해 주세요."},
    {reauthRequired, "로그인이 필요해요. 다시 로그인해 주세요."},
    {signupWeakPassword,
     "흔하거나 유출된 적 있는 비밀번호라 쓸 수 없어요. 다른 곳에서 안 쓰는 "
     "긴 비밀번호로 해 주세요 (예: 단어 3~4개 + 숫자)"},
    {signupEmailExists, "이미 가입된 메일이에요. 로그인해 주세요."},
    {signupEmailInvalid, "이메일 주소를 확인해 주세요."},
    {signupFailed, "회원가입하지 못했어요. 잠시 후 다시 시도해 주세요."},
    {emailRateLimit, "인증 메일을 너무 자주 요청했어요. 잠시 후 다시 시도해 주세요."},
    {requestRateLimit, "요청이 너무 많아요. 잠시 후 다시 시도해 주세요."},
    {resendFailed, "인증 메일을 다시 보내지 못했어요. 잠시 후 다시 시도해 주세요."},
    {deleteWrongPassword, "비밀번호가 맞지 않아요."},
    {deleteRateLimited, "잠시 후 다시 시도해 주세요."},
    {deleteNoResponse,
     "응답을 받지 못했어요. 계정이 이미 삭제됐을 수 있어요. 다시 로그인해 보세요."},
    {deleteFailed, "계정을 삭제하지 못했어요. 잠시 후 다시 시도해 주세요."},
    {passwordChangeInterrupted,
     "비밀번호를 바꾸는 사이에 로그아웃됐어요. 재설정 메일의 링크를 다시 눌러 주세요."},
};

// The statuses that mean the service is unreachable behind a proxy or load balancer.
bool gatewayStatus(int status) {
    return status == 502 || status == 503 || status == 504 || (status >= 520 && status <= 529);
}

AccountError withCode(const char* code) {
    return AccountError(std::nullopt, code);
}

}  // namespace

std::optional<std::string> text(std::string_view code) {
    for (const auto& entry : table) {
        if (entry.code == code) {
            return std::string(entry.message);
        }
    }
    return std::nullopt;
}

AccountError signIn(const AuthFailure& failure) {
    return std::visit(
        overloaded{
            [](const AuthFailure::Rejected& r) {
                return withCode(r.code == "email_not_confirmed" ? emailNotConfirmed : loginFailed);
            },
            [](const AuthFailure::Server& s) {
                if (gatewayStatus(s.status)) {
                    return withCode(networkUnavailable);
                }
                return AccountError("서버 오류 (" + std::to_string(s.status) + ")", loginFailed);
            },
            [](const AuthFailure::Network&) { return withCode(networkUnavailable); },
            [](const AuthFailure::ConfirmedInvalid&) {
                return AccountError("세션이 만료됐어요. 다시 로그인해 주세요.", loginFailed);
            },
            [](const AuthFailure::RateLimited&) {
                return AccountError("요청이 너무 잦아요. 잠시 뒤 다시 해주세요.", loginFailed);
            },
            [](const AuthFailure::BadResponse&) {
                return AccountError("서버 응답을 이해하지 못했어요.", loginFailed);
            },
            [](const AuthFailure::Superseded&) { return withCode(loginFailed); },
        },
        failure.value());
}

AccountError mail(const AuthFailure& failure, const std::string& fallback) {
    const bool signUp = fallback == signupFailed;
    std::string code = std::visit(
        overloaded{
            [&](const AuthFailure::Rejected& r) -> std::string {
                if (r.code == "over_email_send_rate_limit") {
                    return emailRateLimit;
                }
                if (r.code == "over_request_rate_limit") {
                    return requestRateLimit;
                }
                if (signUp && r.code == "weak_password") {
                    return signupWeakPassword;
                }
                if (signUp && (r.code == "user_already_exists" || r.code == "email_exists")) {
                    return signupEmailExists;
                }
                if (r.code == "email_address_invalid" || r.code == "validation_failed") {
                    return signupEmailInvalid;
                }
                return fallback;
            },
            [&](const AuthFailure::Server& s) -> std::string {
                return gatewayStatus(s.status) ? std::string(networkUnavailable) : fallback;
            },
            [](const AuthFailure::Network&) -> std::string { return networkUnavailable; },
            [&](const AuthFailure::ConfirmedInvalid&) { return fallback; },
            [](const AuthFailure::RateLimited&) -> std::string { return emailRateLimit; },
            [&](const AuthFailure::BadResponse&) { return fallback; },
            [&](const AuthFailure::Superseded&) { return fallback; },
        },
        failure.value());
    return AccountError(std::nullopt, std::move(code));
}

}  // namespace AuthCode
}  // namespace parlendo
