#include <gtest/gtest.h>

#include "TempDir.h"
#include "WindowRig.h"
#include "manage/LocalSources.h"

#include <sys/stat.h>

namespace parlendo {
namespace {

using Local = SourceOpener::Local;

std::string fileURL(const std::filesystem::path& path) {
    gchar* uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
    std::string out = uri;
    g_free(uri);
    return out;
}

TEST(LocalSources, ProgramsOfEveryKindAreNeverOpened) {
    testing::TempDir dir;
    std::filesystem::copy_file("/bin/true", dir.path() / "program");
    ::chmod((dir.path() / "program").c_str(), 0644);  // an ELF file without execute permission
    dir.write("run", "#!/bin/sh\necho hi\n");
    dir.write("app.desktop", "[Desktop Entry]\nType=Application\nExec=true\n");
    dir.write("tool.AppImage", "AppImage");
    dir.write("package.deb", "!<arch>\ndebian-binary");
    dir.write("package.rpm", std::string("\xed\xab\xee\xdb", 4));
    dir.write("setup.sh", "echo");
    dir.write("Thing.app/inside.pdf", "%PDF-1.4");
    dir.write("exec.pdf", "%PDF-1.4");
    ::chmod((dir.path() / "exec.pdf").c_str(), 0755);
    for (const char* name : {"program", "run", "app.desktop", "tool.AppImage", "package.deb",
                             "package.rpm", "setup.sh", "Thing.app/inside.pdf", "exec.pdf"}) {
        EXPECT_EQ(judgeLocalSource(fileURL(dir.path() / name)), Local::runnable()) << name;
    }

    auto opener = std::make_shared<testing::RecordingOpener>();
    SourceOpener sources(opener, &judgeLocalSource);
    EXPECT_EQ(sources.open(fileURL(dir.path() / "app.desktop")), SourceOpener::Outcome::runnable);
    EXPECT_EQ(sources.localStatus(fileURL(dir.path() / "program")), "unsupported");
    EXPECT_TRUE(opener->paths.empty());
}

TEST(LocalSources, DocumentsAreOpenedByTheirDecodedPath) {
    testing::TempDir dir;
    const auto paper = dir.write("Paper One.pdf", "%PDF-1.4");
    std::filesystem::create_directories(dir.path() / "folder");
    auto opener = std::make_shared<testing::RecordingOpener>();
    SourceOpener sources(opener, &judgeLocalSource);

    EXPECT_EQ(sources.open("file://" + dir.path().string() + "/Paper%20One.pdf#page=3"),
              SourceOpener::Outcome::opened);
    EXPECT_EQ(sources.open(fileURL(dir.path() / "folder")), SourceOpener::Outcome::opened);
    EXPECT_EQ(opener->paths,
              (std::vector<std::string>{paper.string(), (dir.path() / "folder").string()}));
    EXPECT_EQ(sources.localStatus(fileURL(paper)), "available");
    EXPECT_EQ(sources.localStatus(fileURL(dir.path() / "gone.pdf")), "missing");
    EXPECT_EQ(sources.open(fileURL(dir.path() / "gone.pdf")), SourceOpener::Outcome::missing);
    EXPECT_EQ(sources.localStatus("file://relative/x.pdf"), "unsupported");
    EXPECT_EQ(sources.localStatus("file:////double/x.pdf"), "unsupported");
}

}  // namespace
}  // namespace parlendo
