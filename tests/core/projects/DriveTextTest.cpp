#include "foundation/SHA256.h"
#include "projects/DriveFailure.h"
#include "projects/DriveText.h"

#include <gtest/gtest.h>

namespace parlendo {
namespace {

std::string repeat(const std::string& piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) {
        out += piece;
    }
    return out;
}

TEST(DriveTextTest, BoundedTrimsAndCountsScalars) {
    const Json padded("  abc  ");
    EXPECT_EQ(DriveText::bounded(&padded, 40), "abc");
    const Json blank("   \n\t");
    EXPECT_EQ(DriveText::bounded(&blank, 40), std::nullopt);
    const Json number(5);
    EXPECT_EQ(DriveText::bounded(&number, 40), std::nullopt);
    EXPECT_EQ(DriveText::bounded(nullptr, 40), std::nullopt);

    const Json korean40(repeat("가", 40));
    EXPECT_EQ(DriveText::bounded(&korean40, 40), repeat("가", 40));
    const Json latin41(repeat("a", 41));
    EXPECT_EQ(DriveText::bounded(&latin41, 40), std::nullopt);
    // A combining accent is a scalar of its own: 39 letters + "e" + U+0301 is 41 scalars.
    const Json combining(repeat("a", 39) + "e\xCC\x81");
    EXPECT_EQ(DriveText::bounded(&combining, 40), std::nullopt);
}

TEST(DriveTextTest, SnippetJoinsWordsOnOneLineAndCuts) {
    const Json spaced("   one\n\ntwo\tthree  ");
    EXPECT_EQ(DriveText::snippet(&spaced), "one two three");
    const Json ideographic("하나\u3000둘\u00a0셋");
    EXPECT_EQ(DriveText::snippet(&ideographic), "하나 둘 셋");
    const Json long81(repeat("가", 81));
    EXPECT_EQ(DriveText::snippet(&long81), repeat("가", 80));
    // The cut counts the joining spaces: 79 letters, a space and the next word's first letter.
    const Json words(repeat("a", 79) + "   bcd");
    EXPECT_EQ(DriveText::snippet(&words), repeat("a", 79) + " ");
    const Json number(3);
    EXPECT_EQ(DriveText::snippet(&number), "");
    EXPECT_EQ(DriveText::snippet(nullptr), "");
}

TEST(DriveTextTest, LocalPDFPaths) {
    EXPECT_TRUE(DriveText::isLocalPDFPath("/home/me/Paper.PDF"));
    EXPECT_TRUE(DriveText::isLocalPDFPath("/a.pdf"));
    EXPECT_FALSE(DriveText::isLocalPDFPath("//server/share/a.pdf"));
    EXPECT_FALSE(DriveText::isLocalPDFPath("docs/a.pdf"));
    EXPECT_FALSE(DriveText::isLocalPDFPath("/home/me/a.pdf.zip"));
    EXPECT_FALSE(DriveText::isLocalPDFPath(static_cast<const Json*>(nullptr)));
    const Json number(1);
    EXPECT_FALSE(DriveText::isLocalPDFPath(&number));
}

TEST(DriveTextTest, FileNamesAreComposedCleanedAndCut) {
    EXPECT_EQ(DriveText::fileName(""), "document.pdf");
    EXPECT_EQ(DriveText::fileName("/"), "/");
    EXPECT_EQ(DriveText::fileName("/docs/report.pdf"), "report.pdf");
    EXPECT_EQ(DriveText::fileName("/docs/folder/"), "folder");
    // "한" decomposed into its jamo comes back as one syllable.
    EXPECT_EQ(DriveText::fileName("/x/\u1112\u1161\u11ab.pdf"), "한.pdf");
    EXPECT_EQ(DriveText::fileName(std::string("/x/a\0b.pdf", 10)), "ab.pdf");
    const std::string longName = repeat("가", 246) + ".pdf";  // 250 scalars
    EXPECT_EQ(DriveText::fileName("/x/" + longName), repeat("가", 200));
}

TEST(DriveTextTest, FingerprintJoinsPagesWithFormFeeds) {
    EXPECT_EQ(DriveText::sha({}), SHA256::hex(""));
    EXPECT_EQ(DriveText::sha({"a", "b"}), SHA256::hex("a\fb"));
    EXPECT_EQ(DriveText::sha({"only"}), SHA256::hex("only"));
    EXPECT_NE(DriveText::sha({"ab"}), DriveText::sha({"a", "b"}));
}

TEST(DriveTextTest, HasTextCountsTrimmedScalarsAcrossPages) {
    EXPECT_FALSE(DriveText::hasText({}));
    EXPECT_FALSE(DriveText::hasText({repeat("a", 100), "  " + repeat("가", 99) + "\n"}));
    EXPECT_TRUE(DriveText::hasText({repeat("a", 100), "  " + repeat("가", 100) + "\n"}));
    // Inner whitespace counts, edges do not.
    EXPECT_TRUE(DriveText::hasText({"a" + repeat(" ", 198) + "b"}));
    EXPECT_FALSE(DriveText::hasText({"a" + repeat(" ", 197) + "b"}));
    EXPECT_EQ(DriveText::clean(std::string("a\0b\0", 4)), "ab");
}

TEST(DriveFailureTest, ServerFailuresMapToReasonCodes) {
    auto rejected = [](std::string code, std::string message = "") {
        return CallFailure::rejectedDetail(
            ServerRejection{400, std::move(code), std::move(message)});
    };
    const auto code = [](const CallFailure& f) {
        return DriveFailure::codeFor(f, "server_error");
    };
    EXPECT_EQ(code(rejected("P0001", "page_text_too_long")), "page_text_too_long");
    EXPECT_EQ(code(rejected("P0001", "something_else")), "server_error");
    EXPECT_EQ(code(rejected("P0001", "not_authenticated")), "auth_required");
    EXPECT_EQ(DriveFailure::codeFor(rejected("42501"), "forbidden_here"), "forbidden_here");
    EXPECT_EQ(code(rejected("23505")), "conflict");
    EXPECT_EQ(code(rejected("23503")), "auth_required");
    EXPECT_EQ(code(rejected("PGRST301")), "auth_required");
    EXPECT_EQ(code(rejected("XX000")), "server_error");
    EXPECT_EQ(code(CallFailure::rejected(500)), "server_error");
    EXPECT_EQ(code(CallFailure::authRequired()), "auth_required");
    EXPECT_EQ(code(CallFailure::timeout()), "network_unavailable");
    EXPECT_EQ(code(CallFailure::unavailable()), "network_unavailable");
    EXPECT_EQ(code(CallFailure::quota()), "quota_exceeded");
    EXPECT_EQ(code(CallFailure::badShape()), "server_error");
    EXPECT_EQ(DriveFailure::rpcCodes().size(), 12u);
}

TEST(DriveFailureTest, StaleIsDroppedAndPayloadsCarryTheScope) {
    EXPECT_EQ(DriveErrors::from(DriveError(CallFailure::stale()), "server_error"), std::nullopt);
    EXPECT_EQ(DriveErrors::from(DriveError(CallFailure::timeout()), "server_error"),
              DriveFailure("network_unavailable"));
    const DriveFailure own("quota_exceeded", "daily");
    EXPECT_EQ(DriveErrors::from(DriveError(own), "server_error"), own);
    EXPECT_EQ(own.payload(), (Json{{"error", "quota_exceeded"}, {"scope", "daily"}}));
    EXPECT_EQ(DriveFailure("not_found").payload(), (Json{{"error", "not_found"}}));
    EXPECT_NE(DriveFailure("a", "x"), DriveFailure("a"));
}

}  // namespace
}  // namespace parlendo
