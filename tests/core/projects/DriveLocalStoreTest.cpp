#include "LogCapture.h"
#include "TempDir.h"
#include "foundation/Json.h"
#include "projects/DriveLocalStore.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace parlendo {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

struct DriveLocalStoreTest : ::testing::Test {
    TempDir dir;
    testing::LogCapture log;
    fs::path file() const { return dir.path() / "drive_local.json"; }
};

TEST_F(DriveLocalStoreTest, SettingsNeedAUserAKnownKeyAndAShortValue) {
    DriveLocalStore store(dir.path());
    EXPECT_FALSE(store.setSetting("ai_detect", "off", std::nullopt));
    EXPECT_FALSE(store.setSetting("theme", "dark", "u1"));
    EXPECT_FALSE(store.setSetting("ai_detect", std::string(201, 'x'), "u1"));
    EXPECT_FALSE(fs::exists(file()));
    EXPECT_EQ(store.setting("theme", "u1"), std::nullopt);
    EXPECT_EQ(store.setting("ai_detect", std::nullopt), std::nullopt);

    EXPECT_TRUE(store.setSetting("ai_popup_size", std::string(200, 'x'), "u1"));
    EXPECT_TRUE(store.setSetting("ai_detect", "off", "u1"));
    EXPECT_EQ(store.setting("ai_detect", "u1"), "off");
    EXPECT_EQ(store.setting("ai_detect", "u2"), std::nullopt);

    // The file holds both sections with sorted keys; a fresh store reads it back.
    const std::string text = TempDir::read(file());
    EXPECT_EQ(text.find("{\"users\":{\"u1\":{\"settings\":{\"ai_detect\":\"off\","), 0u) << text;
    EXPECT_NE(text.find("\"sources\":{}"), std::string::npos) << text;
    DriveLocalStore again(dir.path());
    EXPECT_EQ(again.setting("ai_detect", "u1"), "off");
}

TEST_F(DriveLocalStoreTest, SourcesKeepTheirBytes) {
    DriveLocalStore store(dir.path());
    const std::string bookmark("\x00\xff\x10raw", 6);
    EXPECT_TRUE(store.setSource("doc-1", bookmark, "u1"));
    EXPECT_TRUE(store.setSource("doc-2", "second", "u1"));
    EXPECT_EQ(store.source("doc-1", "u1"), bookmark);
    EXPECT_EQ(store.source("doc-1", "u2"), std::nullopt);
    EXPECT_EQ(store.source("doc-1", std::nullopt), std::nullopt);
    EXPECT_FALSE(store.setSource("doc-1", "x", std::nullopt));

    const auto written = fs::last_write_time(file());
    EXPECT_TRUE(store.removeSources({}, "u1"));
    EXPECT_TRUE(store.removeSources({"doc-1"}, std::nullopt));
    EXPECT_EQ(fs::last_write_time(file()), written);

    EXPECT_TRUE(store.removeSources({"doc-1", "unknown"}, "u1"));
    EXPECT_EQ(DriveLocalStore(dir.path()).source("doc-1", "u1"), std::nullopt);
    EXPECT_EQ(DriveLocalStore(dir.path()).source("doc-2", "u1"), "second");

    EXPECT_TRUE(store.forget("u1"));
    EXPECT_EQ(DriveLocalStore(dir.path()).source("doc-2", "u1"), std::nullopt);
}

TEST_F(DriveLocalStoreTest, AFailedWriteChangesNothing) {
    const fs::path state = dir.path() / "state";
    DriveLocalStore store(state);
    ASSERT_TRUE(store.setSetting("ai_detect", "on", "u1"));
    // The folder turns into a file: nothing can be written there any more.
    fs::rename(state, dir.path() / "moved");
    dir.write("state", "a file");
    EXPECT_FALSE(store.setSetting("ai_detect", "off", "u1"));
    EXPECT_FALSE(store.setSource("doc", "b", "u1"));
    EXPECT_FALSE(store.forget("u1"));
    // What could not be stored is not shown either.
    EXPECT_EQ(store.setting("ai_detect", "u1"), "on");
    EXPECT_EQ(store.source("doc", "u1"), std::nullopt);
    EXPECT_TRUE(log.contains("drive", "로컬 설정 쓰기 실패 "));
}

TEST_F(DriveLocalStoreTest, AnUnreadableFileIsMovedAsideNotOverwritten) {
    dir.write("drive_local.json", "{\"users\": {\"u1\": {\"settings\": {}}}}");  // no "sources"
    DriveLocalStore store(dir.path());
    EXPECT_EQ(store.setting("ai_detect", "u1"), std::nullopt);
    EXPECT_TRUE(store.setSetting("ai_detect", "off", "u2"));
    EXPECT_EQ(TempDir::read(dir.path() / "drive_local.json.unreadable"),
              "{\"users\": {\"u1\": {\"settings\": {}}}}");
    EXPECT_EQ(DriveLocalStore(dir.path()).setting("ai_detect", "u2"), "off");

    // A second bad file does not replace the first one moved aside.
    dir.write("drive_local.json", "not json");
    DriveLocalStore next(dir.path());
    EXPECT_TRUE(next.setSetting("ai_detect", "on", "u3"));
    EXPECT_EQ(TempDir::read(dir.path() / "drive_local.json.unreadable.2"), "not json");
    EXPECT_TRUE(fs::exists(dir.path() / "drive_local.json.unreadable"));
}

}  // namespace
}  // namespace parlendo
