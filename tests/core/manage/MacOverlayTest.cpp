#include <gtest/gtest.h>

#include "manage/BridgeShim.h"
#include "manage/MacOverlay.h"

namespace parlendo {
namespace {

namespace MO = MacOverlay;

TEST(MacOverlay, LiteralsAreValidStringLiterals) {
    EXPECT_EQ(MO::literal("a\"b\\c\nd"), R"("a\"b\\c\nd")");
    EXPECT_EQ(MO::literal("한국어"), "\"한국어\"");
    EXPECT_EQ(MO::literal(std::string("\xff")), "\"\"");
    EXPECT_NE(MO::leaveScript(MO::sessionEndedMessage)
                  .find("leaveApp(\"로그아웃되었습니다. 다시 로그인해 주세요.\")"),
              std::string::npos);
    // A message cannot break out of its literal.
    EXPECT_NE(MO::leaveScript("\");evil();(\"").find(R"(leaveApp("\");evil();(\""))"),
              std::string::npos);
}

TEST(MacOverlay, AssembledScriptsHoldNoPlaceholder) {
    const std::string overlay = MO::script();
    EXPECT_EQ(overlay.find("/*PHRASES*/"), std::string::npos);
    EXPECT_EQ(overlay.find("/*RENAME*/"), std::string::npos);
    EXPECT_NE(overlay.find(R"(["이 PC","이 Mac"])"), std::string::npos);
    EXPECT_NE(overlay.find(R"(button.document-open[data-focus^=\"open:source:\"])"),
              std::string::npos);
    for (ThemeMode mode : {ThemeMode::light, ThemeMode::dark}) {
        const std::string seed = MO::themeSeed(mode);
        EXPECT_EQ(seed.find("/*MODE*/"), std::string::npos);
        EXPECT_NE(seed.find(std::string("var mode = '") + toString(mode) + "';"),
                  std::string::npos);
    }
    EXPECT_EQ(MO::themeScript(ThemeMode::dark),
              "(function(m){if(typeof window.__prlTheme==='function')window.__prlTheme(m);"
              "try{if(typeof applyAppTheme==='function'&&appTheme!==m){appTheme=m;"
              "themeRevision++;applyAppTheme();return true;}}catch(_){}return false;})('dark')");
    EXPECT_NE(MO::linuxScript().find("phrases:[]"), std::string::npos);
    EXPECT_EQ(MO::keys.size(), 8u);
    EXPECT_EQ(MO::phrases.size(), 24u);
    // The long sentences are replaced before the bare key names they contain.
    EXPECT_STREQ(MO::phrases[13].before,
                 "글을 드래그하고 왼쪽 Ctrl 과 왼쪽 Alt 를 같이 눌렀다 떼면 단어 팝업");
    EXPECT_STREQ(MO::phrases[18].before, "왼쪽 Ctrl");
}

TEST(MacOverlay, PushFollowsTheSignInChange) {
    EXPECT_EQ(MO::push(true, true, false), std::nullopt);
    EXPECT_EQ(MO::push(false, false, false), std::nullopt);
    EXPECT_EQ(MO::push(true, false, true), std::nullopt);
    EXPECT_EQ(MO::push(false, true, true), std::nullopt);
    EXPECT_EQ(MO::push(true, false, false),
              (MO::Push{"leave", MO::leaveScript(MO::sessionEndedMessage)}));
    EXPECT_EQ(MO::push(false, true, false), (MO::Push{"reenter", MO::reenterScript()}));
}

TEST(BridgeShim, CarriesItsNonceAsALiteral) {
    const std::string nonce = BridgeShim::makeNonce();
    EXPECT_EQ(nonce.size(), 72u);
    EXPECT_NE(nonce, BridgeShim::makeNonce());
    const std::string shim = BridgeShim::script(nonce);
    EXPECT_NE(shim.find("var nonce = \"" + nonce + "\";"), std::string::npos);
    EXPECT_NE(shim.find("name === 'then'"), std::string::npos);
}

}  // namespace
}  // namespace parlendo
