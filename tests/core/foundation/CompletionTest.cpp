#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/Completion.h"
#include "foundation/Result.h"

namespace parlendo {
namespace {

TEST(UniqueFunction, HoldsMoveOnlyCapturesAndFreesThemOnReset) {
    auto owned = std::make_unique<int>(41);
    std::weak_ptr<int> watch;
    auto shared = std::make_shared<int>(1);
    watch = shared;
    UniqueFunction<int(int)> fn = [p = std::move(owned), s = std::move(shared)](int x) {
        return *p + x;
    };
    ASSERT_TRUE(fn);
    EXPECT_EQ(fn(1), 42);
    EXPECT_EQ(fn(2), 43);  // a function, unlike a completion, may be called again

    UniqueFunction<int(int)> moved = std::move(fn);
    EXPECT_FALSE(fn);  // NOLINT: moved-from is empty
    EXPECT_EQ(moved(0), 41);
    EXPECT_FALSE(watch.expired());
    moved.reset();
    EXPECT_FALSE(moved);
    EXPECT_TRUE(watch.expired());
}

TEST(UniqueFunction, PassesMoveOnlyArgumentsThrough) {
    UniqueFunction<std::unique_ptr<int>(std::unique_ptr<int>)> fn = [](std::unique_ptr<int> p) {
        *p += 1;
        return p;
    };
    EXPECT_EQ(*fn(std::make_unique<int>(1)), 2);
    Task empty = nullptr;
    EXPECT_FALSE(empty);
}

TEST(Completion, RunsOnceAndReportsIt) {
    int calls = 0;
    std::string got;
    Completion<void(std::string)> done = [&](std::string value) {
        ++calls;
        got = std::move(value);
    };
    EXPECT_TRUE(done);
    EXPECT_FALSE(done.wasCalled());
    done("first");
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(got, "first");
    EXPECT_TRUE(done.wasCalled());
    EXPECT_FALSE(done);
}

TEST(CompletionDeathTest, SecondCallIsCaughtInDebugAndIgnoredOtherwise) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    int calls = 0;
    Completion<void(int)> done = [&](int) {
        ++calls;
    };
    done(1);
    EXPECT_DEBUG_DEATH(done(2), "Completion called twice");
    EXPECT_EQ(calls, 1);
}

TEST(Completion, MovingCarriesTheCalledState) {
    int calls = 0;
    Completion<void()> a = [&] {
        ++calls;
    };
    Completion<void()> b = std::move(a);
    EXPECT_FALSE(a);  // NOLINT
    EXPECT_FALSE(a.wasCalled());
    b();
    Completion<void()> c = std::move(b);
    EXPECT_TRUE(c.wasCalled());
    EXPECT_FALSE(c);
    EXPECT_EQ(calls, 1);

    // Assigning over a completion that was called (or moved from) loses nothing.
    c = Completion<void()>([&] { ++calls; });
    c();
    a = Completion<void()>([&] { ++calls; });
    a();
    EXPECT_EQ(calls, 3);
}

TEST(Completion, ReleasesItsCapturesBeforeRunning) {
    // A continuation that re-enters its owner sees its own captures already released.
    auto resource = std::make_shared<int>(7);
    std::weak_ptr<int> watch = resource;
    bool releasedWhileRunning = false;
    Completion<void()> done = [r = std::move(resource), &watch, &releasedWhileRunning]() mutable {
        auto keep = std::move(r);  // the continuation object itself no longer holds it
        releasedWhileRunning = watch.use_count() == 1;
    };
    done();
    EXPECT_TRUE(releasedWhileRunning);
    EXPECT_TRUE(watch.expired());
}

// Records the drops reported while it lives, in place of the test program's hook.
class DropRecorder {
  public:
    DropRecorder() {
        lines().clear();
        previous_ = CompletionDrops::setHook(
            [](const std::string&, const SourcePlace& where) { lines().push_back(where.line); });
    }
    ~DropRecorder() { CompletionDrops::setHook(previous_); }
    static std::vector<unsigned>& lines() {
        static std::vector<unsigned> reported;
        return reported;
    }

  private:
    CompletionDrops::Hook previous_ = nullptr;
};

TEST(Completion, ADroppedCompletionIsReportedWithWhereItWasMade) {
#ifdef NDEBUG
    GTEST_SKIP() << "drops are reported in debug builds";
#endif
    auto resource = std::make_shared<int>(7);
    std::weak_ptr<int> watch = resource;
    unsigned made = 0;
    {
        DropRecorder recorder;
        {
            made = SourcePlace::here().line + 1;
            Completion<void(int)> done = [r = std::move(resource)](int) {
            };
            EXPECT_FALSE(done.wasCalled());
        }
        EXPECT_TRUE(watch.expired());  // its captures are freed all the same
        // Assigning over an uncalled completion drops it too.
        Completion<void()> first = [] {
        };
        first = Completion<void()>([] {});
        first();
        // Called, moved from or empty: nothing to report.
        Completion<void()> called = [] {
        };
        called();
        Completion<void()> from = [] {
        };
        Completion<void()> to = std::move(from);
        to();
        Completion<void()> empty;
        EXPECT_EQ(DropRecorder::lines().size(), 2u);
        ASSERT_FALSE(DropRecorder::lines().empty());
        // The statement that made it (the compiler may name its first or its last line).
        EXPECT_GE(DropRecorder::lines()[0], made);
        EXPECT_LE(DropRecorder::lines()[0], made + 1);
    }
}

TEST(Completion, DropsOnPurposeAreNotReported) {
    DropRecorder recorder;
    auto resource = std::make_shared<int>(7);
    std::weak_ptr<int> watch = resource;
    Completion<void()> inner = [r = std::move(resource)] {
    };
    Completion<void(int)> outer = [inner = std::move(inner)](int) mutable {
        inner();
    };
    outer.drop("nobody waits for the answer");
    EXPECT_FALSE(outer);
    EXPECT_TRUE(watch.expired());  // with what it held, the inner completion too
    {
        CompletionDrops::Scope scope("an executor going away");
        Completion<void()> queued = [] {
        };
    }
    EXPECT_TRUE(DropRecorder::lines().empty());
    // The scope ends with its block.
    {
        Completion<void()> lost = [] {
        };
    }
#ifndef NDEBUG
    EXPECT_EQ(DropRecorder::lines().size(), 1u);
#endif
}

TEST(Completion, CarriesResultsAndMoveOnlyValues) {
    Result<std::unique_ptr<int>, std::string> outcome;
    Completion<void(Result<std::unique_ptr<int>, std::string>)> done =
        [&](Result<std::unique_ptr<int>, std::string> r) {
            outcome = std::move(r);
        };
    done(std::make_unique<int>(5));
    ASSERT_TRUE(outcome);
    EXPECT_EQ(**outcome, 5);

    Completion<void(Result<int, std::string>)> failing = [](Result<int, std::string> r) {
        EXPECT_FALSE(r);
        EXPECT_EQ(r.error(), "timed_out");
    };
    failing(fail(std::string("timed_out")));
}

TEST(Completion, EmptyCompletionIsHarmless) {
    Completion<void(int)> none;
    EXPECT_FALSE(none);
    Completion<void(int)> null = nullptr;
    EXPECT_FALSE(null);
}

}  // namespace
}  // namespace parlendo
