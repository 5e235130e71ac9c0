#include "TempDir.h"
#include "capture/ProcessDocuments.h"

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

    explicit FakeProc(const std::string& cmdline) {
        std::filesystem::create_directories(proc / "77" / "fd");
        std::filesystem::create_directories(files);
        dir.write("proc/77/cmdline", cmdline);
        std::filesystem::create_directory_symlink(files, proc / "77" / "cwd");
    }
    std::string file(const std::string& name) {
        return dir.write("files/" + name, "%PDF").string();
    }
    void open(int fd, const std::filesystem::path& target) {
        std::filesystem::create_symlink(target, proc / "77" / "fd" / std::to_string(fd));
    }
};

const std::filesystem::path home = "/home/u";

std::string args(std::initializer_list<std::string> list) {
    std::string out;
    for (const auto& arg : list) {
        out += arg;
        out += '\0';
    }
    return out;
}

TEST(ProcessDocuments, TheCommandLinesFilesComeFirstThenTheOpenOnes) {
    FakeProc fake(args({"evince", "--page-index=3", "Notes.PDF", "file:///nowhere.pdf"}));
    const auto notes = fake.file("Notes.PDF");
    const auto book = fake.file("sub/book.pdf");
    fake.open(9, book);
    fake.open(4, fake.dir.path() / "other.txt");
    EXPECT_EQ(ProcessDocuments::candidates(77, fake.proc), (std::vector<std::string>{notes, book}));
    EXPECT_TRUE(ProcessDocuments::candidates(78, fake.proc).empty());
}

// A process that holds nothing open is told apart from one whose open files cannot be read: the
// terminal check must not take the second for a process that holds no pseudo-terminal.
TEST(ProcessDocuments, OpenFilesThatCannotBeReadAreNotNone) {
    FakeProc fake("");
    EXPECT_EQ(ProcessDocuments::openFiles(77, fake.proc), std::vector<std::filesystem::path>{});
    fake.open(3, "/dev/ptmx");
    EXPECT_EQ(ProcessDocuments::openFiles(77, fake.proc),
              std::vector<std::filesystem::path>{"/dev/ptmx"});
    EXPECT_EQ(ProcessDocuments::openFiles(78, fake.proc), std::nullopt);
    EXPECT_EQ(ProcessDocuments::openFiles(0, fake.proc), std::nullopt);
}

TEST(ProcessDocuments, FileAddressesAreDecodedAndVanishedFilesLeftOut) {
    FakeProc fake("");
    const auto kept = fake.file("한글 책.pdf");
    fake.dir.write("proc/77/cmdline",
                   args({"viewer",
                         "file://" + std::filesystem::path(kept).parent_path().string() +
                             "/%ED%95%9C%EA%B8%80%20%EC%B1%85.pdf",
                         fake.files.string() + "/gone.pdf"}));
    EXPECT_EQ(ProcessDocuments::candidates(77, fake.proc), std::vector<std::string>{kept});
}

