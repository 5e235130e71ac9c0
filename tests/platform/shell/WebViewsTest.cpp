#include "shell/WebViews.h"

#include <gtest/gtest.h>

namespace parlendo {
namespace {

// The program finds its web views module beside itself in a build tree, and in the library folder
// of the prefix it was installed into, wherever that prefix was moved.
TEST(WebViews, TheModuleIsLookedForBesideTheProgramThenInItsInstalledLibraryFolder) {
    const auto installed = WebViews::candidates("/opt/tools/bin/parlendo");
    ASSERT_EQ(installed.size(), 2u);
    EXPECT_EQ(installed[0], std::filesystem::path("/opt/tools/bin/parlendo-webviews.so"));
    EXPECT_EQ(installed[1].filename(), "parlendo-webviews.so");
    EXPECT_EQ(installed[1].parent_path().filename(), "parlendo");
    // Under the same prefix, never above it.
    EXPECT_EQ(installed[1].string().rfind("/opt/tools/lib", 0), 0u) << installed[1];
}

}  // namespace
}  // namespace parlendo
