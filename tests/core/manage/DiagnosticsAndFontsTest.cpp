#include <gtest/gtest.h>

#include "FakeClock.h"
#include "LogCapture.h"
#include "ManualExecutor.h"
#include "TempDir.h"
#include "manage/BridgeRouter.h"
#include "manage/DiagnosticsRoutes.h"
#include "manage/UIFonts.h"

#include <optional>

namespace parlendo {
namespace {

using testing::LogCapture;

Json call(BridgeRouter& router, const std::string& name, std::vector<Json> args = {}) {
    std::optional<Json> result;
    router.respond(name, std::move(args), [&](Json r) { result = std::move(r); });
    return result.value_or(Json());
}

TEST(Diagnostics, RecordsFiftyErrorsPerRunAndLogsOnlyThose) {
    LogCapture log;
    auto router =
        BridgeRouter::make({std::make_shared<DiagnosticsRoutes>(std::make_shared<UIErrorLog>())});
    EXPECT_EQ(call(*router, "ui_error", {"rejection", "ignored"}),
              (Json{{"ok", true}, {"data", {{"count", 1}}}}));
    EXPECT_EQ(log.messages("manage"),
              (std::vector<std::string>{"ui_js_error where=js.rejection count=1"}));

    call(*router, "ui_error");                    // no argument
    call(*router, "ui_error", {"warning"});       // another text
    call(*router, "ui_error", {Json{{"a", 1}}});  // not a text
    EXPECT_EQ(log.count("manage", "where=js.other"), 3u);
    for (int i = 5; i <= 50; ++i) {
        call(*router, "ui_error", {"error"});
    }
    EXPECT_TRUE(log.has("manage", "ui_js_error where=js.error count=50"));
    log.clear();
    EXPECT_EQ(call(*router, "ui_error", {"error"}),
              (Json{{"ok", true}, {"data", {{"dropped", true}}}}));
    EXPECT_TRUE(log.messages("manage").empty());
}

TEST(Diagnostics, WithoutALogTheCallIsNotServed) {
    LogCapture log;
    auto router = BridgeRouter::make({std::make_shared<DiagnosticsRoutes>()},
                                     std::make_shared<testing::FakeClock>());
    EXPECT_EQ(call(*router, "ui_error", {"error"})["msg"], "REQUEST_FAILED");
    EXPECT_EQ(log.messages("manage"),
              (std::vector<std::string>{"ui_error 실패 reason=not_yet_on_mac",
                                        "ui_error ok=false ms=0"}));
}

TEST(UIFonts, AcceptsOnlyPathsInsideTheVendorFolder) {
    const Json accepted = "vendor/fonts/a.woff2";
    EXPECT_EQ(UIFonts::vendorParts(&accepted),
              (std::vector<std::string>{"vendor", "fonts", "a.woff2"}));
    for (const char* refused :
         {"fonts/a.woff2", "vendor//a.woff2", "vendor/../a.woff2", "vendor/a:b.woff2",
          "/vendor/a.woff2", "vendor/a\\b", "vendor/./a", "vendor/"}) {
        const Json value = refused;
        EXPECT_EQ(UIFonts::vendorParts(&value), std::nullopt) << refused;
    }
    const Json number = 5;
    EXPECT_EQ(UIFonts::vendorParts(&number), std::nullopt);
    EXPECT_EQ(UIFonts::vendorParts(nullptr), std::nullopt);
}

TEST(UIFonts, LoadsEachUsableEntryInline) {
    testing::TempDir dir;
    dir.write("vendor/fonts/a.woff2", "abc");
    dir.write("vendor/x.TTF", std::string("\x00\xff\x10\x20", 4));
    dir.write("vendor/fonts.json", R"([
        {"path": "vendor/fonts/a.woff2", "family": "Noto", "weight": "400", "extra": 1},
        {"path": "vendor/x.TTF", "family": "Noto", "weight": "700", "style": "italic"},
        {"path": "vendor/missing.woff2", "family": "Noto", "weight": "400"},
        {"path": "vendor/fonts/a.woff2", "family": "Noto", "weight": 400},
        {"path": "../vendor/fonts/a.woff2", "family": "Noto", "weight": "400"},
        "not an object"
    ])");
    const UIFonts::Loaded loaded = UIFonts(dir.path()).load();
    ASSERT_EQ(loaded.fonts.size(), 2u);
    EXPECT_EQ(loaded.bytes, 7u);
    EXPECT_EQ(loaded.fonts[0], (Json{{"family", "Noto"},
                                     {"weight", "400"},
                                     {"style", "normal"},
                                     {"format", "woff2"},
                                     {"data", "YWJj"}}));
    EXPECT_EQ(loaded.fonts[1]["format"], "truetype");
    EXPECT_EQ(loaded.fonts[1]["style"], "italic");
    EXPECT_EQ(loaded.fonts[1]["data"], "AP8QIA==");
}

TEST(UIFonts, AnyProblemWithTheListGivesNoFonts) {
    testing::TempDir dir;
    EXPECT_TRUE(UIFonts(std::nullopt).load().fonts.empty());
    EXPECT_TRUE(UIFonts(dir.path()).load().fonts.empty());
    dir.write("vendor/fonts.json", R"({"path": "vendor/a.woff2"})");
    EXPECT_TRUE(UIFonts(dir.path()).load().fonts.empty());
    dir.write("vendor/fonts.json", "[not json");
    const UIFonts::Loaded loaded = UIFonts(dir.path()).load();
    EXPECT_TRUE(loaded.fonts.empty());
    EXPECT_EQ(loaded.bytes, 0u);
}

// The page's fonts are read off the main executor once; every later page load, and every ask
// made while the read runs, gets that same list.
TEST(UIFonts, SharedFontsAreReadOnceOnAWorker) {
    testing::TempDir dir;
    dir.write("vendor/a.woff2", "abc");
    dir.write("vendor/fonts.json", R"([{"path": "vendor/a.woff2", "family": "N", "weight": "4"}])");
    auto clock = std::make_shared<testing::FakeClock>();
    auto work = std::make_shared<testing::ManualExecutor>(clock);
    auto main = std::make_shared<testing::ManualExecutor>(clock);
    auto fonts = std::make_shared<SharedUIFonts>(std::make_shared<UIFonts>(dir.path()), work, main);

    std::vector<SharedUIFonts::Read> got;
    const auto ask = [&] {
        fonts->read([&](SharedUIFonts::Read read) { got.push_back(std::move(read)); });
    };
    ask();
    ask();
    EXPECT_EQ(work->pending(), 1u);
    main->runAll();
    EXPECT_TRUE(got.empty());
    work->runAll();
    EXPECT_TRUE(got.empty());
    main->runAll();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0]->fonts.size(), 1u);

    dir.write("vendor/fonts.json", "[]");
    ask();
    EXPECT_EQ(work->pending(), 0u);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[2], got[0]);
}

}  // namespace
}  // namespace parlendo
