#include "LogCapture.h"
#include "TempDir.h"
#include "capture/DesktopDocuments.h"
#include "lookup/SourceURL.h"

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
    DesktopDocuments documents{dir.path() / "proc", dir.path() / "recently-used.xbel",
                               dir.path() / "home"};
};

TEST_F(DesktopDocumentsTest, TheProcessesFilesAndTheRecentListAreWeighedTogether) {
    // Mousepad started on a/notes.txt, then handed b/notes.txt by a second start: its command
    // line names the first, the recent list both.
    const auto a = dir.write("a/notes.txt", "first");
    const auto b = dir.write("b/notes.txt", "second");
    dir.write("proc/40/cmdline", std::string("mousepad\0", 9) + a.string() + '\0');
    recent(mousepadOpened(SourceURL::fileURL(a.string())) +
           mousepadOpened(SourceURL::fileURL(b.string())));
    using Found = DesktopDocuments::Found;
    // A title showing a path names that file only.
    EXPECT_EQ(documents.find(40, b.string() + " - Mousepad"),
              (Found{SourceURL::fileURL(b.string()), "recent_list"}));
    EXPECT_EQ(documents.find(40, a.string() + " - Mousepad"),
              (Found{SourceURL::fileURL(a.string()), "process"}));
    // A name both share names neither: the title alone is saved.
    EXPECT_EQ(documents.find(40, std::string("notes.txt - Mousepad")), std::nullopt);
    EXPECT_EQ(documents.find(40, std::string("Untitled 1 - Mousepad")), std::nullopt);
    EXPECT_EQ(documents.find(40, std::nullopt), std::nullopt);

    // An entry whose file is gone does not count; a file held open does.
    fs::remove(a);
    EXPECT_EQ(documents.find(40, std::string("notes.txt - Mousepad")),
              (Found{SourceURL::fileURL(b.string()), "recent_list"}));
    const auto held = dir.write("c/essay.txt", "held");
    fs::create_symlink(held, dir.path() / "proc/40/fd/5");
    EXPECT_EQ(documents.find(40, std::string("essay.txt - Mousepad")),
              (Found{SourceURL::fileURL(held.string()), "process"}));
}

TEST_F(DesktopDocumentsTest, ATitleShowingThePathFromHomeOrFromAProjectNamesThatFile) {
    const auto docs = dir.write("home/docs/notes.txt", "docs");
    const auto old = dir.write("home/old/notes.txt", "old");
    recent(mousepadOpened(SourceURL::fileURL(docs.string())) +
           mousepadOpened(SourceURL::fileURL(old.string())));
    const DesktopDocuments::Found inDocs{SourceURL::fileURL(docs.string()), "recent_list"};
    EXPECT_EQ(documents.find(40, std::string("~/docs/notes.txt - Sublime Text")), inDocs);
    EXPECT_EQ(documents.find(40, std::string("docs/notes.txt — Kate")), inDocs);
    EXPECT_EQ(documents.find(40, std::string("notes.txt — Kate")), std::nullopt);

    // A third file ending with the part shown leaves only the path from home to tell them apart.
    fs::create_symlink(dir.write("work/docs/notes.txt", "work"), dir.path() / "proc/40/fd/5");
    EXPECT_EQ(documents.find(40, std::string("docs/notes.txt — Kate")), std::nullopt);
    EXPECT_EQ(documents.find(40, std::string("~/docs/notes.txt - Sublime Text")), inDocs);
}

TEST_F(DesktopDocumentsTest, AViewerShowsTheOnePDFItsProcessHolds) {
    // The viewer titles its window with the document's own title, not its file's name.
    const std::string title = "Lectures on Waves — Document Viewer";
    EXPECT_EQ(documents.findViewed(40, title), std::nullopt);
    const auto waves = dir.write("a/waves.pdf", "%PDF");
    fs::create_symlink(waves, dir.path() / "proc/40/fd/5");
    fs::create_symlink(waves, dir.path() / "proc/40/fd/6");
    fs::create_symlink(dir.write("a/waves.txt", "notes"), dir.path() / "proc/40/fd/7");
    const DesktopDocuments::Found held{SourceURL::fileURL(waves.string()), "process"};
    EXPECT_EQ(documents.findViewed(40, title), held);
    EXPECT_EQ(documents.findViewed(40, std::nullopt), held);
    EXPECT_EQ(documents.find(40, title), std::nullopt);

    // Two PDFs held: only a title showing one of them names it.
    const auto tides = dir.write("b/tides.PDF", "%PDF");
    fs::create_symlink(tides, dir.path() / "proc/40/fd/8");
    EXPECT_EQ(documents.findViewed(40, title), std::nullopt);
    EXPECT_EQ(documents.findViewed(40, std::string("tides.PDF — Tides")),
              (DesktopDocuments::Found{SourceURL::fileURL(tides.string()), "process"}));
}

TEST_F(DesktopDocumentsTest, ABrokenListIsLoggedOnceAndReadAgainWhenItChanges) {
    const auto notes = dir.write("u/my notes.txt", "notes");
    const std::string title = notes.string() + " - Mousepad";
    EXPECT_EQ(documents.find(40, title), std::nullopt);  // no list yet: nothing to say
    EXPECT_EQ(log.count("context", "최근 파일 목록"), 0u);

    const auto file = dir.write("recently-used.xbel", "<xbel><bookmark href=\"file:///a\">");
    EXPECT_EQ(documents.find(40, title), std::nullopt);
    EXPECT_EQ(documents.find(40, title), std::nullopt);
    EXPECT_EQ(log.count("context", "최근 파일 목록을 쓰지 않음 why=malformed bytes="), 1u);

    recent(mousepadOpened(SourceURL::fileURL(notes.string())));
    fs::last_write_time(file, fs::last_write_time(file) + std::chrono::seconds(2));
    EXPECT_EQ(documents.find(40, title),
              (DesktopDocuments::Found{SourceURL::fileURL(notes.string()), "recent_list"}));
}

}  // namespace
}  // namespace parlendo
