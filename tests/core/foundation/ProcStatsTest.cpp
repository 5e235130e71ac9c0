#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <vector>

#include "FakeClock.h"
#include "LogCapture.h"
#include "foundation/ProcStats.h"

namespace parlendo {
namespace {

using Sample = ProcStats::Sample;

TEST(ProcStats, LineAveragesProcessorUseSinceTheReference) {
    // First line: against start-up with no processor time.
    EXPECT_EQ(ProcStats::line(Sample{104857600, 6.0, 12, 160.0}, std::nullopt, 100.0),
              "rss_mb=100 cpu_pct=10 threads=12");
    // Later lines: against the previous sample.
    EXPECT_EQ(
        ProcStats::line(Sample{3 * 1048576 / 2, 9.0, 3, 700.0}, Sample{0, 6.0, 12, 100.0}, 0.0),
        "rss_mb=2 cpu_pct=1 threads=3");  // 1.5 MiB and 0.5 % round away from zero
    EXPECT_EQ(ProcStats::line(Sample{1048576 * 5 / 2 - 1, 2.0, 1, 2.0}, std::nullopt, 0.0),
              "rss_mb=2 cpu_pct=100 threads=1");
    // Several busy processors exceed 100.
    EXPECT_EQ(ProcStats::line(Sample{0, 40.0, 9, 10.0}, Sample{0, 0.0, 1, 0.0}, 0.0),
              "rss_mb=0 cpu_pct=400 threads=9");
}

TEST(ProcStats, DegenerateIntervalsNeverDivideByZero) {
    // Same uptime: the span is 0.001 second.
    EXPECT_EQ(ProcStats::line(Sample{0, 1.00001, 1, 50.0}, Sample{0, 1.0, 1, 50.0}, 0.0),
              "rss_mb=0 cpu_pct=1 threads=1");
    // A clock that went backwards counts as 0.001 second as well.
    EXPECT_EQ(ProcStats::line(Sample{0, 1.0, 1, 40.0}, Sample{0, 1.0, 1, 50.0}, 0.0),
              "rss_mb=0 cpu_pct=0 threads=1");
    // Less processor time than before (a different process's figures) is clamped to 0.
    EXPECT_EQ(ProcStats::line(Sample{0, 1.0, 1, 60.0}, Sample{0, 5.0, 1, 50.0}, 0.0),
              "rss_mb=0 cpu_pct=0 threads=1");
}

TEST(ProcStats, SamplesThisProcess) {
    testing::FakeClock clock(0, 4242.0);
    const auto before = ProcStats::sample(clock);
    ASSERT_TRUE(before);
    EXPECT_GT(before->rssBytes, 1024u * 1024u);
    EXPECT_EQ(before->at, 4242.0);
    const int threadsBefore = before->threads;
    EXPECT_GE(threadsBefore, 1);

    std::mutex mutex;
    std::condition_variable wake;
    bool release = false;
    std::thread extra([&] {
        std::unique_lock lock(mutex);
        wake.wait(lock, [&] { return release; });
    });
    // Burn a little processor time.
    volatile double sink = 0;
    for (int i = 0; i < 3'000'000; ++i) {
        sink = sink + i * 0.5;
    }
    const auto after = ProcStats::sample(clock);
    {
        std::lock_guard lock(mutex);
        release = true;
    }
    wake.notify_all();
    extra.join();
    ASSERT_TRUE(after);
    EXPECT_EQ(after->threads, threadsBefore + 1);
    EXPECT_GT(after->cpuSeconds, before->cpuSeconds);
}

TEST(ProcStats, EmitLogsAndRemembersOnlyGoodSamples) {
    std::vector<std::optional<Sample>> script{Sample{2097152, 1.0, 4, 110.0}, std::nullopt,
                                              Sample{2097152, 3.0, 5, 120.0}};
    size_t next = 0;
    ProcStats stats(100.0, [&] { return script[next++]; });
    testing::LogCapture log;

    EXPECT_FALSE(stats.last());
    EXPECT_EQ(stats.emit(), "rss_mb=2 cpu_pct=10 threads=4");
    EXPECT_EQ(stats.last(), script[0]);
    EXPECT_EQ(stats.emit(), std::nullopt);  // failed sample: nothing logged, last kept
    EXPECT_EQ(stats.last(), script[0]);
    EXPECT_EQ(stats.emit(), "rss_mb=2 cpu_pct=20 threads=5");
    EXPECT_EQ(log.all(),
              "[proc] rss_mb=2 cpu_pct=10 threads=4\n"
              "[proc] rss_mb=2 cpu_pct=20 threads=5\n");
    EXPECT_EQ(ProcStats::interval, 600.0);
}

}  // namespace
}  // namespace parlendo
