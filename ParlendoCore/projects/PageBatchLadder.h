#pragma once

#include "server/CallFailure.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace parlendo {

// Decides, after each failed page batch of one file's upload, whether to retry, after how long and
// with how many pages, and when to give up. The batch size only shrinks (200, 50, 10 pages); a
// success clears only the streak; a file gets at most 8 retries and gives up at its fourth failure
// in a row. A value type owned by one upload.
struct PageBatchLadder {
    static constexpr std::array<int, 3> sizes{200, 50, 10};
    static constexpr int maxStreak = 4;
    static constexpr int maxRetries = 8;
    static constexpr double pause = 1.0;               // after a failure without an answer
    static constexpr double serverPause = 2.0;         // after 502, 503 or 504 without Retry-After
    static constexpr double maxRetryAfter = 10.0;      // a longer Retry-After gives up
    static constexpr double batchTimeout = 20.0;       // time-out of one page batch
    static constexpr std::int64_t maxChars = 2000000;  // scalars of page text in one batch

    // A failure worth retrying.
    enum class Retry { timeout, unreachable, http502, http503, http504 };
    // A reason to give up.
    enum class Stop { streak, total, retryAfterLong, contract, server, other };

    struct RetryVerdict {
        Retry kind;
        std::optional<double> retryAfter;
        bool operator==(const RetryVerdict&) const = default;
    };
    using Verdict = std::variant<RetryVerdict, Stop>;

    // What to do next: retry after `wait` seconds with `batch` pages (`same` when the size did not
    // change), or give up.
    struct Next {
        bool giveUp = false;
        Stop stop = Stop::other;  // with giveUp
        int batch = 0;
        double wait = 0;
        bool same = false;
        bool operator==(const Next&) const = default;

        static Next retry(int batch, double wait, bool same) {
            return Next{false, Stop::other, batch, wait, same};
        }
        static Next giveUpFor(Stop stop) { return Next{true, stop, 0, 0, false}; }
        // "give_up", "same" or the batch size.
        std::string logValue() const;
    };

    std::int64_t rung = 0;
    std::int64_t failures = 0;
    std::int64_t streak = 0;
    std::int64_t retries = 0;

    int batch() const { return sizes[static_cast<size_t>(rung)]; }
    void succeeded() { streak = 0; }
    Next failed(const CallFailureDetail& detail);
    Next failed(Retry kind, std::optional<double> retryAfter);

    static Verdict verdict(const CallFailureDetail& detail);
    // The failure's word in logs: "http_<status>", "auth", "stale", "timeout", "unreachable",
    // "other".
    static std::string kind(const CallFailureDetail& detail);
    // The end (exclusive) of the batch that starts at `from`: at most `batch` pages and at most
    // `maxChars` scalars, but always at least one page.
    static size_t end(const std::vector<std::string>& pages, size_t from, int batch,
                      std::int64_t maxChars);
};

const char* toString(PageBatchLadder::Retry kind);
const char* toString(PageBatchLadder::Stop stop);
// Whether a retry of this kind takes a smaller batch.
bool shrinks(PageBatchLadder::Retry kind);

// What one file's upload is doing, for the log lines: the step ("extract", "begin", "pages",
// "finish") and the batch retries so far. Owned by one upload.
struct UploadTrace {
    std::string step = "extract";
    int retries = 0;
};

}  // namespace parlendo
