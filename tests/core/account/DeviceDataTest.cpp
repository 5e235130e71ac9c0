#include <gtest/gtest.h>

#include "TempDir.h"
#include "account/DeviceData.h"

namespace parlendo {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

constexpr const char* bundle = "parlendo";

// A home with its three base folders under a temporary directory, and a folder beside them that
// is not ours.
struct Home {
    TempDir dir;
    DeviceData::Roots roots{dir.path() / "home/.local/share", dir.path() / "home/.cache",
                            dir.path() / "home/.local/state"};
    fs::path outside = dir.path() / "home/Documents";

    Home() {
        for (const auto& root : roots.all()) {
            fs::create_directories(root);
        }
        fs::create_directories(outside);
        dir.write("home/Documents/keep.txt", "mine");
    }
    bool kept() const { return fs::exists(outside / "keep.txt"); }
};

TEST(DeviceData, TargetsFollowTheTableAndTheLogsOnlyWhenTheyAreOurs) {
    DeviceData::Roots roots{"/h/.local/share", "/h/.cache", "/h/.local/state"};
    const fs::path logs = "/h/.local/state/PARLENDO";
    const auto base = DeviceData::targets(roots, bundle, false, logs, true);
    ASSERT_EQ(base.size(), 3u);
    EXPECT_EQ(base[0], (DeviceData::Target{"app_state", "/h/.local/share/PARLENDO"}));
    EXPECT_EQ(base[1], (DeviceData::Target{"webview_store", "/h/.local/share/parlendo"}));
    EXPECT_EQ(base[2], (DeviceData::Target{"caches", "/h/.cache/parlendo"}));
    EXPECT_EQ(DeviceData::targets(roots, bundle, true, logs, false), base);
    auto withLogs = DeviceData::targets(roots, bundle, true, logs, true);
    ASSERT_EQ(withLogs.size(), 4u);
    EXPECT_EQ(withLogs.back(), (DeviceData::Target{"logs", logs}));
    for (const auto& target : withLogs) {
        EXPECT_TRUE(DeviceData::isSafe(target.path, roots, bundle)) << target.path;
    }

    auto fromEnvironment = DeviceData::Roots::of({{"HOME", "/h"}, {"XDG_CACHE_HOME", "/c"}});
    EXPECT_EQ(fromEnvironment.data, "/h/.local/share");
    EXPECT_EQ(fromEnvironment.cache, "/c");
    EXPECT_EQ(fromEnvironment.state, "/h/.local/state");
}

TEST(DeviceData, OnlyOurNamesStrictlyInsideTheRootsAreSafe) {
    DeviceData::Roots roots{"/h/.local/share", "/h/.cache", "/h/.local/state"};
    EXPECT_TRUE(DeviceData::isSafe("/h/.cache/parlendo-extra", roots, bundle));
    EXPECT_TRUE(DeviceData::isSafe("/h/.local/share/PARLENDO/", roots, bundle));
    // The roots themselves, the home, other folders and other names.
    EXPECT_FALSE(DeviceData::isSafe("/h/.local/share", roots, bundle));
    EXPECT_FALSE(DeviceData::isSafe("/h/.cache/", roots, bundle));
    EXPECT_FALSE(DeviceData::isSafe("/h/Documents/PARLENDO", roots, bundle));
    EXPECT_FALSE(DeviceData::isSafe("/h/.local/share/keyrings", roots, bundle));
    EXPECT_FALSE(DeviceData::isSafe("/h/.local/share/Parlendo", roots, bundle));
    EXPECT_FALSE(DeviceData::isSafe("/var/log/PARLENDO", roots, bundle));
    // Dots cannot walk out, nor can a relative path, nor a name that is only dots.
    EXPECT_FALSE(DeviceData::isSafe("/h/.cache/../Documents/PARLENDO", roots, bundle));
    EXPECT_FALSE(DeviceData::isSafe("/h/.cache/parlendo/../../x/PARLENDO", roots, bundle));
    EXPECT_FALSE(DeviceData::isSafe("/h/.cache/parlendo/..", roots, bundle));
    EXPECT_FALSE(DeviceData::isSafe(".cache/parlendo", roots, bundle));
    // Without a bundle id nothing is safe.
    EXPECT_FALSE(DeviceData::isSafe("/h/.local/share/PARLENDO", roots, ""));
    // Roots that are empty, relative or the file system's root count for nothing.
    DeviceData::Roots odd{"", "relative", "/"};
    EXPECT_FALSE(DeviceData::isSafe("/PARLENDO", odd, bundle));
    EXPECT_FALSE(DeviceData::isSafe("/tmp/PARLENDO", odd, bundle));
}

TEST(DeviceData, LinksNeverCarryTheWipeOutOfTheRoots) {
    Home home;
    // A folder inside a root that is a link to the user's documents.
    fs::create_directory_symlink(home.outside, home.roots.cache / "link");
    fs::create_directories(home.outside / "PARLENDO");
    home.dir.write("home/Documents/PARLENDO/x", "mine");
    const fs::path throughLink = home.roots.cache / "link/PARLENDO";
    EXPECT_FALSE(DeviceData::isSafe(throughLink, home.roots, bundle));
    auto outcomes = DeviceData::wipe({{"caches", throughLink}}, home.roots, bundle);
    EXPECT_EQ(outcomes, (std::vector<DeviceData::Outcome>{{"caches", false, false}}));
    EXPECT_TRUE(fs::exists(home.outside / "PARLENDO/x"));

    // The place itself a link to the outside: the link goes, what it points at stays.
    fs::create_directory_symlink(home.outside, home.roots.data / "PARLENDO");
    // A link inside a place, pointing out: the link goes with the place.
    fs::create_directories(home.roots.data / "parlendo");
    fs::create_directory_symlink(home.outside, home.roots.data / "parlendo/docs");
    fs::create_symlink(home.outside / "keep.txt", home.roots.data / "parlendo/file");
    const auto targets = DeviceData::targets(home.roots, bundle, false, {}, false);
    outcomes = DeviceData::wipe(targets, home.roots, bundle);
    EXPECT_EQ(outcomes, (std::vector<DeviceData::Outcome>{{"app_state", true, true},
                                                          {"webview_store", true, true},
                                                          {"caches", false, true}}));
    EXPECT_FALSE(fs::exists(fs::symlink_status(home.roots.data / "PARLENDO")));
    EXPECT_FALSE(fs::exists(home.roots.data / "parlendo"));
    EXPECT_TRUE(home.kept());
    EXPECT_TRUE(fs::exists(home.outside / "PARLENDO/x"));

    // A root reached through a link is still the root.
    fs::create_directory_symlink(home.roots.cache, home.dir.path() / "cache-link");
    DeviceData::Roots linked{home.roots.data, home.dir.path() / "cache-link", home.roots.state};
    EXPECT_TRUE(DeviceData::isSafe(home.roots.cache / "parlendo", linked, bundle));
    EXPECT_TRUE(DeviceData::isSafe(home.dir.path() / "cache-link/parlendo", home.roots, bundle));
}

TEST(DeviceData, WipeReportsEachPlaceAndTheSummarySaysHowItWent) {
    Home home;
    home.dir.write("home/.local/share/PARLENDO/account_delete_pending.json", "{}");
    home.dir.write("home/.cache/parlendo/WebKitCache/blob", "x");
    const fs::path logs = home.roots.state / "PARLENDO";
    fs::create_directories(logs);
    auto targets = DeviceData::targets(home.roots, bundle, true, logs, true);
    auto outcomes = DeviceData::wipe(targets, home.roots, bundle);
    EXPECT_EQ(DeviceData::summary(outcomes),
              "app_state=removed webview_store=absent caches=removed logs=removed");
    EXPECT_FALSE(fs::exists(home.roots.data / "PARLENDO"));
    EXPECT_TRUE(fs::exists(home.roots.data));
    EXPECT_TRUE(home.kept());

    // A place that cannot be removed shows as FAILED; an unsafe one as absent.
    DeviceData::Files stuck{[](const fs::path&) { return true; },
                            [](const fs::path&) {
                                return false;
                            }};
    outcomes = DeviceData::wipe(
        {{"app_state", home.roots.data / "PARLENDO"}, {"logs", home.outside / "PARLENDO"}},
        home.roots, bundle, stuck);
    EXPECT_EQ(outcomes, (std::vector<DeviceData::Outcome>{{"app_state", true, false},
                                                          {"logs", false, false}}));
    EXPECT_EQ(DeviceData::summary(outcomes), "app_state=FAILED logs=absent");
    EXPECT_TRUE(DeviceData::wipe({}, home.roots, bundle).empty());
    EXPECT_EQ(DeviceData::summary({}), "");
}

TEST(DeviceData, DeviceCaresWipeTakesTheLogFolderOnlyOnItsOwnAndOnlyWhenItIsOurs) {
    Home home;
    const fs::path logs = home.roots.state / "PARLENDO";
    home.dir.write("home/.local/state/PARLENDO/app.log", "x");
    home.dir.write("home/.local/share/PARLENDO/drive_local.json", "{}");
    auto wipeData = DeviceData::wiper(home.roots, bundle);
    EXPECT_EQ(DeviceData::summary(wipeData(false, logs, true)),
              "app_state=removed webview_store=absent caches=absent");
    EXPECT_TRUE(fs::exists(logs / "app.log"));
    EXPECT_TRUE(wipeData(true, logs, false).empty());
    EXPECT_TRUE(fs::exists(logs / "app.log"));
    EXPECT_EQ(DeviceData::summary(wipeData(true, logs, true)), "logs=removed");
    EXPECT_FALSE(fs::exists(logs));
    EXPECT_TRUE(home.kept());
}

}  // namespace
}  // namespace parlendo
