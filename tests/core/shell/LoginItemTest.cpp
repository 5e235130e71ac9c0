#include "shell/LoginItem.h"

#include "LogCapture.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace parlendo {
namespace {

using Status = LoginItem::Status;
using testing::LogCapture;
using testing::TempDir;

TEST(LoginItemTest, OnWhileTheEntryIsThereAndNotHidden) {
    LogCapture log;
    TempDir dir;
    const auto file = dir.path() / "autostart" / LoginItem::fileName;
    LoginItem item(file, "/usr/bin/parlendo");
    EXPECT_EQ(item.status(), Status::notRegistered);
    // Removing what is not there is no failure.
    EXPECT_FALSE(item.unregisterItem());

    ASSERT_FALSE(item.registerItem());
    EXPECT_EQ(item.status(), Status::enabled);
    const std::string text = TempDir::read(file);
    EXPECT_TRUE(text.starts_with("[Desktop Entry]\nType=Application\n"));
    EXPECT_NE(text.find("\nExec=\"/usr/bin/parlendo\"\n"), std::string::npos);

    // Switched off by the desktop's own settings.
    dir.write("autostart/parlendo.desktop", text + "Hidden=true\n");
    EXPECT_EQ(item.status(), Status::notRegistered);
    dir.write("autostart/parlendo.desktop", text + "Hidden = false\n");
    EXPECT_EQ(item.status(), Status::enabled);
    // Hidden in another group does not count.
    dir.write("autostart/parlendo.desktop", text + "[Desktop Action x]\nHidden=true\n");
    EXPECT_EQ(item.status(), Status::enabled);

    ASSERT_FALSE(item.unregisterItem());
    EXPECT_EQ(item.status(), Status::notRegistered);
    EXPECT_TRUE(log.messages("install").empty());
}

TEST(LoginItemTest, ACorruptEntryIsReportedOnceCountsOffAndIsReplaced) {
    LogCapture log;
    TempDir dir;
    const auto file = dir.write("autostart/parlendo.desktop", "\x01\x02garbage\nExec=/bin/evil\n");
    LoginItem item(file, "/opt/parlendo/bin/parlendo");
    EXPECT_EQ(item.status(), Status::notRegistered);
    EXPECT_EQ(item.status(), Status::notRegistered);
    EXPECT_EQ(log.count("install", "login_item 파일이 올바르지 않음"), 1u);
    ASSERT_FALSE(item.registerItem());
    EXPECT_EQ(item.status(), Status::enabled);
    EXPECT_EQ(TempDir::read(file), LoginItem::entry("/opt/parlendo/bin/parlendo"));
}

TEST(LoginItemTest, RegisteringWithoutAProgramFailsAndExecIsQuoted) {
    TempDir dir;
    LoginItem item(dir.path() / "parlendo.desktop", "");
    EXPECT_TRUE(item.registerItem());
    EXPECT_EQ(item.status(), Status::notRegistered);

    EXPECT_EQ(LoginItem::execValue("/home/a b/$x`y\"z%1"), R"("/home/a b/\$x\`y\"z%%1")");
    EXPECT_EQ(LoginItem::execValue("/a\\b"), R"("/a\\\\b")");
}

TEST(LoginItemTest, DefaultFileFollowsTheConfigHome) {
    const char* saved = std::getenv("XDG_CONFIG_HOME");
    const std::string keep = saved ? saved : "";
    ::setenv("XDG_CONFIG_HOME", "/tmp/parlendo-config", 1);
    EXPECT_EQ(LoginItem::defaultFile(), "/tmp/parlendo-config/autostart/parlendo.desktop");
    if (saved) {
        ::setenv("XDG_CONFIG_HOME", keep.c_str(), 1);
    } else {
        ::unsetenv("XDG_CONFIG_HOME");
    }
}

}  // namespace
}  // namespace parlendo
