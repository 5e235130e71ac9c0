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

    // Where a bookmark leads, without the renewed record.
    std::optional<std::string> at(const std::string& mark) const {
        auto link = links.resolve(mark);
        return link ? std::optional(link->path) : std::nullopt;
    }
    FileBookmarks::Record recordOf(const fs::path& file) const {
        return *FileBookmarks::decode(*links.bookmark(file.string()));
    }
};

TEST_F(FileBookmarksTest, ABookmarkLeadsBackToItsFile) {
    const auto file = dir.write("docs/paper.pdf", "%PDF");
    auto mark = links.bookmark(file.string());
    ASSERT_TRUE(mark);
    EXPECT_EQ(at(*mark), file.string());
    auto record = FileBookmarks::decode(*mark);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->size, 4u);
    EXPECT_NE(record->inode, 0u);

    // The path is standardised; a missing file gets no bookmark.
    EXPECT_EQ(at(*links.bookmark((dir.path() / "docs/./x/../paper.pdf").string())), file.string());
    EXPECT_EQ(links.bookmark((dir.path() / "missing.pdf").string()), std::nullopt);
    EXPECT_EQ(at("not a bookmark"), std::nullopt);
    EXPECT_EQ(at("{\"version\":2}"), std::nullopt);
}

TEST_F(FileBookmarksTest, PathBytesAreKeptExactly) {
    const std::string name = std::string("caf\xe9-") + "\xff.pdf";  // not UTF-8
    const fs::path file = dir.path() / name;
    dir.write(name, "%PDF");
    auto mark = links.bookmark(file.string());
    ASSERT_TRUE(mark);
    EXPECT_EQ(at(*mark), file.string());
}

TEST_F(FileBookmarksTest, DeletedTrashedOrReplacedByAFolderDoesNotResolve) {
    const auto deleted = dir.write("a.pdf", "x");
    const auto trashed = dir.write("b.pdf", "x");
    const auto folder = dir.write("c.pdf", "x");
    const auto markA = *links.bookmark(deleted.string());
    const auto markB = *links.bookmark(trashed.string());
    const auto markC = *links.bookmark(folder.string());

    fs::remove(deleted);
    EXPECT_EQ(at(markA), std::nullopt);

    // Moving to the trash keeps the inode, but the file is no longer where it was.
    fs::create_directories(dir.path() / "share/Trash/files");
    fs::rename(trashed, dir.path() / "share/Trash/files/b.pdf");
    EXPECT_EQ(at(markB), std::nullopt);
    EXPECT_EQ(at(*links.bookmark((dir.path() / "share/Trash/files/b.pdf").string())), std::nullopt);

    fs::remove(folder);
    fs::create_directory(folder);
    EXPECT_EQ(at(markC), std::nullopt);
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
    EXPECT_EQ(links.resolve(mark), (SourceLink{file.string(), std::nullopt}));

    // Written in place, or saved again as a new file renamed over it: still at its path, and the
    // record comes back renewed for the file now there.
    dir.write("docs/paper.pdf", "%PDF-1.7 longer text");
    EXPECT_EQ(at(mark), file.string());
    saveAgain(file, "%PDF-1.7 annotated");
    const auto saved = links.resolve(mark);
    ASSERT_TRUE(saved && saved->renewed);
    EXPECT_EQ(saved->path, file.string());
    EXPECT_EQ(*FileBookmarks::decode(*saved->renewed), recordOf(file));
    EXPECT_NE(recordOf(file).inode, record.inode);
    EXPECT_EQ(links.resolve(*saved->renewed), (SourceLink{file.string(), std::nullopt}));

    // Renamed in its folder: found under its new name, also when a new file takes the old name.
    const auto kept = *links.bookmark(file.string());
    const auto old = dir.path() / "docs/paper (old).pdf";
    fs::rename(file, old);
    EXPECT_EQ(at(kept), old.string());
    dir.write("docs/paper.pdf", "%PDF-1.7 other");
    const auto renamed = links.resolve(kept);
    ASSERT_TRUE(renamed && renamed->renewed);
    EXPECT_EQ(renamed->path, old.string());
    EXPECT_EQ(FileBookmarks::decode(*renamed->renewed)->path, old.string());

    // Moved to another folder, nothing left at its path: missing.
    fs::create_directories(dir.path() / "elsewhere");
    fs::rename(old, dir.path() / "elsewhere/paper.pdf");
    fs::remove(file);
    EXPECT_EQ(at(kept), std::nullopt);
}

TEST_F(FileBookmarksTest, AFreedInodeNumberGivenToAnotherFileIsNotTheRecordedFile) {
    const auto file = dir.write("docs/paper.pdf", "%PDF-1.7 first");
    auto record = recordOf(file);
    if (record.btimeNs) {
        // Born well before the file that takes its number (here both would share a clock tick).
        *record.btimeNs -= 1'000'000'000;
    }
    saveAgain(file, "%PDF-1.7 annotated");
    // The save freed the recorded number; the next file made in the folder takes it.
    const auto other = dir.write("docs/notes.txt", "unrelated");
    record.inode = recordOf(other).inode;
    EXPECT_EQ(at(FileBookmarks::encode(record)), file.string());
    // Recorded before birth times were kept: the size and modification time tell them apart.
    record.btimeNs.reset();
    EXPECT_EQ(at(FileBookmarks::encode(record)), file.string());
}

// Without a birth time (a file system that keeps none, a record made before it was kept), a file
// found elsewhere than its path is the recorded one only with the recorded size and time.
TEST_F(FileBookmarksTest, WithoutABirthTimeARenamedFileIsKnownByItsSizeAndTime) {
    const auto file = dir.write("paper.pdf", "%PDF-1.7 aaaa");
    auto record = recordOf(file);
    record.btimeNs.reset();
    const auto renamed = dir.path() / "paper (2).pdf";
    fs::rename(file, renamed);
    const auto found = links.resolve(FileBookmarks::encode(record));
    ASSERT_TRUE(found && found->renewed);
    EXPECT_EQ(found->path, renamed.string());
    EXPECT_EQ(*FileBookmarks::decode(*found->renewed), recordOf(renamed));

    auto resized = record;
    resized.size += 1;
    EXPECT_EQ(at(FileBookmarks::encode(resized)), std::nullopt);
    auto touched = record;
    touched.mtimeNs += 1;
    EXPECT_EQ(at(FileBookmarks::encode(touched)), std::nullopt);
}

TEST_F(FileBookmarksTest, ABirthTimeDecidesForARenamedFile) {
    const auto file = dir.write("paper.pdf", "%PDF-1.7 aaaa");
    const auto record = recordOf(file);
    if (!record.btimeNs) {
        GTEST_SKIP() << "the temporary folder's file system keeps no birth times";
    }
    // Renamed, then written in place: the birth time alone still knows it.
    const auto renamed = dir.path() / "paper (2).pdf";
    fs::rename(file, renamed);
    dir.write("paper (2).pdf", "%PDF-1.7 written again, longer");
    EXPECT_EQ(at(FileBookmarks::encode(record)), renamed.string());

    // Another birth time is another file, whatever its size and time.
    auto other = recordOf(renamed);
    other.path = file.string();
    *other.btimeNs += 1;
    EXPECT_EQ(at(FileBookmarks::encode(other)), std::nullopt);
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
