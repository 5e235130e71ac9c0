#include <gtest/gtest.h>

#include "foundation/AppBundle.h"
#include "foundation/RuntimePaths.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace parlendo {
namespace {

namespace fs = std::filesystem;
using RuntimePaths::PathError;

class RuntimePathsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("parlendo-paths-" + std::to_string(::getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_);
    }
    void TearDown() override { fs::remove_all(root_); }
    fs::path root_;
};

TEST_F(RuntimePathsTest, FollowsXdgFoldersWithHomeFallbacks) {
    RuntimePaths::Environment env{{"HOME", "/home/u"}};
    EXPECT_EQ(RuntimePaths::stateRoot(env), fs::path("/home/u/.local/share/PARLENDO"));
    EXPECT_EQ(RuntimePaths::defaultLogDirectory(env), fs::path("/home/u/.local/state/PARLENDO"));
    env["XDG_DATA_HOME"] = "/data";
    env["XDG_STATE_HOME"] = "relative/ignored";
    EXPECT_EQ(RuntimePaths::stateRoot(env), fs::path("/data/PARLENDO"));
    EXPECT_EQ(RuntimePaths::defaultLogDirectory(env), fs::path("/home/u/.local/state/PARLENDO"));
}

TEST_F(RuntimePathsTest, LogOverrideMustBeAbsoluteAndOutsideTheBundle) {
    RuntimePaths::Environment env{{"HOME", root_.string()}, {"EV_LOG_DIR", "logs"}};
    auto relative = RuntimePaths::resolveLogDirectory(env, std::nullopt);
    ASSERT_FALSE(relative);
    EXPECT_EQ(relative.error(), (PathError{PathError::Kind::notAbsolute, "EV_LOG_DIR"}));

    env["EV_LOG_DIR"] = "/opt/parlendo/logs";
    auto inside = RuntimePaths::resolveLogDirectory(env, std::string("/opt/parlendo"));
    ASSERT_FALSE(inside);
    EXPECT_EQ(inside.error(), (PathError{PathError::Kind::insideAppBundle, "EV_LOG_DIR"}));

    env["EV_LOG_DIR"] = (root_ / "custom" / "deep").string();
    auto ok = RuntimePaths::resolveLogDirectory(env, std::string("/opt/parlendo"));
    ASSERT_TRUE(ok);
    EXPECT_FALSE(ok->appOwned);
    EXPECT_TRUE(fs::is_directory(root_ / "custom" / "deep"));
}

TEST_F(RuntimePathsTest, DefaultLogFolderIsCreatedAndAppOwned) {
    RuntimePaths::Environment env{{"HOME", root_.string()}, {"EV_LOG_DIR", ""}};
    auto ok = RuntimePaths::resolveLogDirectory(env, std::nullopt);
    ASSERT_TRUE(ok);
    EXPECT_TRUE(ok->appOwned);
    EXPECT_EQ(ok->url, root_ / ".local/state/PARLENDO");
    EXPECT_TRUE(fs::is_directory(ok->url));
}

TEST_F(RuntimePathsTest, UncreatableFolderIsReportedWithItsPath) {
    std::ofstream(root_ / "file") << "x";
    RuntimePaths::Environment env{{"EV_LOG_DIR", (root_ / "file" / "sub").string()}};
    auto failed = RuntimePaths::resolveLogDirectory(env, std::nullopt);
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.error().kind, PathError::Kind::notCreatable);
    EXPECT_EQ(failed.error().payload, (root_ / "file" / "sub").string());
}

TEST_F(RuntimePathsTest, BundleIsInstalledOnlyWithBuildInfoBesideTheBinary) {
    fs::create_directories(root_ / "bin");
    fs::create_directories(root_ / "share/parlendo");
    auto fromTree = AppBundle::forExecutable(root_ / "bin" / "parlendo");
    EXPECT_FALSE(fromTree.identifier);
    EXPECT_TRUE(fromTree.buildLabel.has_value());

    std::ofstream(root_ / "share/parlendo/build_info.json")
        << R"({"CFBundleIdentifier":"local.parlendo.mac","CFBundleShortVersionString":"0.2.0",)"
        << R"("ParlendoBuildLabel":"20261207.01"})";
    std::ofstream(root_ / "share/parlendo/public_profile.json") << "{}";
    auto installed = AppBundle::forExecutable(root_ / "bin" / "parlendo");
    EXPECT_EQ(installed.identifier, "local.parlendo.mac");
    EXPECT_EQ(installed.buildLabel, "20261207.01");
    EXPECT_EQ(installed.resource("public_profile", "json"),
              root_ / "share/parlendo/public_profile.json");
    EXPECT_FALSE(installed.resource("local_profile", "json"));
}

TEST(AppBundleMain, TestsRunOutsideAnInstalledBundle) {
    EXPECT_FALSE(AppBundle::main().identifier.has_value());
}

}  // namespace
}  // namespace parlendo