TEST(ProcessDocuments, DocumentsLeaveOutHiddenFilesAndTheSystemsOwn) {
    FakeProc fake(args({"soffice.bin", "--writer", "/usr/share/doc/readme.txt"}));
    const auto essay = fake.file("essay.odt");
    fake.open(3, essay);
    fake.open(4, fake.file(".~lock.essay.odt#"));
    fake.open(5, fake.file(".cache/thumbs.db"));
    fake.open(6, "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
    fake.open(7, "/dev/null");
    fake.open(8, fake.files);  // a folder
    fake.open(10, essay);      // the same file twice
    EXPECT_EQ(ProcessDocuments::candidates(77, fake.proc), std::vector<std::string>{essay});
}

TEST(ProcessDocuments, TheTitleMustShowTheFileAsAWordOfItsOwn) {
    const std::vector<std::string> open = {"/home/u/notes.txt", "/home/u/my notes.txt",
                                           "/home/u/보고서.odt", "/home/u/a.txt"};
    auto named = [&](const std::string& title) {
        return ProcessDocuments::namedInTitle(open, title, home);
    };
    // The longest name the title shows wins; a whole path wins over any name.
    EXPECT_EQ(named("my notes.txt - Mousepad"), "/home/u/my notes.txt");
    EXPECT_EQ(named("*notes.txt - Mousepad"), "/home/u/notes.txt");
    EXPECT_EQ(named("/home/u/notes.txt - Mousepad"), "/home/u/notes.txt");
    EXPECT_EQ(named("보고서.odt - LibreOffice Writer"), "/home/u/보고서.odt");
    // A name glued to other letters is another name.
    EXPECT_EQ(named("새보고서.odt - LibreOffice Writer"), std::nullopt);
    EXPECT_EQ(named("my_notes.txt - Mousepad"), std::nullopt);
    EXPECT_EQ(named("data.txt - Mousepad"), std::nullopt);
    EXPECT_EQ(named("Untitled 1 - LibreOffice Writer"), std::nullopt);
    EXPECT_EQ(ProcessDocuments::namedInTitle(open, std::nullopt, home), std::nullopt);
    EXPECT_TRUE(ProcessDocuments::shownInTitle("/home/u/a.txt", std::string("a.txt"), home));
    EXPECT_FALSE(ProcessDocuments::shownInTitle("/home/u/a.txt", std::string("/tmp/a.txt"), home));
}

TEST(ProcessDocuments, AFileIsNamedOnlyWhenTheTitleLeavesNoDoubt) {
    const std::vector<std::string> twins = {"/home/u/a/notes.txt", "/home/u/b/notes.txt"};
    auto named = [&](const std::string& title) {
        return ProcessDocuments::namedInTitle(twins, title, home);
    };
    // A path settles it; a name both files have does not.
    EXPECT_EQ(named("/home/u/b/notes.txt - Mousepad"), "/home/u/b/notes.txt");
    EXPECT_EQ(named("/home/u/a/notes.txt - Mousepad"), "/home/u/a/notes.txt");
    EXPECT_EQ(named("notes.txt - Mousepad"), std::nullopt);
    // So does the path from the home folder or the folder above the name.
    EXPECT_EQ(named("~/b/notes.txt - Sublime Text"), "/home/u/b/notes.txt");
    EXPECT_EQ(named("a/notes.txt — Kate"), "/home/u/a/notes.txt");
    // A path that is neither names neither, though it ends in their name or holds their path.
    EXPECT_EQ(named("/home/u/c/notes.txt - Mousepad"), std::nullopt);
    EXPECT_EQ(named("~/c/notes.txt - Mousepad"), std::nullopt);
    EXPECT_EQ(named("x/a/notes.txt — Kate"), std::nullopt);
    EXPECT_EQ(named("/mnt/home/u/b/notes.txt - Mousepad"), std::nullopt);
    EXPECT_EQ(named("notes.txt~ - Mousepad"), std::nullopt);
    EXPECT_EQ(ProcessDocuments::namedInTitle({"/home/u/a/notes.txt"},
                                             std::string("/home/u/c/notes.txt - Mousepad"), home),
              std::nullopt);

    // One file reached by two paths is one file.
    TempDir dir;
    const auto real = dir.write("real/notes.txt", "x");
    std::filesystem::create_directory_symlink(dir.path() / "real", dir.path() / "link");
    const std::string linked = (dir.path() / "link/notes.txt").string();
    EXPECT_EQ(ProcessDocuments::namedInTitle({real.string(), linked, real.string()},
                                             std::string("notes.txt - Mousepad"), home),
              real.string());
}

TEST(ProcessDocuments, ProgramNamesComeFromTheCommandTheProgramAndTheFirstArgument) {
    FakeProc fake(args({"/usr/bin/Mousepad", "notes.txt"}));
    fake.dir.write("proc/77/comm", "mousepad\n");
    std::filesystem::create_symlink("/usr/bin/mousepad-bin", fake.proc / "77" / "exe");
    EXPECT_EQ(ProcessDocuments::programNames(77, fake.proc),
              (std::vector<std::string>{"mousepad", "mousepad-bin"}));
    EXPECT_TRUE(ProcessDocuments::programNames(78, fake.proc).empty());
}

}  // namespace
}  // namespace parlendo
