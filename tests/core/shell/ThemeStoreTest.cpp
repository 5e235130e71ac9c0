#include "shell/AppearanceRoutes.h"
#include "shell/ThemeStore.h"

#include "FakeClock.h"
#include "LogCapture.h"

#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

namespace parlendo {
namespace {

using testing::LogCapture;
using Seen = std::vector<std::pair<ThemeMode, ThemeStore::Source>>;

struct ThemeRig {
    ThemeRig() {
        store->observe(
            [this](ThemeMode mode, ThemeStore::Source source) { seen.emplace_back(mode, source); });
    }
    LogCapture log;
    ThemeMode system = ThemeMode::dark;
    std::shared_ptr<ThemeStore> store = std::make_shared<ThemeStore>([this] { return system; });
    Seen seen;
};

BridgeReply call(const AppearanceRoutes& routes, const std::string& name, std::vector<Json> args) {
    std::optional<BridgeReply> reply;
    routes.routes().at(name).handler()(BridgeArgs(std::move(args)),
                                       [&](BridgeReply value) { reply = std::move(value); });
    EXPECT_TRUE(reply.has_value());
    return reply ? *reply : BridgeReply::requestFailed("none");
}

TEST(ThemeStoreTest, FollowsTheSystemUntilPinnedAndAnnouncesOnlyChanges) {
    ThemeRig rig;
    EXPECT_EQ(rig.store->mode(), ThemeMode::dark);
    EXPECT_EQ(rig.store->source(), ThemeStore::Source::system);
    EXPECT_TRUE(rig.log.has("theme", "mode=dark source=system"));

    // Repeated system notices without a change are silent.
    rig.store->systemChanged();
    EXPECT_TRUE(rig.seen.empty());
    rig.system = ThemeMode::light;
    rig.store->systemChanged();
    EXPECT_EQ(rig.seen, (Seen{{ThemeMode::light, ThemeStore::Source::system}}));

    // Pinning the mode already shown still announces once: the source changed.
    EXPECT_EQ(rig.store->set("light"), ThemeMode::light);
    EXPECT_EQ(rig.store->set("light"), ThemeMode::light);
    EXPECT_EQ(rig.seen.size(), 2u);
    EXPECT_EQ(rig.seen.back(), std::make_pair(ThemeMode::light, ThemeStore::Source::toggle));

    // A pinned store ignores the system.
    rig.system = ThemeMode::dark;
    rig.store->systemChanged();
    EXPECT_EQ(rig.store->mode(), ThemeMode::light);
    EXPECT_EQ(rig.seen.size(), 2u);

    // Only the exact words pin.
    for (const char* bad : {"system", "Dark", "", "LIGHT"}) {
        EXPECT_FALSE(rig.store->set(bad).has_value()) << bad;
    }
    EXPECT_EQ(rig.store->set("dark"), ThemeMode::dark);
    EXPECT_EQ(rig.seen.back(), std::make_pair(ThemeMode::dark, ThemeStore::Source::toggle));
}

TEST(ThemeStoreTest, AppearanceRoutesReadAndPinTheThemeAndRefuseOtherValues) {
    ThemeRig rig;
    testing::FakeClock clock;
    AppearanceRoutes routes(
        rig.store,
        [](Completion<void(AppearanceRoutes::Fonts)> done) {
            done(AppearanceRoutes::Fonts{{Json{{"family", "Noto Sans KR"}}}, 1234});
        },
        std::shared_ptr<const MonotonicClock>(&clock, [](const MonotonicClock*) {}));

    EXPECT_EQ(call(routes, "get_ui_theme", {}), BridgeReply::ok("dark"));
    for (Json bad : {Json("system"), Json("Dark"), Json(1), Json(nullptr)}) {
        EXPECT_EQ(call(routes, "set_ui_theme", {bad}),
                  BridgeReply::custom(AppearanceRoutes::themeUnavailable()));
    }
    EXPECT_EQ(call(routes, "set_ui_theme", {}),
              BridgeReply::custom(AppearanceRoutes::themeUnavailable()));
    EXPECT_TRUE(rig.seen.empty());

    EXPECT_EQ(call(routes, "set_ui_theme", {Json("light")}), BridgeReply::ok("light"));
    EXPECT_EQ(rig.seen, (Seen{{ThemeMode::light, ThemeStore::Source::toggle}}));
    EXPECT_EQ(call(routes, "get_ui_theme", {}), BridgeReply::ok("light"));

    EXPECT_EQ(call(routes, "ui_fonts", {}),
              BridgeReply::ok(Json::array({Json{{"family", "Noto Sans KR"}}})));
    EXPECT_TRUE(rig.log.has("manage", "ui_fonts count=1 bytes=1234 ms=0"));
}

TEST(ThemeStoreTest, AppearanceRoutesWithoutServicesAreNotServed) {
    const auto table = AppearanceRoutes().routes();
    ASSERT_EQ(table.size(), 3u);
    for (const auto& name : AppearanceRoutes::names()) {
        ASSERT_TRUE(table.count(name)) << name;
        EXPECT_FALSE(table.at(name).isImplemented()) << name;
    }
}

}  // namespace
}  // namespace parlendo
