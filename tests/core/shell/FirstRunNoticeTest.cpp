#include "shell/FirstRunNotice.h"

#include "LogCapture.h"
#include "TempDir.h"
#include "foundation/Json.h"
#include "foundation/SHA256.h"

#include <gtest/gtest.h>

namespace parlendo {
namespace {

using FirstRunNotice::Section;
using testing::LogCapture;
using testing::TempDir;

TEST(FirstRunNoticeTest, ParsesTitleSectionsAndBodies) {
    const auto parsed = FirstRunNotice::parse("# T\n\nintro\n## A\nx\n## B");
    EXPECT_EQ(parsed.title, "T");
    EXPECT_EQ(parsed.sections, (std::vector<Section>{{"", "intro"}, {"A", "x"}, {"B", ""}}));

    // Windows line ends read the same; a "# " line after a heading is body text of it.
    const auto crlf = FirstRunNotice::parse("# T\r\n\r\nintro\r\n## A \t\r\nx\r\n# late\r\n");
    EXPECT_EQ(crlf.title, "T");
    EXPECT_EQ(crlf.sections, (std::vector<Section>{{"", "intro"}, {"A", "x\n# late"}}));

    // No title; blank runs between body lines are kept inside, trimmed at the ends.
    const auto plain = FirstRunNotice::parse("\n\n첫 줄\n\n- 항목 **강조**\n\n");
    EXPECT_EQ(plain.title, "");
    EXPECT_EQ(plain.sections, (std::vector<Section>{{"", "첫 줄\n\n- 항목 **강조**"}}));
    EXPECT_TRUE(FirstRunNotice::parse("").sections.empty());
}

TEST(FirstRunNoticeTest, FingerprintCoversTheFixedSentenceAndEveryCharacter) {
    const std::string markdown = "# 안내\n본문";
    const std::string fingerprint = FirstRunNotice::fingerprint(markdown);
    EXPECT_EQ(fingerprint.size(), 64u);
    EXPECT_EQ(fingerprint, SHA256::hex(std::string(FirstRunNotice::windowTitleSentence) +
                                       std::string(1, '\0') + markdown));
    EXPECT_NE(fingerprint, FirstRunNotice::fingerprint("# 안내\n본문."));
    // An empty notice still has the sentence's fingerprint, so it is shown.
    EXPECT_NE(FirstRunNotice::fingerprint(""), SHA256::hex(""));
}

TEST(FirstRunNoticeTest, AcknowledgementIsRecordedAndAChangedTextAsksAgain) {
    LogCapture log;
    TempDir dir;
    FirstRunState state(dir.path() / "PARLENDO");
    const auto first = FirstRunNotice::fingerprint("one");
    EXPECT_TRUE(state.needsNotice(first));

    ASSERT_TRUE(state.acknowledge(first, 1'740'821'400.5));
    EXPECT_FALSE(state.needsNotice(first));
    EXPECT_TRUE(state.needsNotice(FirstRunNotice::fingerprint("one!")));
    const auto record = json::parse(TempDir::read(state.file()));
    ASSERT_TRUE(record);
    EXPECT_EQ(*record, (Json{{"fingerprint", first}, {"seen_at", "2025-03-01T09:30:00Z"}}));
    // Keys are written sorted, compactly.
    EXPECT_EQ(TempDir::read(state.file()).rfind("{\"fingerprint\":", 0), 0u);
}

TEST(FirstRunNoticeTest, ACorruptRecordIsReportedAndReplaced) {
    LogCapture log;
    TempDir dir;
    FirstRunState state(dir.path());
    const auto fingerprint = FirstRunNotice::fingerprint("text");
    for (const char* bad : {"not json", "[]", "{\"fingerprint\": 7}", "\xff\xfe{"}) {
        dir.write(FirstRunState::fileName, bad);
        EXPECT_TRUE(state.needsNotice(fingerprint)) << bad;
    }
    EXPECT_EQ(log.count("notice", "기록을 읽지 못함"), 4u);
    EXPECT_TRUE(state.acknowledge(fingerprint, 0));
    EXPECT_FALSE(state.needsNotice(fingerprint));
}

TEST(FirstRunNoticeTest, AFailedWriteIsLoggedAndAnsweredFalse) {
    LogCapture log;
    TempDir dir;
    // A file where the folder should be.
    dir.write("blocked", "");
    FirstRunState state(dir.path() / "blocked");
    EXPECT_FALSE(state.acknowledge("abc", 0));
    EXPECT_EQ(log.count("notice", "기록 실패 "), 1u);
}

TEST(FirstRunNoticeTest, AMissingResourceReadsAsEmptyAndIsLogged) {
    LogCapture log;
    TempDir dir;
    EXPECT_EQ(FirstRunNotice::read(std::nullopt), "");
    EXPECT_EQ(FirstRunNotice::read(dir.path() / "missing.md"), "");
    EXPECT_EQ(log.count("notice", "고지 파일이 번들에 없다"), 2u);
    EXPECT_EQ(FirstRunNotice::read(dir.write("n.md", "# 제목")), "# 제목");
}

}  // namespace
}  // namespace parlendo

namespace parlendo {
namespace {

using FirstRunNotice::Span;

TEST(FirstRunNoticeTest, BodiesShowListsAndEmphasis) {
    EXPECT_EQ(FirstRunNotice::spans("- **선택한 글**: 읽어요\n둘째 *요약* 값_x"),
              (std::vector<Span>{{"• ", false, false, true},
                                 {"선택한 글", true, false, false},
                                 {": 읽어요", false, false, false},
                                 {"\n", false, false, false},
                                 {"둘째 ", false, false, false},
                                 {"요약", false, true, false},
                                 {" 값_x", false, false, false}}));
    // Unmatched markers stay as they are.
    EXPECT_EQ(FirstRunNotice::spans("a ** b * c"),
              (std::vector<Span>{{"a ** b * c", false, false, false}}));
    EXPECT_TRUE(FirstRunNotice::spans("").empty());
}

}  // namespace
}  // namespace parlendo
