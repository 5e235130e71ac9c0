#include <gtest/gtest.h>

#include <optional>

#include "TempDir.h"
#include "WindowRig.h"
#include "capture/GioContentTypes.h"
#include "manage/LocalSources.h"

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>

namespace parlendo {
namespace {

// What opening `address` comes to; the recording opener answers at once.
SourceOpener::Outcome opened(const SourceOpener& sources, const std::string& address) {
    std::optional<SourceOpener::Outcome> outcome;
    sources.open(address, [&](SourceOpener::Outcome o) { outcome = o; });
    return outcome.value();
}

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
    EXPECT_EQ(opened(sources, fileURL(dir.path() / "app.desktop")),
              SourceOpener::Outcome::runnable);
    EXPECT_EQ(sources.localStatus(fileURL(dir.path() / "program")), "unsupported");
    EXPECT_TRUE(opener->paths.empty());
}

TEST(LocalSources, WhatIsOpenedIsTheResolvedPathThatWasJudged) {
    testing::TempDir temp;
    const std::filesystem::path dir = std::filesystem::canonical(temp.path());
    temp.write("docs/paper.pdf", "%PDF-1.4\n");
    temp.write("notes.txt", "plain words\n");
    temp.write("bin/tool", "#!/bin/sh\necho hi\n");
    ::chmod((dir / "bin/tool").c_str(), 0755);
    temp.write("apps/start.desktop", "[Desktop Entry]\nType=Application\nExec=true\n");
    std::filesystem::create_directories(dir / "bin/inner");
    std::filesystem::create_symlink(dir / "bin/inner", dir / "linked");
    std::filesystem::create_symlink(dir / "notes.txt", dir / "x.desktop");
    std::filesystem::create_symlink(dir / "apps/start.desktop", dir / "read-me.pdf");
    std::filesystem::create_symlink(dir / "docs", dir / "papers");
    auto opener = std::make_shared<testing::RecordingOpener>();
    SourceOpener sources(opener, &judgeLocalSource);

    // A link named like a launcher, leading to a text file.
    EXPECT_EQ(opened(sources, fileURL(dir / "x.desktop")), SourceOpener::Outcome::runnable);
    // A link named like a document, leading to a launcher.
    EXPECT_EQ(opened(sources, fileURL(dir / "read-me.pdf")), SourceOpener::Outcome::runnable);
    // "linked/.." is the linked folder's parent, where a program lies, not this folder.
    EXPECT_EQ(opened(sources, "file://" + (dir / "linked").string() + "/../tool"),
              SourceOpener::Outcome::runnable);
    EXPECT_TRUE(opener->paths.empty());
    // Documents behind links open by the path they resolve to.
    EXPECT_EQ(opened(sources, fileURL(dir / "papers/paper.pdf")), SourceOpener::Outcome::opened);
    EXPECT_EQ(opened(sources, "file://" + (dir / "papers").string() + "/../notes.txt"),
              SourceOpener::Outcome::opened);
    EXPECT_EQ(opener->paths, (std::vector<std::string>{(dir / "docs/paper.pdf").string(),
                                                       (dir / "notes.txt").string()}));
}

TEST(LocalSources, PackagesDiskImagesAndLinksOfOtherSystemsAreNeverOpened) {
    testing::TempDir dir;
    const std::string text = "some bytes that are no known format\n";
    for (const char* name :
         {"app.flatpakref", "repo.flatpakrepo", "game.apk", "Main.class", "lib.jar", "site.url",
          "disk.iso", "disk.img", "disk.dmg", "disk.qcow2", "disk.vmdk", "tweak.reg", "setup.run",
          "Tool.AppImage", "setup.msi", "shortcut.lnk", "app.snap"}) {
        dir.write(name, text);
        EXPECT_EQ(judgeLocalSource(fileURL(dir.path() / name)), Local::runnable()) << name;
    }
}

TEST(LocalSources, ATypeThatAnInstallerOpensByDefaultIsNeverOpened) {
    // Here the desktop opens CSV files with a package installer, tab-separated ones with a shell
    // and plain text with an editor.
    const auto data = std::filesystem::path(std::getenv("XDG_DATA_HOME"));
    const auto config = std::filesystem::path(std::getenv("XDG_CONFIG_HOME"));
    testing::TempDir files;
    std::filesystem::create_directories(data / "applications");
    std::filesystem::create_directories(config);
    std::ofstream(data / "applications/test-installer.desktop")
        << "[Desktop Entry]\nType=Application\nName=Installer\nExec=true %f\n"
           "Categories=System;PackageManager;\nMimeType=text/csv;\n";
    std::ofstream(data / "applications/test-runner.desktop")
        << "[Desktop Entry]\nType=Application\nName=Runner\nExec=sh %f\n"
           "MimeType=text/tab-separated-values;\n";
    std::ofstream(data / "applications/test-editor.desktop")
        << "[Desktop Entry]\nType=Application\nName=Editor\nExec=true %f\n"
           "Categories=Utility;TextEditor;\nMimeType=text/plain;\n";
    std::ofstream(config / "mimeapps.list")
        << "[Default Applications]\ntext/csv=test-installer.desktop\n"
           "text/tab-separated-values=test-runner.desktop\ntext/plain=test-editor.desktop\n";
    const auto table = files.write("table.csv", "a,b\n1,2\n");
    const auto tabs = files.write("table.tsv", "a\tb\n1\t2\n");
    const auto notes = files.write("notes.txt", "plain words\n");
    ASSERT_EQ(GioContentTypes::contentType(table.string()), "text/csv");
    EXPECT_TRUE(GioContentTypes::handlerRuns("text/csv"));
    EXPECT_TRUE(GioContentTypes::handlerRuns("text/tab-separated-values"));
    EXPECT_FALSE(GioContentTypes::handlerRuns("text/plain"));
    EXPECT_EQ(judgeLocalSource(fileURL(table)), Local::runnable());
    EXPECT_EQ(judgeLocalSource(fileURL(tabs)), Local::runnable());
    EXPECT_EQ(judgeLocalSource(fileURL(notes)),
              Local::open(std::filesystem::canonical(notes).string()));
}

TEST(LocalSources, DocumentsAreOpenedByTheirDecodedPath) {
    testing::TempDir dir;
    const auto paper = dir.write("Paper One.pdf", "%PDF-1.4");
    std::filesystem::create_directories(dir.path() / "folder");
    auto opener = std::make_shared<testing::RecordingOpener>();
    SourceOpener sources(opener, &judgeLocalSource);

    EXPECT_EQ(opened(sources, "file://" + dir.path().string() + "/Paper%20One.pdf#page=3"),
              SourceOpener::Outcome::opened);
    EXPECT_EQ(opened(sources, fileURL(dir.path() / "folder")), SourceOpener::Outcome::opened);
    EXPECT_EQ(opener->paths,
              (std::vector<std::string>{paper.string(), (dir.path() / "folder").string()}));
    EXPECT_EQ(sources.localStatus(fileURL(paper)), "available");
    EXPECT_EQ(sources.localStatus(fileURL(dir.path() / "gone.pdf")), "missing");
    EXPECT_EQ(opened(sources, fileURL(dir.path() / "gone.pdf")), SourceOpener::Outcome::missing);
    EXPECT_EQ(sources.localStatus("file://relative/x.pdf"), "unsupported");
    EXPECT_EQ(sources.localStatus("file:////double/x.pdf"), "unsupported");
}

}  // namespace
}  // namespace parlendo
