#pragma once

#include "auth/AccountTypes.h"
#include "foundation/Completion.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace parlendo {

// A modal alert of the account module, with the texts the user reads. The alert port shows it
// after bringing the application forward and answers, on the main thread, the index of the
// button pressed, or `closedButton` when the alert is closed without one (so closing a question
// never takes its first, acting button).
struct AccountAlert {
    std::string message;
    std::string informative;
    // In order. Empty: one "확인" button.
    std::vector<std::string> buttons;
    bool warning = false;
    int closedButton = 0;
    // The button Return takes.
    int defaultButton = 0;
    // A button that acts only on a deliberate choice: the alert does not take the keyboard from
    // the window the user is typing in, and for its first moments on screen the button is
    // inactive and keys do nothing, so a key press meant for something else cannot choose it.
    std::optional<int> deliberateButton = std::nullopt;
    bool operator==(const AccountAlert&) const = default;

    using Port = std::function<void(AccountAlert alert, Completion<void(int button)> answer)>;

    static AccountAlert logoutQuestion();
    static AccountAlert cleanupQuestion();
    // An auth-callback link that reports an error or lacks what it needs.
    static AccountAlert linkFailed();
    // A recovery link whose token the server refused: the current login is unchanged.
    static AccountAlert recoveryRefused();
    static AccountAlert recoveryQuestion(const RecoveryCandidate& candidate);
    static AccountAlert adoptFailed();
    static AccountAlert passwordChanged(bool profileReady);
};

// The short notices of the account module (shown through the environment's notice callback) and
// the notices of the login window.
namespace AccountNotices {

inline constexpr const char* sessionExpired = "세션이 만료됐어요 · 다시 로그인해 주세요";
inline constexpr double sessionExpiredSeconds = 3.0;
inline constexpr const char* loggedIn = "로그인됐어요 · ⌥ 두 번으로 감지를 켜세요";
inline constexpr double loggedInSeconds = 2.5;
inline constexpr const char* cleanedUp = "이 Mac에 남은 계정 정보를 정리했어요.";
inline constexpr const char* cleanupFailed =
    "정리하지 못했어요. 아무것도 지우지 않았어요. 다시 로그인해 보세요.";
// After a sign-out whose store did not confirm that the login was removed (the manage page says
// the same).
inline constexpr const char* loginNotCleared =
    "로그아웃했어요. 다만 저장된 로그인 정보를 지웠는지 확인하지 못했어요. 앱을 다시 켠 뒤 "
    "확인해 주세요.";
inline constexpr const char* mailConfirmed =
    "메일 인증이 끝났어요. 가입한 이메일과 비밀번호로 로그인해 주세요.";

}  // namespace AccountNotices
}  // namespace parlendo
