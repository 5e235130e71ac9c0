#include "TempDir.h"
#include "projects/FileBookmarks.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace parlendo {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

struct FileBookmarksTest : ::testing::Test {
    TempDir dir;
    FileBookmarks links{dir.path() / "share/Trash"};
};

TEST_F(FileBookmarksTest, ABookmarkLeadsBackToItsFile) {
    const auto file = dir.write("docs/paper.pdf", "%PDF");
    auto mark = links.bookmark(file.string());
    ASSERT_TRUE(mark);
    EXPECT_EQ(links.resolve(*mark), file.string());
    auto record = FileBookmarks::decode(*mark);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->size, 4u);
    EXPECT_NE(record->inode, 0u);

    // The path is standardised; a missing file gets no bookmark.
    EXPECT_EQ(links.resolve(*links.bookmark((dir.path() / "docs/./x/../paper.pdf").string())),
              file.string());
    EXPECT_EQ(links.bookmark((dir.path() / "missing.pdf").string()), std::nullopt);
    EXPECT_EQ(links.resolve("not a bookmark"), std::nullopt);
    EXPECT_EQ(links.resolve("{\"version\":2}"), std::nullopt);
}

TEST_F(FileBookmarksTest, PathBytesAreKeptExactly) {
    const std::string name = std::string("caf\xe9-") + "\xff.pdf";  // not UTF-8
    const fs::path file = dir.path() / name;
    dir.write(name, "%PDF");
    auto mark = links.bookmark(file.string());
    ASSERT_TRUE(mark);
    EXPECT_EQ(links.resolve(*mark), file.string());
}

TEST_F(FileBookmarksTest, DeletedTrashedOrReplacedByAFolderDoesNotResolve) {
    const auto deleted = dir.write("a.pdf", "x");
    const auto trashed = dir.write("b.pdf", "x");
    const auto folder = dir.write("c.pdf", "x");
    const auto markA = *links.bookmark(deleted.string());
    const auto markB = *links.bookmark(trashed.string());
    const auto markC = *links.bookmark(folder.string());

    fs::remove(deleted);
    EXPECT_EQ(links.resolve(markA), std::nullopt);

    // Moving to the trash keeps the inode, but the file is no longer where it was.
    fs::create_directories(dir.path() / "share/Trash/files");
    fs::rename(trashed, dir.path() / "share/Trash/files/b.pdf");
    EXPECT_EQ(links.resolve(markB), std::nullopt);
    EXPECT_EQ(links.resolve(*links.bookmark((dir.path() / "share/Trash/files/b.pdf").string())),
              std::nullopt);

    fs::remove(folder);
    fs::create_directory(folder);
    EXPECT_EQ(links.resolve(markC), std::nullopt);
}

// Saved the way editors and viewers save: a new file written beside it, then renamed over it.
void saveAgain(const fs::path& file, const std::string& text) {
    const fs::path part = file.string() + ".goutputstream-1";
    std::ofstream(part, std::ios::binary) << text;
    fs::rename(part, file);
}

TEST_F(FileBookmarksTest, TheRecordedFileComesFirstThenTheFileAtItsPath) {
    const auto file = dir.write("docs/paper.pdf", "%PDF-1.7 first");
    const auto mark = *links.bookmark(file.string());
    const auto record = *FileBookmarks::decode(mark);

    // Written in place, or saved again as a new file renamed over it: still at its path.
    dir.write("docs/paper.pdf", "%PDF-1.7 longer text");
    EXPECT_EQ(links.resolve(mark), file.string());
    saveAgain(file, "%PDF-1.7 annotated");
    ASSERT_NE(FileBookmarks::decode(*links.bookmark(file.string()))->inode, record.inode);
    EXPECT_EQ(links.resolve(mark), file.string());

    // Renamed in its folder: found under its new name, also when a new file takes the old name.
    const auto kept = *links.bookmark(file.string());
    fs::rename(file, dir.path() / "docs/paper (old).pdf");
    EXPECT_EQ(links.resolve(kept), (dir.path() / "docs/paper (old).pdf").string());
    dir.write("docs/paper.pdf", "%PDF-1.7 other");
    EXPECT_EQ(links.resolve(kept), (dir.path() / "docs/paper (old).pdf").string());

    // Moved to another folder, nothing left at its path: missing.
    fs::create_directories(dir.path() / "elsewhere");
    fs::rename(dir.path() / "docs/paper (old).pdf", dir.path() / "elsewhere/paper.pdf");
    fs::remove(file);
    EXPECT_EQ(links.resolve(kept), std::nullopt);
}

TEST_F(FileBookmarksTest, AVolumeMountedAgainKeepsTheFileAtItsPath) {
    const auto file = dir.write("paper.pdf", "%PDF-1.7 aaaa");
    // Such a volume numbers its device, and some file systems their inodes, anew.
    auto remounted = *FileBookmarks::decode(*links.bookmark(file.string()));
    remounted.device += 1;
    remounted.inode += 1;
    EXPECT_EQ(links.resolve(FileBookmarks::encode(remounted)), file.string());
}

TEST_F(FileBookmarksTest, TrashFoldersOnAnyVolume) {
    EXPECT_TRUE(links.inTrash("/media/usb/.Trash-1000/files/a.pdf"));
    EXPECT_TRUE(links.inTrash("/media/usb/.Trash/1000/files/a.pdf"));
    EXPECT_TRUE(links.inTrash((dir.path() / "share/Trash/files/a.pdf").string()));
    EXPECT_FALSE(links.inTrash((dir.path() / "share/Trashcan/a.pdf").string()));
    EXPECT_FALSE(links.inTrash((dir.path() / "share/Trash").string()));
    EXPECT_FALSE(links.inTrash("/home/me/Trash notes/a.pdf"));
}

}  // namespace
}  // namespace parlendo
