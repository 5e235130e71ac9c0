#include <gtest/gtest.h>

#include "foundation/PlatformWords.h"

namespace parlendo {
namespace {

using PlatformWords::render;

TEST(PlatformWordsTest, KeySymbolsBecomeKeyNamesWithParticlesThatAgree) {
    EXPECT_EQ(render("● 감지 중 — 글을 선택하고 ⌥⌘ 를 같이 누르세요"),
              "● 감지 중 — 글을 선택하고 Alt+Ctrl을 같이 누르세요");
    EXPECT_EQ(render("감지 켜기  (⌥ 두 번)"), "감지 켜기  (Alt 두 번)");
    EXPECT_EQ(render("⌘K · ⌘Return"), "Ctrl+K · Ctrl+Return");
    EXPECT_EQ(render("글을 선택하고 ⌥ 와 ⌘ 를 같이 눌렀다 떼면"),
              "글을 선택하고 Alt와 Ctrl을 같이 눌렀다 떼면");
    EXPECT_EQ(render("AI 톡 켜짐 — 글을 선택하고 ⌘ 를 누른 채 C 두 번"),
              "AI 톡 켜짐 — 글을 선택하고 Ctrl을 누른 채 C 두 번");
    EXPECT_EQ(render("⌥ 를 두 번 눌러 감지를 켜보세요."), "Alt를 두 번 눌러 감지를 켜보세요.");
    // Ctrl ends in ㄹ: 으로 becomes 로 after it, the other particles keep their consonant form.
    EXPECT_EQ(render("⌘ 으로, ⌘은, ⌘가 눌리면"), "Ctrl로, Ctrl은, Ctrl이 눌리면");
    // A key name joined to a key that follows takes no particle of its own.
    EXPECT_EQ(render("⌘C 를 두 번"), "Ctrl+C 를 두 번");
    // A syllable that only begins a word is no particle.
    EXPECT_EQ(render("⌘ 이동"), "Ctrl 이동");
    EXPECT_EQ(render("plain text"), "plain text");
}

TEST(PlatformWordsTest, MacBecomesThisComputerWithFittingParticles) {
    EXPECT_EQ(render("이 Mac에 남은 데이터"), "이 컴퓨터에 남은 데이터");
    EXPECT_EQ(render("이 Mac의 데이터 지우기…"), "이 컴퓨터의 데이터 지우기…");
    EXPECT_EQ(render("Mac을 켤 때 자동으로 시작"), "컴퓨터를 켤 때 자동으로 시작");
    EXPECT_EQ(render("이 Mac 은 안전해요"), "이 컴퓨터 는 안전해요");
    EXPECT_EQ(render("Mac으로 옮기기, Mac과 함께"), "컴퓨터로 옮기기, 컴퓨터와 함께");
    EXPECT_EQ(render("Mac이 꺼지면"), "컴퓨터가 꺼지면");
    EXPECT_EQ(render("이 Mac이에요"), "이 컴퓨터이에요");
    // Only the whole word.
    EXPECT_EQ(render("MacBook iMac Macro"), "MacBook iMac Macro");
    EXPECT_EQ(render("Mac"), "컴퓨터");
}

TEST(PlatformWordsTest, PlacesOfTheMacBecomeTheDesktops) {
    EXPECT_EQ(render("⚠️ 손쉬운 사용 권한 필요…"),
              "⚠️ 접근성 권한 필요…");
    EXPECT_EQ(render("이 안내는 메뉴 막대의 PARLENDO 아이콘 → 「개인정보 안내 보기…」에서"),
              "이 안내는 패널의 PARLENDO 아이콘 → 「개인정보 안내 보기…」에서");
    EXPECT_EQ(render("메뉴 막대를 보세요, 메뉴 막대가 숨으면, 메뉴 막대로"),
              "패널을 보세요, 패널이 숨으면, 패널로");
    EXPECT_EQ(render("손쉬운 사용 권한은 시스템 설정 → 개인정보 보호 및 보안 → 손쉬운 사용의 "
                     "목록에서 PARLENDO 를 「–」로 지울 수 있어요."),
              "접근성 권한은 설정 → 접근성의 목록에서 PARLENDO 를 「–」로 지울 수 있어요.");
    EXPECT_EQ(render("시스템 설정 → 일반 → 로그인 항목에서 PARLENDO 를 직접 켜거나 끌 수 있어요."),
              "데스크톱 설정의 자동 시작 목록에서 PARLENDO 를 직접 켜거나 끌 수 있어요.");
    // The system's own setting, followed by the theme, is no place of the Mac.
    EXPECT_EQ(render("시스템 설정 따르기"), "시스템 설정 따르기");
}

// Addresses, titles and names put into a text are the user's, not the program's words.
TEST(PlatformWordsTest, ValuesPutIntoATextComeOutAsTheyWere) {
    using PlatformWords::value;
    EXPECT_EQ(render(value("Mac.Kim@example.com") + " 의 링크예요. ⌥ 를 두 번"),
              "Mac.Kim@example.com 의 링크예요. Alt를 두 번");
    EXPECT_EQ(render("이 Mac에서 " + value("Mac 손쉬운 사용 ⌘") + "을 열어요"),
              "이 컴퓨터에서 Mac 손쉬운 사용 ⌘을 열어요");
    // A value holding isolates of its own ends with its own mark; one never closed runs to the
    // end of the text.
    EXPECT_EQ(render(value("a\u2068Mac\u2069b") + " Mac"), "a\u2068Mac\u2069b 컴퓨터");
    EXPECT_EQ(render("Mac \u2068Mac"), "컴퓨터 Mac");
    EXPECT_EQ(render(value("")), "");
}

}  // namespace
}  // namespace parlendo
