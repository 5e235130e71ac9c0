#include "LogCapture.h"
#include "TempDir.h"
#include "capture/DesktopDocuments.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace parlendo {
namespace {

namespace fs = std::filesystem;

// Mousepad as process 40 (it closed the file it read) and the desktop's recent list.
struct DesktopDocumentsTest : ::testing::Test {
    DesktopDocumentsTest() {
        fs::create_directories(dir.path() / "proc/40/fd");
        dir.write("proc/40/comm", "mousepad\n");
        dir.write("proc/40/cmdline", std::string("mousepad\0", 9));
    }

    fs::path recent(const std::string& bookmarks) {
        return dir.write("recently-used.xbel",
                         "<xbel xmlns:bookmark=\"http://www.freedesktop.org/standards/"
                         "desktop-bookmarks\">" +
                             bookmarks + "</xbel>");
    }
    static std::string mousepadOpened(const std::string& href) {
        return "<bookmark href=\"" + href +
               "\"><info><metadata><bookmark:applications><bookmark:application "
               "name=\"Mousepad\" exec=\"'mousepad %u'\" modified=\"2024-01-01T00:00:00Z\"/>"
               "</bookmark:applications></metadata></info></bookmark>";
    }

    testing::TempDir dir;
    testing::LogCapture log;
    DesktopDocuments documents{dir.path() / "proc", dir.path() / "recently-used.xbel"};
};

TEST_F(DesktopDocumentsTest, TheProcessesFilesComeBeforeTheRecentList) {
    const auto held = dir.write("docs/notes.txt", "held");
    recent(mousepadOpened("file:///elsewhere/notes.txt"));
    EXPECT_EQ(documents.find(40, std::string("notes.txt - Mousepad")),
              (DesktopDocuments::Found{"file:///elsewhere/notes.txt", "recent_list"}));
    fs::create_symlink(held, dir.path() / "proc/40/fd/5");
    EXPECT_EQ(documents.find(40, std::string("notes.txt - Mousepad")),
              (DesktopDocuments::Found{"file://" + held.string(), "process"}));
    EXPECT_EQ(documents.find(40, std::nullopt), std::nullopt);
    EXPECT_EQ(documents.find(40, std::string("Untitled 1 - Mousepad")), std::nullopt);
}

TEST_F(DesktopDocumentsTest, ABrokenListIsLoggedOnceAndReadAgainWhenItChanges) {
    const std::string title = "/home/u/my notes.txt - Mousepad";
    EXPECT_EQ(documents.find(40, title), std::nullopt);  // no list yet: nothing to say
    EXPECT_EQ(log.count("context", "최근 파일 목록"), 0u);

    const auto file = dir.write("recently-used.xbel", "<xbel><bookmark href=\"file:///a\">");
    EXPECT_EQ(documents.find(40, title), std::nullopt);
    EXPECT_EQ(documents.find(40, title), std::nullopt);
    EXPECT_EQ(log.count("context", "최근 파일 목록을 쓰지 않음 why=malformed bytes="), 1u);

    recent(mousepadOpened("file:///home/u/my%20notes.txt"));
    fs::last_write_time(file, fs::last_write_time(file) + std::chrono::seconds(2));
    EXPECT_EQ(documents.find(40, title),
              (DesktopDocuments::Found{"file:///home/u/my%20notes.txt", "recent_list"}));
}

}  // namespace
}  // namespace parlendo
