#include <gtest/gtest.h>

#include "foundation/PlatformWords.h"

namespace parlendo {
namespace {

using PlatformWords::render;

TEST(PlatformWordsTest, KeySymbolsBecomeKeyNames) {
    EXPECT_EQ(render("● 감지 중 — 글을 선택하고 ⌥⌘ 를 같이 누르세요"),
              "● 감지 중 — 글을 선택하고 Alt+Ctrl 를 같이 누르세요");
    EXPECT_EQ(render("감지 켜기  (⌥ 두 번)"), "감지 켜기  (Alt 두 번)");
    EXPECT_EQ(render("⌘K · ⌘Return"), "Ctrl+K · Ctrl+Return");
    EXPECT_EQ(render("글을 선택하고 ⌥ 와 ⌘ 를 같이 눌렀다 떼면"),
              "글을 선택하고 Alt 와 Ctrl 를 같이 눌렀다 떼면");
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

}  // namespace
}  // namespace parlendo
