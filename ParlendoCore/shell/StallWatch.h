#pragma once

#include "foundation/Clock.h"
#include "foundation/Executor.h"

#include <memory>

namespace parlendo {

// Measures how late the main executor runs a short timer: a timer that runs more than
// `threshold` after it was due means the main thread was busy that long, and the user felt the
// windows stall. Each such stall is logged under "timing" ("main_loop_stall ms=… longest_ms=…");
// `stop` logs the longest one seen. Development runs switch it on (PARLENDO_STALL_WATCH=1).
// Lateness counts from the main loop's first turn on. Main executor only.
class StallWatch : public std::enable_shared_from_this<StallWatch> {
  public:
    static constexpr double interval = 0.01;
    static constexpr double threshold = 0.05;

    static std::shared_ptr<StallWatch> start(ExecutorPtr main,
                                             std::shared_ptr<const MonotonicClock> clock);

    // Stops the timer and logs "main_loop longest_stall_ms=… stalls=… ticks=…".
    void stop();

    // The longest lateness seen, in seconds, and how many passed the threshold.
    double longest() const { return longest_; }
    int stalls() const { return stalls_; }

  private:
    StallWatch(ExecutorPtr main, std::shared_ptr<const MonotonicClock> clock);
    void schedule();
    void tick(double due);

    ExecutorPtr main_;
    std::shared_ptr<const MonotonicClock> clock_;
    double longest_ = 0;
    int stalls_ = 0;
    long ticks_ = 0;
    bool stopped_ = false;
};

}  // namespace parlendo
