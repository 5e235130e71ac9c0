#include <gtest/gtest.h>

#include "popups/PopupBody.h"
#include "popups/PopupSetting.h"

#include <unordered_set>

namespace parlendo {
namespace {

PopupOptions resolve(const Json& options) {
    return PopupOptions::resolve(&options);
}

TEST(PopupSettingTest, ParsesRowsLeniently) {
    Json row = {
        {"id", 17}, {"spec", {{"contents", {"korean", "pos", "korean", 3}}}}, {"save", "yes"}};
    auto setting = PopupSetting::parse(row);
    EXPECT_EQ(setting.id(), "17");
    EXPECT_EQ(setting.name(), "");
    EXPECT_EQ(setting.contents(), std::vector<std::string>{"korean"});
    EXPECT_TRUE(setting.save());
    EXPECT_EQ(setting.options(), PopupOptions::standard());

    auto bare = PopupSetting::parse(Json{{"id", true}, {"name", 4}, {"spec", "x"}});
    EXPECT_EQ(bare.id(), "");
    EXPECT_TRUE(bare.contents().empty());
    EXPECT_FALSE(bare.shows(PopupInput::word));
    EXPECT_FALSE(bare.shows(PopupInput::sentence));

    // Not even an object: everything falls back.
    auto junk = PopupSetting::parse(Json::array({1, 2}));
    EXPECT_EQ(junk.id(), "");
    EXPECT_TRUE(junk.save());

    auto both = PopupSetting::parse(Json{{"id", "a"},
                                         {"name", "둘"},
                                         {"save", false},
                                         {"spec", {{"contents", {"definition", "translation"}}}}});
    EXPECT_TRUE(both.shows(PopupInput::word));
    EXPECT_TRUE(both.shows(PopupInput::sentence));
    EXPECT_FALSE(both.save());
    EXPECT_EQ(PopupSetting::parse(Json{{"id", 2.5}}).id(), "2.5");
}

TEST(PopupSettingTest, InitializerFiltersContents) {
    PopupSetting setting("x", "n", {"example", "bogus", "example", "korean"}, true,
                         PopupOptions::standard());
    EXPECT_EQ(setting.contents(), (std::vector<std::string>{"example", "korean"}));
}

TEST(PopupSettingTest, OptionsAreClampedOrFallBack) {
    EXPECT_EQ(resolve({{"duration", 0.2}}).duration, 1.0);
    EXPECT_EQ(resolve({{"duration", 45}}).duration, 30.0);
    EXPECT_EQ(resolve({{"duration", true}}).duration, 3.0);
    EXPECT_EQ(resolve({{"duration", "5"}}).duration, 3.0);
    EXPECT_EQ(resolve({{"opacity", 40}}).opacity, 0.4);
    EXPECT_EQ(resolve({{"opacity", 12}}).opacity, 0.4);
    EXPECT_DOUBLE_EQ(resolve({{"opacity", 70}}).opacity, 0.7);
    EXPECT_EQ(resolve({{"opacity", 250}}).opacity, 1.0);
    EXPECT_EQ(resolve(Json::object()).opacity, 0.94);
    EXPECT_EQ(resolve({{"width", "wide"}}).width, PopupOptions::Width::wide);
    EXPECT_EQ(resolve({{"width", "huge"}}).width, PopupOptions::Width::normal);
    EXPECT_EQ(resolve({{"width", 2}}).width, PopupOptions::Width::normal);
    EXPECT_EQ(PopupOptions::resolve(nullptr), PopupOptions::standard());
    EXPECT_EQ(points(PopupOptions::Width::narrow), 220);
    EXPECT_EQ(points(PopupOptions::Width::wide), 440);
}

TEST(PopupSettingTest, InputRawValues) {
    EXPECT_EQ(popupInputFromString("raw_text"), PopupInput::sentence);
    EXPECT_EQ(popupInputFromString("word"), PopupInput::word);
    EXPECT_EQ(popupInputFromString("sentence"), std::nullopt);
    EXPECT_STREQ(toString(PopupInput::sentence), "raw_text");
    EXPECT_EQ(popupWidthFromString("Wide"), std::nullopt);
}

TEST(PopupSettingTest, DefaultRowsAndFallback) {
    const auto& rows = PopupSetting::defaultRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], (Json{{"name", "단어"},
                             {"enabled", true},
                             {"save", true},
                             {"spec", {{"contents", {"korean"}}}},
                             {"position", 0}}));
    EXPECT_EQ(rows[1]["save"], false);
    EXPECT_FALSE(rows[1].contains("id"));

    const auto& fallback = PopupSetting::fallback();
    ASSERT_EQ(fallback.size(), 2u);
    EXPECT_EQ(fallback[0],
              PopupSetting("fallback-0", "단어", {"korean"}, true, PopupOptions::standard()));
    EXPECT_EQ(fallback[1],
              PopupSetting("fallback-1", "문장", {"translation"}, false, PopupOptions::standard()));
}

TEST(PopupValuesTest, IdentitiesBodiesAndRects) {
    std::unordered_set<PopupID> ids{{"C", 0}, {"C", 1}, {"C", 0}};
    EXPECT_EQ(ids.size(), 2u);
    EXPECT_EQ(std::hash<PopupID>{}({"C", 1}), std::hash<PopupID>{}({"C", 1}));

    EXPECT_NE(PopupBody::word("run", std::nullopt, {}), PopupBody::word("run", "", {}));
    EXPECT_NE(PopupBody::failure(std::nullopt, "m"), PopupBody::failure("", "m"));
    EXPECT_NE(PopupBody::text("a"), PopupBody::failure(std::nullopt, "a"));

    PopupRect flat{5, 7, 0, 0};
    EXPECT_EQ(flat.maxX(), 5);
    EXPECT_EQ(flat.maxY(), 7);
    EXPECT_EQ(PopupAnchor::mouse(), PopupAnchor::mouse());
    EXPECT_NE(PopupAnchor::selection(flat), PopupAnchor::selection(PopupRect{5, 7, 1, 0}));
}

}  // namespace
}  // namespace parlendo
