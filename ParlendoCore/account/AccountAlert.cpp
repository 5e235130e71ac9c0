#include "account/AccountAlert.h"

#include "foundation/PlatformWords.h"

namespace parlendo {

AccountAlert AccountAlert::logoutQuestion() {
    return {"로그아웃할까요?",
            "다시 쓰려면 이메일과 비밀번호로 로그인해야 해요.",
            {"로그아웃", "취소"},
            false,
            1};
}

AccountAlert AccountAlert::cleanupQuestion() {
    return {"계정이 삭제된 것으로 보여요",
            "이 Mac에 남은 이 계정의 정보(로그인 정보·프로젝트 PDF 위치·설정)를 정리할까요?\n"
            "비밀번호를 잘못 입력한 거라면 [아니요]를 누르고 다시 로그인해 주세요.",
            {"아니요", "정리"}};
}

AccountAlert AccountAlert::linkFailed() {
    return {"링크를 쓸 수 없어요",
            "만료됐거나 이미 쓴 링크예요. 로그인 창에서 「비밀번호를 잊으셨나요?」로 메일을 다시 "
            "받아 주세요.",
            {}};
}

AccountAlert AccountAlert::recoveryRefused() {
    return {
        "링크를 쓸 수 없어요",
        "만료됐거나 이미 쓴 링크예요. 지금 로그인 상태는 그대로예요.\n로그인 창에서 「비밀번호를 "
        "잊으셨나요?」로 메일을 다시 받아 주세요.",
        {}};
}

AccountAlert AccountAlert::recoveryQuestion(const RecoveryCandidate& candidate) {
    // The addresses are shown exactly as they are: they tell the two accounts apart.
    const std::string name =
        candidate.email ? PlatformWords::value(*candidate.email) : std::string("이 계정");
    std::string informative = name + " 의 비밀번호 재설정 링크예요.\n";
    if (candidate.replacesAccount) {
        const std::string current = candidate.replacesEmail
                                        ? PlatformWords::value(*candidate.replacesEmail)
                                        : std::string("다른 계정");
        informative += "\n지금은 " + current +
                       "(으)로 로그인돼 있어요. 계속하면 그 계정에서 로그아웃되고 " + name +
                       "(으)로 바뀝니다.\n";
    }
    informative += "직접 요청한 메일이 아니면 [취소]를 눌러 주세요.";
    // A link anyone can send must not switch the account on a stray key press.
    return {"비밀번호를 다시 정할까요?", std::move(informative), {"계속", "취소"}, true, 1, 1, 0};
}

AccountAlert AccountAlert::adoptFailed() {
    return {"링크로 들어가지 못했어요",
            "잠시 뒤 메일의 링크를 다시 눌러 주세요. 안 되면 재설정 메일을 다시 받아 주세요.",
            {}};
}

AccountAlert AccountAlert::passwordChanged(bool profileReady) {
    return {"비밀번호를 바꿨어요",
            profileReady ? "지금 바로 쓸 수 있어요. ⌥ 를 두 번 눌러 감지를 켜보세요."
                         : "사용할 이름을 아직 정하지 못했어요. 메뉴 막대의 「관리 창 열기…」에서 "
                           "이름을 정하면 바로 쓸 수 있어요.",
            {}};
}

}  // namespace parlendo
