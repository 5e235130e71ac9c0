#include <gtest/gtest.h>

#include "TestTree.h"
#include "foundation/KeychainFile.h"
#include "foundation/Log.h"
#include "foundation/RuntimePaths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace parlendo {
namespace {

using testing::TestTree;
namespace fs = std::filesystem;

fs::path userHome() {
    const passwd* pw = getpwuid(getuid());
    return pw != nullptr && pw->pw_dir != nullptr ? fs::path(pw->pw_dir) : fs::path();
}

// Every test program runs in a private home: the variables that name the user's folders point
// into a temporary tree, never into the user's own home.
TEST(TestTree, TheUsersFoldersAreReplacedByATemporaryTree) {
    const fs::path& root = TestTree::root();
    ASSERT_FALSE(root.empty());
    EXPECT_TRUE(TestTree::inside(root, fs::temp_directory_path())) << root;
    EXPECT_TRUE(fs::is_directory(root));
    const fs::path home = userHome();
    for (const std::string& name : TestTree::variables()) {
        const char* value = std::getenv(name.c_str());
        ASSERT_NE(value, nullptr) << name;
        EXPECT_TRUE(TestTree::inside(value, root)) << name << "=" << value;
        if (!home.empty() && !TestTree::inside(root, home)) {
            EXPECT_FALSE(TestTree::inside(value, home)) << name << "=" << value;
        }
    }
}

// What the program writes by default (its log, its state root, the file keychain) lands inside
// the tree.
TEST(TestTree, TheProgramsOwnFoldersLieInsideTheTree) {
    const fs::path& root = TestTree::root();
    EXPECT_TRUE(TestTree::inside(RuntimePaths::stateRoot(), root)) << RuntimePaths::stateRoot();
    EXPECT_TRUE(TestTree::inside(RuntimePaths::defaultLogDirectory(), root));
    EXPECT_TRUE(TestTree::inside(KeychainFile::defaultPath(), root));

    const auto logDirectory =
        RuntimePaths::resolveLogDirectory(RuntimePaths::processEnvironment(), std::nullopt);
    ASSERT_TRUE(logDirectory);
    EXPECT_TRUE(TestTree::inside(logDirectory->url, root)) << logDirectory->url;

    // The log starts in that folder (another test of this program may have moved it since).
    Log::setDirectory(logDirectory->url);
    Log::write("test", "a line of the test tree");
    Log::flush();
    const fs::path written = Log::directory() / Log::fileName;
    EXPECT_TRUE(TestTree::inside(written, root)) << written;
    std::ifstream in(written);
    const std::string contents((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(contents.find("a line of the test tree"), std::string::npos);
}

TEST(TestTree, InsideComparesWholeComponents) {
    EXPECT_TRUE(TestTree::inside("/tmp/a/b", "/tmp/a"));
    EXPECT_TRUE(TestTree::inside("/tmp/a", "/tmp/a/"));
    EXPECT_TRUE(TestTree::inside("/tmp/a/./b/../c", "/tmp/a"));
    EXPECT_FALSE(TestTree::inside("/tmp/ab", "/tmp/a"));
    EXPECT_FALSE(TestTree::inside("/tmp/a/../b", "/tmp/a"));
    EXPECT_FALSE(TestTree::inside("/home/me", "/tmp/a"));
}

}  // namespace
}  // namespace parlendo
