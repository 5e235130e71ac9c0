#include "shell/BuildStamp.h"
#include "shell/InstallLocation.h"
#include "shell/InstallRecord.h"
#include "shell/RelaunchHelper.h"

#include "LogCapture.h"
#include "TempDir.h"

#include <gtest/gtest.h>

namespace parlendo {
namespace {

using testing::LogCapture;
using testing::TempDir;

TEST(BuildStampTest, VersionsCompareNumerically) {
    EXPECT_EQ(BuildStamp::numbers("1.10"), (std::vector<std::int64_t>{1, 10}));
    EXPECT_EQ(BuildStamp::numbers("1..2"), (std::vector<std::int64_t>{1, 2}));
    EXPECT_EQ(BuildStamp::numbers("2b"), (std::vector<std::int64_t>{0}));
    EXPECT_EQ(BuildStamp::numbers("+3.-4.+-5.99999999999999999999"),
              (std::vector<std::int64_t>{3, -4, 0, 0}));
    EXPECT_TRUE(BuildStamp::numbers("").empty());

    EXPECT_EQ(BuildStamp::order("1.2", "1.2.0"), 0);
    EXPECT_EQ(BuildStamp::order("1.10", "1.9"), 1);
    EXPECT_EQ(BuildStamp::order("1.9", "1.10"), -1);
    EXPECT_EQ(BuildStamp::order("20250301.02", "20250301.10"), -1);

    const BuildStamp older{"0.2.0", "9"};
    const BuildStamp newer{"0.2.0", "10"};
    EXPECT_TRUE(older < newer);
    EXPECT_FALSE(newer < older);
    EXPECT_TRUE(BuildStamp({"1.10", "1"}) > BuildStamp({"1.9", "5"}));
    EXPECT_EQ(newer.label(), "0.2.0 (10)");
    // Textually different but numerically equal: neither is below the other.
    EXPECT_FALSE(BuildStamp({"0.2", "1"}) == BuildStamp({"0.2.0", "1"}));
    EXPECT_FALSE(BuildStamp({"0.2", "1"}) < BuildStamp({"0.2.0", "1"}));
}

TEST(InstallRecordTest, ObserveAnswersTheChangeAndRewritesTheRecord) {
    LogCapture log;
    TempDir dir;
    InstallRecord record(dir.path() / "PARLENDO");
    EXPECT_EQ(record.observe({"1.9", "1"}), InstallChange::firstRun());
    EXPECT_EQ(TempDir::read(record.file()), R"({"build":"1","version":"1.9"})");
    EXPECT_EQ(std::filesystem::status(record.file()).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write)
        << "the record is the user's alone";
    EXPECT_EQ(record.observe({"1.9", "1"}), InstallChange::same());
    EXPECT_EQ(record.observe({"1.10", "1"}), InstallChange::upgraded({"1.9", "1"}));
    EXPECT_EQ(record.observe({"1.9", "1"}), InstallChange::downgraded({"1.10", "1"}));
    EXPECT_EQ(record.observe({"1.9", "10"}), InstallChange::upgraded({"1.9", "1"}));
    EXPECT_EQ(record.observe({"1.9.0", "10"}), InstallChange::upgraded({"1.9", "10"}));
    EXPECT_EQ(record.last(), (BuildStamp{"1.9.0", "10"}));
    EXPECT_EQ(InstallChange::downgraded({"1", "1"}).name(), "downgraded");
    EXPECT_EQ(InstallChange::firstRun().name(), "first_run");
    EXPECT_TRUE(log.messages("install").empty());
}

TEST(InstallRecordTest, ACorruptRecordCountsAsNoneIsReportedAndReplaced) {
    LogCapture log;
    TempDir dir;
    InstallRecord record(dir.path());
    for (const char* bad : {R"({"version": 2, "build": "1"})", "garbage", R"({"version":"1"})"}) {
        dir.write(InstallRecord::fileName, bad);
        EXPECT_EQ(record.observe({"0.2.0", "1"}), InstallChange::firstRun()) << bad;
    }
    EXPECT_EQ(log.count("install", "기록을 읽지 못함"), 3u);
    EXPECT_EQ(record.last(), (BuildStamp{"0.2.0", "1"}));

    // A record that cannot be written is logged; the change is answered all the same.
    dir.write("file", "");
    InstallRecord blocked(dir.path() / "file");
    EXPECT_EQ(blocked.observe({"0.2.0", "1"}), InstallChange::firstRun());
    EXPECT_EQ(log.count("install", "기록 실패 "), 1u);
}

TEST(InstallRecordTest, AReplacedInstallIsSeenInItsBuildInfo) {
    TempDir dir;
    const BuildStamp running{"0.2.0", "20250301.01"};
    const auto info = dir.path() / "build_info.json";
    EXPECT_FALSE(InstallRecord::replacedOnDisk(running, info));
    dir.write("build_info.json",
              R"({"CFBundleShortVersionString":"0.2.0","CFBundleVersion":"20250301.01"})");
    EXPECT_FALSE(InstallRecord::replacedOnDisk(running, info));
    dir.write("build_info.json",
              R"({"CFBundleShortVersionString":"0.2.1","CFBundleVersion":"20250302.01"})");
    EXPECT_EQ(InstallRecord::replacedOnDisk(running, info), (BuildStamp{"0.2.1", "20250302.01"}));
    dir.write("build_info.json", R"({"CFBundleShortVersionString":"0.2.1","CFBundleVersion":3})");
    EXPECT_FALSE(InstallRecord::replacedOnDisk(running, info));
}

TEST(InstallLocationTest, JudgesWhereTheProgramRuns) {
    using enum InstallLocation;
    const std::string home = "/home/mina";
    const auto judge = [&](const char* path) {
        return InstallLocations::judge(path, home);
    };
    EXPECT_EQ(judge("/Volumes/PARLENDO/AppTranslocation/x/bin/parlendo"), translocated);
    EXPECT_EQ(judge("/private/var/AppTranslocation/x"), translocated);
    EXPECT_EQ(judge("/Volumes/PARLENDO/bin/parlendo"), diskImage);
    EXPECT_EQ(judge("/Applications/Tools/PARLENDO"), applications);
    EXPECT_EQ(judge("/home/mina/Applications/PARLENDO"), applications);
    EXPECT_EQ(judge("/tmp/.mount_ParlenAbC/usr/bin/parlendo"), diskImage);
    EXPECT_EQ(judge("/media/mina/USB/parlendo/bin/parlendo"), diskImage);
    EXPECT_EQ(judge("/run/media/mina/USB/bin/parlendo"), diskImage);
    EXPECT_EQ(judge("/usr/bin/parlendo"), applications);
    EXPECT_EQ(judge("/usr/local/bin/parlendo"), applications);
    EXPECT_EQ(judge("/opt/parlendo/bin/parlendo"), applications);
    EXPECT_EQ(judge("/home/mina/.local/bin/parlendo"), applications);
    EXPECT_EQ(judge("/home/mina/Desktop/parlendo"), elsewhere);
    EXPECT_EQ(judge("/home/minah/.local/bin/parlendo"), elsewhere);
    EXPECT_EQ(InstallLocations::judge("/x/.local/bin/p", ""), elsewhere);

    EXPECT_TRUE(InstallLocations::needsMove(diskImage));
    EXPECT_TRUE(InstallLocations::needsMove(translocated));
    EXPECT_FALSE(InstallLocations::needsMove(elsewhere));
    EXPECT_EQ(InstallLocations::fromString("disk_image"), diskImage);
    EXPECT_FALSE(InstallLocations::fromString("Disk_image"));
}

TEST(RelaunchHelperTest, CommandWaitsForTheOldProcessThenOpensTheProgram) {
    const auto command =
        RelaunchHelper::command(4242, "/usr/bin/parlendo", RelaunchHelper::defaultOpener);
    EXPECT_EQ(command.executable, "/bin/sh");
    EXPECT_EQ(command.arguments,
              (std::vector<std::string>{"-c", RelaunchHelper::script(), "parlendo-relaunch", "4242",
                                        "/usr/bin/parlendo", "/usr/bin/env"}));
    EXPECT_TRUE(RelaunchHelper::script().starts_with("i=0\nwhile kill -0 \"$1\" 2>/dev/null; do"));
    EXPECT_TRUE(RelaunchHelper::script().ends_with("/bin/sleep 1\nexec \"$3\" \"$2\""));
    EXPECT_FALSE(RelaunchHelper::programPath().empty());
}

}  // namespace
}  // namespace parlendo
