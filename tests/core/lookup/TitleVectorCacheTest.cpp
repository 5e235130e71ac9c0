#include <gtest/gtest.h>

#include "lookup/TitleVectorCache.h"

namespace parlendo {
namespace {

using Outcome = TitleVectorCache::Outcome;
using Settled = TitleVectorCache::Settled;

class TitleVectorCacheTest : public ::testing::Test {
  protected:
    double now_ = 1000;
    TitleVectorCache cache_{[this] {
        return now_;
    }};

    std::optional<Settled> settledNow(const std::string& key) {
        std::optional<Settled> got;
        cache_.whenSettled(key, [&](Settled s) { got = s; });
        return got;
    }
};

TEST_F(TitleVectorCacheTest, OneClaimAtATime) {
    EXPECT_EQ(cache_.begin(""), std::nullopt);
    auto claim = cache_.begin("k");
    EXPECT_EQ(claim, 0);
    EXPECT_EQ(cache_.begin("k"), std::nullopt);

    std::vector<Settled> waiters;
    cache_.whenSettled("k", [&](Settled s) { waiters.push_back(s); });
    cache_.finish("k", *claim, Outcome::makeVector({1, 2}));
    EXPECT_EQ(waiters, std::vector<Settled>{Settled::makeVector({1, 2})});
    EXPECT_EQ(cache_.begin("k"), std::nullopt);
    EXPECT_EQ(settledNow("k"), Settled::makeVector({1, 2}));

    cache_.markStored("k", 0);
    EXPECT_EQ(settledNow("k"), Settled::stored());  // stored wins over a vector in memory
}

TEST_F(TitleVectorCacheTest, AFailureBlocksTheKeyForTenSeconds) {
    cache_.finish("k", *cache_.begin("k"), Outcome::failed());
    EXPECT_EQ(settledNow("k"), Settled::nothing());
    now_ += 9.99;
    EXPECT_EQ(cache_.begin("k"), std::nullopt);
    now_ += 0.01;
    EXPECT_EQ(cache_.begin("k"), 0);
    cache_.finish("k", 0, Outcome::stored());
    EXPECT_TRUE(cache_.isStored("k"));
    EXPECT_EQ(cache_.begin("k"), std::nullopt);
}

TEST_F(TitleVectorCacheTest, BoundedByEvictingTheOldest) {
    for (int i = 0; i < 256; ++i) {
        cache_.remember("v" + std::to_string(i), {double(i)}, 0);
    }
    cache_.remember("v0", {0}, 0);  // the newest again
    cache_.remember("v256", {256}, 0);
    EXPECT_EQ(settledNow("v0"), Settled::makeVector({0}));
    EXPECT_EQ(settledNow("v1"), Settled::nothing());
    EXPECT_EQ(settledNow("v2"), Settled::makeVector({2}));

    for (int i = 0; i < 1025; ++i) {
        cache_.markStored("s" + std::to_string(i), 0);
    }
    EXPECT_FALSE(cache_.isStored("s0"));
    EXPECT_TRUE(cache_.isStored("s1"));
    EXPECT_TRUE(cache_.isStored("s1024"));
}

TEST_F(TitleVectorCacheTest, InvalidationSettlesWaitersAndIgnoresOldWork) {
    auto a = cache_.begin("a");
    auto b = cache_.begin("b");
    cache_.remember("c", {3}, 0);
    int nothings = 0;
    auto count = [&](Settled s) {
        nothings += s == Settled::nothing() ? 1 : 100;
    };
    cache_.whenSettled("a", count);
    cache_.whenSettled("a", count);
    cache_.whenSettled("b", count);
    cache_.invalidate();
    EXPECT_EQ(nothings, 3);
    EXPECT_EQ(cache_.revision(), 1);
    EXPECT_EQ(settledNow("c"), Settled::nothing());

    // Old work: a fresh claim and its waiter settle with nothing when the old claim finishes.
    auto again = cache_.begin("a");
    EXPECT_EQ(again, 1);
    cache_.whenSettled("a", count);
    cache_.finish("a", *a, Outcome::makeVector({9}));
    EXPECT_EQ(nothings, 4);
    EXPECT_EQ(cache_.begin("a"), 1);  // the old finish released the key and recorded nothing
    cache_.markStored("b", *b);
    cache_.remember("b", {1}, *b);
    EXPECT_FALSE(cache_.isStored("b"));
    EXPECT_EQ(settledNow("b"), Settled::nothing());
}

TEST_F(TitleVectorCacheTest, CallbacksMayUseTheCacheAgain) {
    auto claim = cache_.begin("k");
    std::optional<int> reclaimed;
    cache_.whenSettled("k", [&](Settled) { reclaimed = cache_.begin("k"); });
    cache_.finish("k", *claim, Outcome::failed());
    EXPECT_EQ(reclaimed, std::nullopt);  // failed moments ago
    cache_.whenSettled("x", [&](Settled) { reclaimed = cache_.begin("x"); });
    EXPECT_EQ(reclaimed, 0);
}

TEST_F(TitleVectorCacheTest, FailedKeysAreBounded) {
    const size_t capacity = TitleVectorCache::failedCapacity;
    for (size_t i = 0; i < capacity; ++i) {
        auto key = "t" + std::to_string(i);
        cache_.finish(key, *cache_.begin(key), Outcome::failed());
        now_ += 0.001;
    }
    EXPECT_EQ(cache_.failedCount(), capacity);
    // At the bound, the failure ending soonest goes; every newer one still blocks its key.
    cache_.finish("late", *cache_.begin("late"), Outcome::failed());
    EXPECT_EQ(cache_.failedCount(), capacity);
    EXPECT_EQ(cache_.begin("t0"), 0);
    cache_.finish("t0", 0, Outcome::stored());
    EXPECT_EQ(cache_.begin("t1"), std::nullopt);
    EXPECT_EQ(cache_.begin("late"), std::nullopt);

    // Once their windows have passed, expired failures make room first.
    now_ += TitleVectorCache::retryAfter;
    cache_.finish("later", *cache_.begin("later"), Outcome::failed());
    EXPECT_EQ(cache_.failedCount(), 1u);
}

}  // namespace
}  // namespace parlendo
