#include <gtest/gtest.h>

#include "popups/MeaningView.h"

#include <string>
#include <vector>

namespace parlendo {
namespace {

using MeaningView::Label;
using Piece = MeaningView::Run;
using MeaningView::Style;

Label one(Style style, std::string text) {
    return Label{{Piece{style, std::move(text)}}, true};
}
Label setting(std::string text) {
    return Label{{Piece{Style::settingLine, std::move(text)}}, false};
}

TEST(MeaningViewTest, WordCardHeadLineSensesAndCaptions) {
    // Phonetic and Korean only: the phonetic joins the head line, the senses are numbered, and
    // nothing gets a caption.
    PopupBody body = PopupBody::word(
        "run", "← running",
        {{"phonetic", "발음", "rʌn"}, {"korean", "한글 뜻", "달리다 [v]\n\n운영하다\n"}});
    EXPECT_EQ(MeaningView::render(body, "· 단어"),
              (std::vector<Label>{
                  Label{{Piece{Style::title, "run"}, Piece{Style::note, "  ← running"},
                         Piece{Style::note, "  /rʌn/"}},
                        true},
                  setting("· 단어"),
                  one(Style::senseLine, "1. 달리다 [v]"),
                  one(Style::senseLine, "2. 운영하다"),
              }));

    // Korean and a definition: a caption over the definition only, in the setting's order.
    body = PopupBody::word("set", std::nullopt,
                           {{"definition", "정의", "[v] put"}, {"korean", "한글 뜻", "놓다"}});
    EXPECT_EQ(
        MeaningView::render(body, std::nullopt),
        (std::vector<Label>{one(Style::title, "set"), one(Style::sectionCaption, "정의"),
                            one(Style::sectionText, "[v] put"), one(Style::senseLine, "1. 놓다")}));

    // A single plain section has no caption; the phonetic section does not count as one.
    body = PopupBody::word("set", std::nullopt,
                           {{"phonetic", "발음", "sɛt"}, {"example", "예문", "· Set it."}});
    EXPECT_EQ(MeaningView::render(body, std::nullopt),
              (std::vector<Label>{
                  Label{{Piece{Style::title, "set"}, Piece{Style::note, "  /sɛt/"}}, true},
                  one(Style::sectionText, "· Set it.")}));
}

TEST(MeaningViewTest, LoadingTextAndFailureCards) {
    EXPECT_EQ(MeaningView::render(PopupBody::loading("run", "조회 중…"), "· 단어"),
              (std::vector<Label>{one(Style::title, "run"), setting("· 단어"),
                                  one(Style::note, "조회 중…")}));
    // A notice is a single body label.
    EXPECT_EQ(MeaningView::render(PopupBody::text("감지 켜짐"), std::nullopt),
              (std::vector<Label>{one(Style::bodyText, "감지 켜짐")}));
    EXPECT_EQ(MeaningView::render(PopupBody::text("번역"), "· 문장"),
              (std::vector<Label>{setting("· 문장"), one(Style::bodyText, "번역")}));
    // A failure without a title, or with an empty one, starts with the setting line or the
    // message.
    EXPECT_EQ(MeaningView::render(PopupBody::failure("", "사전에 없는 단어예요"), "· 단어"),
              (std::vector<Label>{setting("· 단어"), one(Style::note, "사전에 없는 단어예요")}));
    EXPECT_EQ(
        MeaningView::render(PopupBody::failure(std::nullopt, "로그인이 필요해요"), std::nullopt),
        (std::vector<Label>{one(Style::note, "로그인이 필요해요")}));
    EXPECT_EQ(MeaningView::render(PopupBody::failure("xyzzy", "표시할 내용이 없어요"), std::nullopt)
                  .front(),
              one(Style::title, "xyzzy"));
}

TEST(MeaningViewTest, InvalidTextIsShownAsReplacementCharacters) {
    auto labels = MeaningView::render(PopupBody::text("caf\xC3 ok"), std::string("\xFF"));
    EXPECT_EQ(labels[0].runs[0].text, "\uFFFD");
    EXPECT_EQ(labels[1].runs[0].text, "caf\uFFFD ok");
}

}  // namespace
}  // namespace parlendo
