#pragma once

#include <string>
#include <vector>

namespace parlendo {

// The retry constants shared by the word and the sentence saver.
namespace SaveRetry {

// Attempts per save.
inline constexpr int maxAttempts = 3;
// Seconds to wait before the second and the third attempt.
inline const std::vector<double> backoff{1.5, 2.0};
// Time-out of the snapshot call and of the sentence insert and read-back, in seconds.
inline constexpr double requestTimeout = 8.0;

// The wait before the retry that follows attempt `attempt` (1-based); the last delay repeats.
// Zero when `delays` is empty.
double delayAfter(const std::vector<double>& delays, int attempt);

// A delay for log lines: the shortest decimal with at least one fractional digit ("1.5", "2.0").
std::string formatDelay(double seconds);

}  // namespace SaveRetry

}  // namespace parlendo
