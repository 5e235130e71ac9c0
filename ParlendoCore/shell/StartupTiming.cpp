#include "shell/StartupTiming.h"

#include "foundation/FileIO.h"
#include "foundation/Log.h"

#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>
#include <vector>

namespace parlendo {

StartupTiming::StartupTiming(std::shared_ptr<const MonotonicClock> clock,
                             std::optional<double> processAge)
    : clock_(std::move(clock)), mainStart_(clock_->uptime()), processAge_(processAge) {}

std::string StartupTiming::line(const std::string& name, const std::string& extra) const {
    const double sinceMain = (clock_->uptime() - mainStart_) * 1000;
    char main[32];
    std::snprintf(main, sizeof main, "%.0f", sinceMain);
    std::string exec = "-";
    if (processAge_) {
        char value[32];
        std::snprintf(value, sizeof value, "%.0f", sinceMain + *processAge_ * 1000);
        exec = value;
    }
    std::string text = "startup " + name + " ms_exec=" + exec + " ms_main=" + main;
    if (!extra.empty()) {
        text += " " + extra;
    }
    return text;
}

bool StartupTiming::note(const std::string& name, const std::string& extra) {
    {
        std::lock_guard guard(mutex_);
        if (!marked_.insert(name).second) {
            return false;
        }
    }
    Log::write("timing", line(name, extra));
    return true;
}

StartupTiming& StartupTiming::shared() {
    static StartupTiming timing(SystemClock::shared(), processAge(::getpid()));
    return timing;
}

std::optional<unsigned long long> StartupTiming::processStartTicks(pid_t pid) {
    const auto stat = fileio::readFile("/proc/" + std::to_string(pid) + "/stat");
    if (!stat) {
        return std::nullopt;
    }
    // The command name may hold spaces and parentheses: the fields start after the last ")".
    const auto close = stat->rfind(')');
    if (close == std::string::npos) {
        return std::nullopt;
    }
    std::istringstream rest(stat->substr(close + 1));
    std::vector<std::string> fields;
    for (std::string field; rest >> field;) {
        fields.push_back(field);
    }
    // Field 22 of the record is the start time; the first after ")" is field 3.
    constexpr size_t startIndex = 22 - 3;
    if (fields.size() <= startIndex) {
        return std::nullopt;
    }
    try {
        return std::stoull(fields[startIndex]);
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<double> StartupTiming::processAge(pid_t pid) {
    const auto ticks = processStartTicks(pid);
    const long perSecond = ::sysconf(_SC_CLK_TCK);
    timespec now{};
    if (!ticks || perSecond <= 0 || ::clock_gettime(CLOCK_BOOTTIME, &now) != 0) {
        return std::nullopt;
    }
    const double sinceBoot = static_cast<double>(now.tv_sec) + now.tv_nsec / 1e9;
    const double age = sinceBoot - static_cast<double>(*ticks) / static_cast<double>(perSecond);
    return age >= 0 ? std::optional<double>(age) : std::nullopt;
}

}  // namespace parlendo
