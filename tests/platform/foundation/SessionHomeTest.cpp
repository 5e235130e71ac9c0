#include <gtest/gtest.h>

#include "TestTree.h"

#include <glib.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace parlendo {
namespace {

using testing::TestTree;
namespace fs = std::filesystem;

// The desktop session of the platform tests (scripts/with-session.sh) has a home of its own, and
// each test program a private tree inside whatever home it was given: the session's daemons and
// the libraries the adapters call (GLib reads these folders once, on first use) never see the
// user's folders.
TEST(SessionHome, TheSessionAndTheLibrariesUsePrivateFolders) {
    const char* session = std::getenv("PARLENDO_TEST_SESSION_HOME");
    ASSERT_NE(session, nullptr) << "platform tests run under scripts/with-session.sh";
    for (const std::string& name : TestTree::variables()) {
        const auto given = TestTree::inherited(name);
        ASSERT_TRUE(given.has_value()) << name;
        EXPECT_TRUE(TestTree::inside(*given, session)) << name << "=" << *given;
    }
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    ASSERT_NE(runtime, nullptr);
    EXPECT_TRUE(TestTree::inside(runtime, session)) << runtime;

    const fs::path& root = TestTree::root();
    EXPECT_TRUE(TestTree::inside(g_get_home_dir(), root)) << g_get_home_dir();
    EXPECT_TRUE(TestTree::inside(g_get_user_config_dir(), root)) << g_get_user_config_dir();
    EXPECT_TRUE(TestTree::inside(g_get_user_data_dir(), root)) << g_get_user_data_dir();
    EXPECT_TRUE(TestTree::inside(g_get_user_state_dir(), root)) << g_get_user_state_dir();
    EXPECT_TRUE(TestTree::inside(g_get_user_cache_dir(), root)) << g_get_user_cache_dir();
}

}  // namespace
}  // namespace parlendo
