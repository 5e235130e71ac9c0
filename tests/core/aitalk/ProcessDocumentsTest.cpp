#include "TempDir.h"
#include "aitalk/ProcessDocuments.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace parlendo {
namespace {

using testing::TempDir;

// A process table with one process 77: its command line, working folder and open files.
struct FakeProc {
    TempDir dir;
    std::filesystem::path proc = dir.path() / "proc";
    std::filesystem::path files = dir.path() / "files";

    FakeProc(const std::string& cmdline, std::vector<std::string> open = {}) {
        std::filesystem::create_directories(proc / "77" / "fd");
        dir.write("proc/77/cmdline", cmdline);
        std::filesystem::create_directory_symlink(files, proc / "77" / "cwd");
        for (size_t i = 0; i < open.size(); ++i) {
            std::filesystem::create_symlink(open[i], proc / "77" / "fd" / std::to_string(i + 3));
        }
    }
    std::string file(const std::string& name) {
        return dir.write("files/" + name, "%PDF").string();
    }
};

TEST(ProcessDocuments, CommandLineFilesComeFirstThenOpenOnes) {
    static constexpr char args[] = "evince\0--page-index=3\0Notes.PDF\0file:///nowhere.pdf\0";
    FakeProc fake(std::string(args, sizeof args - 1));
    const auto notes = fake.file("Notes.PDF");
    const auto book = fake.file("sub/book.pdf");
    std::filesystem::create_symlink(book, fake.proc / "77" / "fd" / "9");
    std::filesystem::create_symlink(fake.dir.path() / "other.txt", fake.proc / "77" / "fd" / "4");
    EXPECT_EQ(ProcessDocuments::candidates(77, fake.proc), (std::vector<std::string>{notes, book}));
    EXPECT_EQ(ProcessDocuments::document(77, std::string("book.pdf — Document Viewer"), fake.proc),
              book);
    EXPECT_EQ(ProcessDocuments::document(77, std::string("Untitled"), fake.proc), notes);
    EXPECT_EQ(ProcessDocuments::document(78, std::nullopt, fake.proc), std::nullopt);
}

TEST(ProcessDocuments, FileAddressesAndVanishedFiles) {
    FakeProc fake("");
    const auto kept = fake.file("한글 책.pdf");
    std::string cmdline = "viewer";
    cmdline += '\0';
    cmdline += "file://" + std::filesystem::path(kept).parent_path().string() +
               "/%ED%95%9C%EA%B8%80%20%EC%B1%85.pdf";
    cmdline += '\0';
    cmdline += fake.files.string() + "/gone.pdf";
    fake.dir.write("proc/77/cmdline", cmdline);
    EXPECT_EQ(ProcessDocuments::candidates(77, fake.proc), std::vector<std::string>{kept});
}

}  // namespace
}  // namespace parlendo
