#include "foundation/ProcStats.h"

#include "foundation/Log.h"

#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <fstream>

namespace parlendo {

namespace {

std::optional<std::uint64_t> residentBytes() {
    std::ifstream statm("/proc/self/statm");
    std::uint64_t sizePages = 0;
    std::uint64_t residentPages = 0;
    if (!(statm >> sizePages >> residentPages)) {
        return std::nullopt;
    }
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pageSize <= 0) {
        return std::nullopt;
    }
    return residentPages * static_cast<std::uint64_t>(pageSize);
}

std::optional<double> processorSeconds() {
    rusage usage{};
    if (::getrusage(RUSAGE_SELF, &usage) != 0) {
        return std::nullopt;
    }
    auto seconds = [](const timeval& tv) {
        return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) / 1'000'000.0;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

int threadCount() {
    DIR* dir = ::opendir("/proc/self/task");
    if (dir == nullptr) {
        return 0;
    }
    int count = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] != '.') {
            ++count;
        }
    }
    ::closedir(dir);
    return count;
}

long long roundedAwayFromZero(double value) {
    const double r = std::round(value);
    if (!(r < 9.2e18)) {
        return r > 0 ? 9'200'000'000'000'000'000LL : 0;
    }
    return static_cast<long long>(r);
}

}  // namespace

ProcStats::ProcStats(double startedAt, Sampler sampler)
    : startedAt_(startedAt), sampler_(std::move(sampler)) {
    if (!sampler_) {
        sampler_ = [] {
            return sample();
        };
    }
}

std::optional<ProcStats::Sample> ProcStats::sample(const MonotonicClock& clock) {
    const auto rss = residentBytes();
    if (!rss) {
        return std::nullopt;
    }
    const auto cpu = processorSeconds();
    if (!cpu) {
        return std::nullopt;
    }
    return Sample{*rss, *cpu, threadCount(), clock.uptime()};
}

std::optional<ProcStats::Sample> ProcStats::sample() {
    return sample(*SystemClock::shared());
}

std::string ProcStats::line(const Sample& sample, const std::optional<Sample>& last,
                            double startedAt) {
    const double referenceCpu = last ? last->cpuSeconds : 0.0;
    const double referenceAt = last ? last->at : startedAt;
    double span = sample.at - referenceAt;
    if (span <= 0.001) {
        span = 0.001;
    }
    double percent = (sample.cpuSeconds - referenceCpu) / span * 100.0;
    if (percent < 0) {
        percent = 0;
    }
    const double mebibytes = static_cast<double>(sample.rssBytes) / 1048576.0;
    return "rss_mb=" + std::to_string(roundedAwayFromZero(mebibytes)) +
           " cpu_pct=" + std::to_string(roundedAwayFromZero(percent)) +
           " threads=" + std::to_string(sample.threads);
}

std::optional<std::string> ProcStats::emit() {
    const auto current = sampler_();
    if (!current) {
        return std::nullopt;
    }
    std::string text = line(*current, last_, startedAt_);
    last_ = current;
    Log::write("proc", text);
    return text;
}

}  // namespace parlendo
