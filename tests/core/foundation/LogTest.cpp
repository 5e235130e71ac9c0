#include <gtest/gtest.h>

#include "foundation/ConfigError.h"
#include "foundation/Log.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace parlendo {
namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::stringstream in(text);
    for (std::string line; std::getline(in, line);) {
        out.push_back(line);
    }
    return out;
}

class LogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("parlendo-log-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        Log::setDirectory(dir_);
        Log::setMaxBytes(10485760);
        Log::setMoveFile([](const fs::path& from, const fs::path& to) {
            std::error_code ec;
            fs::rename(from, to, ec);
            return ec;
        });
    }
    void TearDown() override {
        Log::flush();
        Log::setTap(nullptr);
        Log::setMaxBytes(10485760);
        fs::remove_all(dir_);
    }
    std::string current() {
        Log::flush();
        return readFile(dir_ / "app.log");
    }
    fs::path dir_;
};

TEST_F(LogTest, WritesTimestampedLinesInCallOrderAndCreatesTheFolder) {
    Log::write("app", "시작 version=0.2.0");
    Log::write("net", "path=/rest/v1/x status=200");
    auto got = lines(current());
    ASSERT_EQ(got.size(), 2u);
    const std::regex shape(
        R"(^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3} \[app\] 시작 version=0\.2\.0$)");
    EXPECT_TRUE(std::regex_match(got[0], shape)) << got[0];
    EXPECT_TRUE(got[1].ends_with(" [net] path=/rest/v1/x status=200"));
}

// Closing appends what was written, and nothing written after it brings a removed folder back.
TEST_F(LogTest, AClosedLogWritesWhatCameBeforeAndNothingAfter) {
    Log::write("install", "before");
    Log::close();
    EXPECT_TRUE(readFile(dir_ / "app.log").ends_with(" [install] before\n"));
    fs::remove_all(dir_);
    Log::write("install", "after");
    Log::flush();
    EXPECT_FALSE(fs::exists(dir_));
    Log::setDirectory(dir_);
    Log::write("install", "again");
    EXPECT_TRUE(current().ends_with(" [install] again\n"));
}

TEST_F(LogTest, TapSeesTagAndMessageSynchronously) {
    std::vector<std::pair<std::string, std::string>> seen;
    Log::setTap([&](const std::string& tag, const std::string& message) {
        seen.emplace_back(tag, message);
    });
    Log::write("auth", "a");
    ASSERT_EQ(seen.size(), 1u);  // before any flush
    EXPECT_EQ(seen[0], (std::pair<std::string, std::string>{"auth", "a"}));
}

TEST_F(LogTest, RotatesBeforeTheLineThatWouldCrossTheLimit) {
    Log::write("t", "first");
    const auto firstSize = current().size();
    Log::setMaxBytes(firstSize);  // the file is exactly at the limit
    Log::write("t", "second");
    EXPECT_TRUE(current().ends_with(" [t] second\n"));
    EXPECT_EQ(lines(current()).size(), 1u);
    EXPECT_TRUE(readFile(dir_ / "app.1.log").ends_with(" [t] first\n"));

    // Only one older generation is kept.
    Log::write("t", "third");
    Log::flush();
    EXPECT_TRUE(readFile(dir_ / "app.1.log").ends_with(" [t] second\n"));
}

TEST_F(LogTest, LinesWrittenTogetherStillRotateLineByLine) {
    Log::write("t", "first");
    Log::setMaxBytes(current().size());
    Log::write("t", "second");
    Log::write("t", "third");
    EXPECT_EQ(lines(current()).size(), 1u);
    EXPECT_TRUE(current().ends_with(" [t] third\n"));
    EXPECT_TRUE(readFile(dir_ / "app.1.log").ends_with(" [t] second\n"));
}

TEST_F(LogTest, LinesReachTheFileWithoutAFlush) {
    for (int i = 0; i < 50; ++i) {
        Log::write("t", "line " + std::to_string(i));
    }
    // The queue appends shortly after the first line; nobody has to ask.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (lines(readFile(dir_ / "app.log")).size() < 50 &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    auto got = lines(readFile(dir_ / "app.log"));
    ASSERT_EQ(got.size(), 50u);
    EXPECT_TRUE(got[0].ends_with(" [t] line 0"));
    EXPECT_TRUE(got[49].ends_with(" [t] line 49"));
}

TEST_F(LogTest, AnEmptyFileNeverRotatesEvenForAnOversizedLine) {
    Log::setMaxBytes(4);
    Log::write("t", std::string(100, 'x'));
    EXPECT_EQ(lines(current()).size(), 1u);
    EXPECT_FALSE(fs::exists(dir_ / "app.1.log"));
}

TEST_F(LogTest, FailedRotationIsReportedOnceAndLinesKeepComing) {
    Log::write("t", "one");
    Log::setMaxBytes(1);
    Log::setMoveFile([](const fs::path&, const fs::path&) {
        return std::make_error_code(std::errc::permission_denied);
    });
    Log::write("t", "two");
    Log::write("t", "three");
    auto got = lines(current());
    ASSERT_EQ(got.size(), 4u);
    EXPECT_TRUE(got[1].find(" [log] 🔴 돌려쓰기 실패 generic#13 — app.log 에 이어 쓴다") !=
                std::string::npos)
        << got[1];
    EXPECT_TRUE(got[2].ends_with("two"));
    EXPECT_TRUE(got[3].ends_with("three"));
}

TEST_F(LogTest, UnwritableFolderNeverStopsTheCaller) {
    Log::setDirectory("/proc/parlendo-cannot-exist");
    Log::write("t", "lost");
    Log::flush();
    SUCCEED();
}

TEST_F(LogTest, InvalidUtf8IsWrittenAsReplacementCharacters) {
    Log::write("t", std::string("a\xff") + "b");
    EXPECT_TRUE(
        current().ends_with("a\xEF\xBF\xBD"
                            "b\n"));
}

TEST(LogRedact, EmptyAndAbsentAreNone) {
    EXPECT_EQ(Log::redact(std::optional<std::string_view>()), "none");
    EXPECT_EQ(Log::redact(""), "none");
}

TEST(LogRedact, CountsCharactersAndIsStableWithinTheProcess) {
    if (Log::isRawEnabled()) {
        GTEST_SKIP() << "raw logging is on in this environment";
    }
    const std::string a = Log::redact("abc");
    EXPECT_TRUE(std::regex_match(a, std::regex("^len=3#[0-9a-f]{8}$"))) << a;
    EXPECT_EQ(a, Log::redact("abc"));
    EXPECT_NE(a, Log::redact("abd"));
    EXPECT_TRUE(Log::redact("사과").starts_with("len=2#"));
    EXPECT_TRUE(Log::redact("e\u0301").starts_with("len=1#"));
    EXPECT_TRUE(Log::redact("🇰🇷").starts_with("len=1#"));
}

TEST(LogDescribe, NamesConfigErrorsAndErrorCodes) {
    EXPECT_EQ(Log::describe(ConfigError::reason("PROFILE_FIELDS_INVALID")),
              "ConfigError(PROFILE_FIELDS_INVALID)");
    EXPECT_EQ(Log::describe(std::make_error_code(std::errc::no_such_file_or_directory)),
              "generic#2");
    EXPECT_EQ(Log::describe("NSURLErrorDomain", -1009), "NSURLErrorDomain#-1009");
}

}  // namespace
}  // namespace parlendo
