#include <gtest/gtest.h>

#include "capture/GioContentTypes.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace parlendo {
namespace {

namespace fs = std::filesystem;

class GioContentTypesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("parlendo-gio-types-" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Writes a file without any execute permission, so only its content type can call it
    // runnable.
    std::string write(const std::string& name, const std::string& content) {
        const fs::path path = dir_ / name;
        std::ofstream(path, std::ios::binary) << content;
        ::chmod(path.c_str(), 0644);
        return path.string();
    }

    fs::path dir_;
};

TEST_F(GioContentTypesTest, RunnableFilesAreKnownByTheirContentType) {
    struct Case {
        std::string name;
        std::string content;
        bool runnable;
    };
    const Case cases[] = {
        {"paper.pdf", "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n", false},
        {"notes.txt", "plain words\n", false},
        {"page.html", "<!DOCTYPE html><html><body>hi</body></html>", false},
        {"\uD55C\uAE00 \uBB38\uC11C.txt", "\uD55C\uAE00\n", false},
        {"install.sh", "#!/bin/sh\necho hi\n", true},
        {"tool", "#!/bin/sh\necho hi\n", true},
        {"run.py", "#!/usr/bin/env python3\nprint(1)\n", true},
        {"launcher.desktop", "[Desktop Entry]\nType=Application\nName=X\nExec=/bin/true\n", true},
        {"App.AppImage",
         std::string("\x7F"
                     "ELF\x02\x01\x01\0\0\0\0\0\0\0\0\0",
                     16),
         true},
        {"setup.exe", "MZ\x90\0\x03\0\0\0", true},
    };
    for (const Case& c : cases) {
        const std::string path = write(c.name, c.content);
        EXPECT_EQ(GioContentTypes::systemSaysRunnable(path), c.runnable)
            << c.name << " is " << GioContentTypes::contentType(path).value_or("unknown");
    }
}

TEST_F(GioContentTypesTest, AnExecutableCopiedWithoutPermissionIsStillRunnable) {
    const fs::path copy = dir_ / "copied";
    fs::copy_file("/bin/true", copy);
    ::chmod(copy.c_str(), 0644);
    const SourceURL::LocalFacts facts = GioContentTypes::inspect(copy.string());
    EXPECT_TRUE(facts.exists);
    EXPECT_FALSE(facts.hasExecutePermission);
    EXPECT_TRUE(facts.systemSaysRunnable)
        << GioContentTypes::contentType(copy.string()).value_or("unknown");
    EXPECT_EQ(SourceURL::judgeLocal(SourceURL::standardFile("file://" + copy.string()),
                                    &GioContentTypes::inspect),
              SourceURL::LocalOpen(SourceURL::Runnable{}));
}

TEST_F(GioContentTypesTest, UnreadableOrMissingFilesAreNotCalledRunnable) {
    EXPECT_EQ(GioContentTypes::contentType((dir_ / "missing").string()), std::nullopt);
    EXPECT_FALSE(GioContentTypes::systemSaysRunnable((dir_ / "missing").string()));
    EXPECT_EQ(GioContentTypes::inspect((dir_ / "missing").string()), SourceURL::LocalFacts{});
    EXPECT_FALSE(GioContentTypes::isRunnableType("application/pdf"));
    EXPECT_FALSE(GioContentTypes::isRunnableType("text/plain"));
    EXPECT_TRUE(GioContentTypes::isRunnableType("application/x-perl"));

    const std::string pdf = write("paper.pdf", "%PDF-1.4\n");
    EXPECT_EQ(SourceURL::judgeLocal("file://" + pdf, &GioContentTypes::inspect),
              SourceURL::LocalOpen(SourceURL::Open{pdf}));
}

}  // namespace
}  // namespace parlendo
