#include "DesktopSession.h"
#include "LogCapture.h"
#include "TempDir.h"
#include "manage/SystemOpener.h"

#include <gtest/gtest.h>

#include <optional>

namespace parlendo {
namespace {

using testing::DesktopSession;
using testing::TempDir;

// The desktop's handlers of this process only: a script registered for a URL scheme of the test
// and as the default for plain text, which writes down what it was handed. Each test runs in a
// process of its own, before anything has read the desktop's handlers.
struct SystemOpenerTest : ::testing::Test {
    void SetUp() override {
        const auto data = dir.path() / "data";
        const auto config = dir.path() / "config";
        const auto script = dir.write(
            "handler.sh", "#!/bin/sh\nprintf '%s\\n' \"$1\" >> \"" + opened().string() + "\"\n");
        std::filesystem::permissions(script, std::filesystem::perms::owner_all);
        dir.write("data/applications/parlendo-test-handler.desktop",
                  "[Desktop Entry]\nType=Application\nName=Parlendo test handler\nExec=" +
                      script.string() +
                      " %u\nMimeType=x-scheme-handler/parlendo-test;text/plain;\nNoDisplay=true\n");
        dir.write("config/mimeapps.list",
                  "[Default Applications]\nx-scheme-handler/parlendo-test="
                  "parlendo-test-handler.desktop\ntext/plain=parlendo-test-handler.desktop\n");
        ::setenv("XDG_DATA_HOME", data.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    }

    std::filesystem::path opened() const { return dir.path() / "opened"; }
    // What the handler was handed, once it was.
    std::string handed() {
        DesktopSession::pumpUntil([&] { return std::filesystem::exists(opened()); }, 15);
        return TempDir::read(opened());
    }

    TempDir dir;
    testing::LogCapture log;
};

TEST_F(SystemOpenerTest, AnAddressReachesItsHandlerWithItsBytesEncoded) {
    EXPECT_EQ(SystemOpener::asciiURL("parlendo-test://예/a b?q=%41&r=é"),
              "parlendo-test://%EC%98%88/a b?q=%41&r=%C3%A9");
    SystemOpener().open("parlendo-test://예시/page?q=1");
    EXPECT_EQ(handed(), "parlendo-test://%EC%98%88%EC%8B%9C/page?q=1\n");
}

TEST_F(SystemOpenerTest, AFileIsOpenedByItsDefaultApplicationAndAFailureIsReported) {
    const auto file = dir.write("읽을 거리 1.txt", "reading");
    std::optional<bool> result;
    SystemOpener().openPath(file.string(), [&](bool opened) { result = opened; });
    ASSERT_TRUE(DesktopSession::pumpUntil([&] { return result.has_value(); }, 15));
    EXPECT_TRUE(*result);
    // A local file reaches the application as its path, spaces and Korean letters intact.
    EXPECT_EQ(handed(), file.string() + "\n");

    // No application takes this kind of file: the caller hears it and the log says why.
    const auto odd = dir.write("data.parlendo-unknown", std::string("\x00\x01\x02\xff", 4));
    result.reset();
    SystemOpener().openPath(odd.string(), [&](bool opened) { result = opened; });
    ASSERT_TRUE(DesktopSession::pumpUntil([&] { return result.has_value(); }, 15));
    EXPECT_FALSE(*result);
    EXPECT_FALSE(log.startingWith("manage", "열기 실패 ").empty());
}

}  // namespace
}  // namespace parlendo
