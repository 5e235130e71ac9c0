#include "shell/ShutdownPrompt.h"

namespace parlendo::ShutdownPrompt {

const char* toString(Choice choice) {
    switch (choice) {
        case Choice::waitMore:
            return "waitMore";
        case Choice::cancel:
            return "cancel";
        case Choice::quitAnyway:
            return "quitAnyway";
    }
    return "cancel";
}

std::string message(int remaining, int unsaved) {
    std::string text = "저장 중인 것이 " + std::to_string(remaining) +
                       "건 남아 있어요. 지금 끄면 그 단어·문장이 단어장에 들어가지 않을 수 "
                       "있어요.\n인터넷 연결을 확인한 뒤 [더 기다리기]를 눌러 주세요.";
    if (unsaved >= 1) {
        text += "\n이번에 저장되지 않은 것이 " + std::to_string(unsaved) + "건 있어요.";
    }
    return text;
}

Choice choice(int button) {
    switch (button) {
        case 0:
            return Choice::waitMore;
        case 2:
            return Choice::quitAnyway;
        default:
            return Choice::cancel;
    }
}

}  // namespace parlendo::ShutdownPrompt
