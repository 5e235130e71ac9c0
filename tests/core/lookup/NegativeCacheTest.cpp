#include <gtest/gtest.h>

#include "FakeClock.h"
#include "lookup/LookupTimes.h"
#include "lookup/NegativeCache.h"

#include <atomic>
#include <thread>

namespace parlendo {
namespace {

// A monotonic clock the test sets, counting its reads.
struct CountingClock final : MonotonicClock {
    double uptime() const override {
        ++reads;
        return now;
    }
    double now = 1000.0;
    mutable int reads = 0;
};

class NegativeCacheTest : public ::testing::Test {
  protected:
    NegativeCache make(size_t capacity = 256) {
        return NegativeCache(capacity, LookupTimes::notAWordMemory, clock_);
    }
    std::shared_ptr<CountingClock> clock_ = std::make_shared<CountingClock>();
};

TEST_F(NegativeCacheTest, RemembersForTheTimeToLiveInclusive) {
    auto cache = make();
    EXPECT_FALSE(cache.contains("asdf"));
    EXPECT_EQ(clock_->reads, 0);  // an empty cache never reads the clock

    cache.insert("asdf");
    clock_->now += 600;
    EXPECT_TRUE(cache.contains("asdf"));
    EXPECT_FALSE(cache.contains("ASDF"));  // exact keys
    clock_->now += 0.5;
    EXPECT_FALSE(cache.contains("asdf"));
    EXPECT_EQ(cache.size(), 0u);

    // Re-inserting after expiry counts from the new insert.
    cache.insert("asdf");
    clock_->now += 300;
    EXPECT_TRUE(cache.contains("asdf"));
}

TEST_F(NegativeCacheTest, InsertRefreshesTheTimeButNotThePlace) {
    auto cache = make(256);
    for (int i = 0; i < 256; ++i) {
        cache.insert("w" + std::to_string(i));
    }
    clock_->now += 500;
    cache.insert("w0");  // refreshed, still the oldest by first insert
    EXPECT_EQ(cache.size(), 256u);
    cache.insert("w256");
    EXPECT_EQ(cache.size(), 256u);
    EXPECT_FALSE(cache.contains("w0"));
    EXPECT_TRUE(cache.contains("w1"));
    EXPECT_TRUE(cache.contains("w256"));

    clock_->now += 200;  // w1 was inserted 700 s ago, w256 200 s ago
    EXPECT_FALSE(cache.contains("w1"));
    EXPECT_TRUE(cache.contains("w256"));
    EXPECT_EQ(cache.size(), 255u);
}

TEST_F(NegativeCacheTest, ZeroCapacityKeepsNothing) {
    auto cache = make(0);
    cache.insert("x");
    EXPECT_FALSE(cache.contains("x"));
    EXPECT_EQ(cache.size(), 0u);
}

TEST(NegativeCacheThreads, ConcurrentUseKeepsTheBound) {
    NegativeCache cache(64, 600, std::make_shared<testing::FakeClock>());
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i) {
                std::string word = "t" + std::to_string(t) + "-" + std::to_string(i % 300);
                cache.insert(word);
                cache.contains(word);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(cache.size(), 64u);
}

}  // namespace
}  // namespace parlendo
