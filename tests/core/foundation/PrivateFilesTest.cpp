#include <gtest/gtest.h>

#include "TempDir.h"
#include "foundation/FileIO.h"
#include "foundation/Log.h"
#include "foundation/RuntimePaths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

namespace parlendo {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

mode_t modeOf(const fs::path& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

// Runs `body` with no umask, so that every mode the program sets shows as it set it.
template <typename Body>
void withoutUmask(Body body) {
    const mode_t before = ::umask(0);
    body();
    ::umask(before);
}

TEST(PrivateFiles, WrittenFilesAndTheFoldersMadeForThemAreTheUsersAlone) {
    TempDir dir;
    withoutUmask([&] {
        ASSERT_FALSE(fileio::writeAtomically(dir.path() / "state/drive_cache/u1/doc.json", "{}",
                                             dir.path() / "state"));
    });
    EXPECT_EQ(modeOf(dir.path() / "state/drive_cache/u1/doc.json"), 0600u);
    for (const char* folder : {"state", "state/drive_cache", "state/drive_cache/u1"}) {
        EXPECT_EQ(modeOf(dir.path() / folder), 0700u) << folder;
    }
}

TEST(PrivateFiles, LooserFilesAndFoldersAreTightenedWhenNextWritten) {
    TempDir dir;
    const fs::path shared = dir.path() / "share";
    const fs::path state = shared / "PARLENDO";
    dir.write("share/PARLENDO/drive_cache/u1/doc.json", "old");
    dir.write("share/PARLENDO/notice_seen.json", "old");
    for (const fs::path& folder :
         {shared, state, state / "drive_cache", state / "drive_cache/u1"}) {
        ::chmod(folder.c_str(), 0755);
    }
    ::chmod((state / "notice_seen.json").c_str(), 0644);
    ::chmod((state / "drive_cache/u1/doc.json").c_str(), 0644);

    ASSERT_FALSE(fileio::writeAtomically(state / "notice_seen.json", "new"));
    EXPECT_EQ(modeOf(state / "notice_seen.json"), 0600u);
    EXPECT_EQ(modeOf(state), 0700u);
    EXPECT_EQ(modeOf(shared), 0755u) << "above the program's folder nothing changes";

    // From the store's own folder down, every folder is tightened.
    ASSERT_FALSE(
        fileio::writeAtomically(state / "drive_cache/u1/doc.json", "new", state / "drive_cache"));
    EXPECT_EQ(modeOf(state / "drive_cache"), 0700u);
    EXPECT_EQ(modeOf(state / "drive_cache/u1"), 0700u);
    EXPECT_EQ(modeOf(state / "drive_cache/u1/doc.json"), 0600u);
    EXPECT_EQ(TempDir::read(state / "drive_cache/u1/doc.json"), "new");

    // A folder the desktop shares keeps its mode; the file in it is private all the same.
    dir.write("config/autostart/other.desktop", "x");
    ::chmod((dir.path() / "config/autostart").c_str(), 0755);
    ASSERT_FALSE(
        fileio::writeAtomically(dir.path() / "config/autostart/parlendo.desktop", "x", fs::path()));
    EXPECT_EQ(modeOf(dir.path() / "config/autostart"), 0755u);
    EXPECT_EQ(modeOf(dir.path() / "config/autostart/parlendo.desktop"), 0600u);
}

TEST(PrivateFiles, ARelativePathIsRefusedAndNothingLandsInTheCurrentFolder) {
    TempDir dir;
    const fs::path before = fs::current_path();
    fs::current_path(dir.path());
    EXPECT_EQ(fileio::writeAtomically("install_record.json", "{}"),
              std::make_error_code(std::errc::invalid_argument));
    EXPECT_EQ(fileio::makePrivateFolder("state", "state"),
              std::make_error_code(std::errc::invalid_argument));
    fs::current_path(before);
    EXPECT_TRUE(fs::is_empty(dir.path()));
    // A file where a folder should be is reported, not written through.
    dir.write("blocked", "x");
    EXPECT_EQ(fileio::writeAtomically(dir.path() / "blocked/x.json", "{}"),
              std::make_error_code(std::errc::not_a_directory));
}

TEST(PrivateFiles, TheLogFolderAndBothLogFilesArePrivate) {
    TempDir dir;
    // The program's own log folder is made private, and tightened when it was not.
    RuntimePaths::Environment env{{"XDG_STATE_HOME", (dir.path() / "state").string()}};
    withoutUmask([&] { ASSERT_TRUE(RuntimePaths::resolveLogDirectory(env, std::nullopt)); });
    EXPECT_EQ(modeOf(dir.path() / "state/PARLENDO"), 0700u);
    ::chmod((dir.path() / "state/PARLENDO").c_str(), 0755);
    ASSERT_TRUE(RuntimePaths::resolveLogDirectory(env, std::nullopt));
    EXPECT_EQ(modeOf(dir.path() / "state/PARLENDO"), 0700u);
    // A folder the user named keeps its mode.
    fs::create_directories(dir.path() / "mine");
    ::chmod((dir.path() / "mine").c_str(), 0755);
    env["EV_LOG_DIR"] = (dir.path() / "mine").string();
    ASSERT_TRUE(RuntimePaths::resolveLogDirectory(env, std::nullopt));
    EXPECT_EQ(modeOf(dir.path() / "mine"), 0755u);

    // Log files written before are made private with the next line, the rotated one too.
    const fs::path logs = dir.path() / "logs";
    dir.write("logs/app.log", "old line\n");
    dir.write("logs/app.1.log", "older line\n");
    ::chmod((logs / "app.log").c_str(), 0644);
    ::chmod((logs / "app.1.log").c_str(), 0644);
    const fs::path previous = Log::directory();
    Log::setDirectory(logs);
    Log::write("app", "line");
    Log::flush();
    EXPECT_EQ(modeOf(logs / "app.log"), 0600u);
    EXPECT_EQ(modeOf(logs / "app.1.log"), 0600u);
    // A new log file in a new folder.
    Log::setDirectory(dir.path() / "fresh/logs");
    withoutUmask([&] {
        Log::write("app", "line");
        Log::flush();
    });
    EXPECT_EQ(modeOf(dir.path() / "fresh/logs/app.log"), 0600u);
    EXPECT_EQ(modeOf(dir.path() / "fresh/logs"), 0700u);
    Log::setDirectory(previous);
}

}  // namespace
}  // namespace parlendo
