#pragma once

#include "foundation/Clock.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace parlendo {

// Periodic process statistics for the log: resident memory, processor use since the previous
// line (or since start-up) and thread count. Used from the main thread only.
class ProcStats {
  public:
    struct Sample {
        std::uint64_t rssBytes = 0;
        double cpuSeconds = 0;  // user + system time since the process started
        int threads = 0;
        double at = 0;  // uptime when sampled
        bool operator==(const Sample&) const = default;
    };
    using Sampler = std::function<std::optional<Sample>()>;

    // The period of the statistics timer.
    static constexpr double interval = 600.0;

    // `startedAt` is the uptime at start-up. `sampler` replaces the real sampling (tests).
    explicit ProcStats(double startedAt, Sampler sampler = nullptr);

    // The figures of this process now, `at` read from `clock`; nullopt when the resident size or
    // the processor time cannot be read (an unreadable thread count counts 0).
    static std::optional<Sample> sample(const MonotonicClock& clock);
    static std::optional<Sample> sample();

    // "rss_mb=<MiB> cpu_pct=<percent> threads=<n>", the percentage averaged since `last` (or since
    // `startedAt` with 0 processor seconds) over at least 0.001 second.
    static std::string line(const Sample& sample, const std::optional<Sample>& last,
                            double startedAt);

    // Samples, logs the line under "proc", remembers the sample and returns the line; nullopt
    // (nothing logged, nothing remembered) when sampling fails.
    std::optional<std::string> emit();

    const std::optional<Sample>& last() const { return last_; }
    double startedAt() const { return startedAt_; }

  private:
    double startedAt_;
    Sampler sampler_;
    std::optional<Sample> last_;
};

}  // namespace parlendo
