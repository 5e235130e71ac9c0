#include "capture/SyntheticCopyLedger.h"

#include "capture/CaptureKeys.h"

#include <gtest/gtest.h>

#include <thread>

namespace parlendo {
namespace {

TEST(SyntheticCopyLedgerTest, KeepsTheLast64Counts) {
    SyntheticCopyLedger ledger;
    for (int i = 1; i <= 64; ++i) {
        ledger.mark(i);
    }
    EXPECT_TRUE(ledger.isSynthetic(1));
    ledger.mark(65);
    EXPECT_FALSE(ledger.isSynthetic(1));
    EXPECT_TRUE(ledger.isSynthetic(2));
    EXPECT_TRUE(ledger.isSynthetic(65));
    EXPECT_EQ(ledger.size(), 64u);
}

TEST(SyntheticCopyLedgerTest, TagIsPRLS) {
    EXPECT_EQ(CaptureKeys::syntheticEventTag, 0x50524C53);
    EXPECT_TRUE(SyntheticCopyLedger::isSyntheticEvent(0x50524C53));
    EXPECT_FALSE(SyntheticCopyLedger::isSyntheticEvent(0));
}

TEST(SyntheticCopyLedgerTest, MarksFromManyThreads) {
    SyntheticCopyLedger ledger;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&ledger, t] {
            for (int i = 0; i < 1000; ++i) {
                ledger.mark(t * 1000 + i);
                (void)ledger.isSynthetic(i);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(ledger.size(), SyntheticCopyLedger::capacity);
}

}  // namespace
}  // namespace parlendo
