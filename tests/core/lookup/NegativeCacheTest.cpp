#include <gtest/gtest.h>

#include "lookup/LookupTimes.h"
#include "lookup/NegativeCache.h"

#include <atomic>
#include <thread>

namespace parlendo {
namespace {

class NegativeCacheTest : public ::testing::Test {
  protected:
    NegativeCache make(size_t capacity = 256) {
        return NegativeCache(capacity, LookupTimes::notAWordMemory, [this] {
            ++clockReads_;
            return now_;
        });
    }
    double now_ = 1'780'000'000.0;
    int clockReads_ = 0;
};

TEST_F(NegativeCacheTest, RemembersForTheTimeToLiveInclusive) {
    auto cache = make();
    EXPECT_FALSE(cache.contains("asdf"));
    EXPECT_EQ(clockReads_, 0);  // an empty cache never reads the clock

    cache.insert("asdf");
    now_ += 600;
    EXPECT_TRUE(cache.contains("asdf"));
    EXPECT_FALSE(cache.contains("ASDF"));  // exact keys
    now_ += 0.5;
    EXPECT_FALSE(cache.contains("asdf"));
    EXPECT_EQ(cache.size(), 0u);

    // Re-inserting after expiry counts from the new insert.
    cache.insert("asdf");
    now_ += 300;
    EXPECT_TRUE(cache.contains("asdf"));
}

TEST_F(NegativeCacheTest, InsertRefreshesTheTimeButNotThePlace) {
    auto cache = make(256);
    for (int i = 0; i < 256; ++i) {
        cache.insert("w" + std::to_string(i));
    }
    now_ += 500;
    cache.insert("w0");  // refreshed, still the oldest by first insert
    EXPECT_EQ(cache.size(), 256u);
    cache.insert("w256");
    EXPECT_EQ(cache.size(), 256u);
    EXPECT_FALSE(cache.contains("w0"));
    EXPECT_TRUE(cache.contains("w1"));
    EXPECT_TRUE(cache.contains("w256"));

    now_ += 200;  // w1 was inserted 700 s ago, w256 200 s ago
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
    std::atomic<double> now{0};
    NegativeCache cache(64, 600, [&] { return now.load(); });
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
