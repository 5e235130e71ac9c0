#include <gtest/gtest.h>

#include "manage/ManageLayout.h"
#include "manage/ManageNavigation.h"

namespace parlendo {
namespace {

namespace MN = ManageNavigation;
const std::string page = "file:///usr/share/parlendo/manage.html";

TEST(ManageNavigation, OnlyThePageItselfIsThePage) {
    EXPECT_TRUE(MN::isPage(page, page));
    EXPECT_TRUE(MN::isPage(page + "#words", page));
    EXPECT_TRUE(MN::isPage("file:///usr/share/parlendo/./x/../manage.html", page));
    EXPECT_TRUE(MN::isPage("file://localhost/usr/share/parlendo/manage.html", page));
    EXPECT_TRUE(MN::isPage("FILE:///usr/share/parlendo/manage%2Ehtml", page));
    EXPECT_TRUE(MN::isPage("file:///a%20b/manage.html", "file:///a b/manage.html"));

    EXPECT_FALSE(MN::isPage(page + "?x=1", page));
    EXPECT_FALSE(MN::isPage(std::nullopt, page));
    EXPECT_FALSE(MN::isPage("file:///usr/share/parlendo/other.html", page));
    EXPECT_FALSE(MN::isPage("file://evil.example/usr/share/parlendo/manage.html", page));
    EXPECT_FALSE(MN::isPage("https://usr/share/parlendo/manage.html", page));
    EXPECT_FALSE(MN::isPage("file:usr/share/parlendo/manage.html", page));
}

TEST(ManageNavigation, TrustsOnlyTheMainFrameOfThePage) {
    EXPECT_TRUE(MN::trusts(page, page, true));
    EXPECT_FALSE(MN::trusts(page, page, false));
    EXPECT_FALSE(MN::trusts(page, std::nullopt, true));
    EXPECT_FALSE(MN::trusts(page + "?q", page, true));
    EXPECT_FALSE(MN::trusts("about:blank", page, true));
}

TEST(ManageNavigation, KindsAndVerdicts) {
    EXPECT_EQ(MN::kind(std::nullopt), "none");
    EXPECT_EQ(MN::kind("no scheme"), "none");
    EXPECT_EQ(MN::kind("HTTPS://example.com"), "https");
    EXPECT_EQ(MN::kind("data:text/html,<b>x</b>"), "data");
    EXPECT_EQ(MN::kind("javascript:alert(1)"), "javascript");
    EXPECT_EQ(MN::kind("blob:file:///x"), "blob");
    EXPECT_EQ(MN::kind("file:///tmp/Paper.PDF?x#y"), "file_pdf");
    EXPECT_EQ(MN::kind("file:///tmp/notes.txt"), "file_other");
    EXPECT_EQ(MN::kind("file:///tmp/pdf"), "file_other");
    EXPECT_EQ(MN::kind("mailto:a@b.c"), "other");

    EXPECT_EQ(MN::decide(page + "#x", page), MN::Verdict::allowed());
    EXPECT_EQ(MN::decide("https://example.com/", page), MN::Verdict::deny("https"));
    EXPECT_EQ(MN::decide("file:///tmp/a.pdf", page), MN::Verdict::deny("file_pdf"));
    EXPECT_EQ(MN::decide("about:blank", std::nullopt), MN::Verdict::allowed());
    EXPECT_EQ(MN::decide("about:blank#x", std::nullopt), MN::Verdict::deny("about"));
    EXPECT_EQ(MN::decide(page, std::nullopt), MN::Verdict::deny("file_other"));

    EXPECT_TRUE(MN::opensOutside("https://example.com", true));
    EXPECT_FALSE(MN::opensOutside("https://example.com", false));
    EXPECT_FALSE(MN::opensOutside("file:///tmp/run.sh", true));
    EXPECT_FALSE(MN::opensOutside("javascript:x", true));
}

TEST(ManageLayout, NeverLargerThanTheScreenAndTheMinimumNeverAboveTheSize) {
    using ManageLayout::Size;
    using ManageLayout::WindowSize;
    EXPECT_EQ(ManageLayout::windowSize(std::nullopt), (WindowSize{{1100, 760}, {720, 480}}));
    EXPECT_EQ(ManageLayout::windowSize(Size{1920, 700.2}), (WindowSize{{1100, 700}, {720, 480}}));
    EXPECT_EQ(ManageLayout::windowSize(Size{600, 400}), (WindowSize{{600, 400}, {600, 400}}));
    EXPECT_EQ(ManageLayout::windowSize(Size{0, 400}), (WindowSize{{1100, 760}, {720, 480}}));
    EXPECT_EQ(ManageLayout::windowSize(Size{800, -1}), (WindowSize{{1100, 760}, {720, 480}}));
}

}  // namespace
}  // namespace parlendo
