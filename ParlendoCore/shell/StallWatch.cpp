#include "shell/StallWatch.h"

#include "foundation/Log.h"

#include <cmath>
#include <string>

namespace parlendo {

namespace {
std::string milliseconds(double seconds) {
    return std::to_string(static_cast<long long>(std::llround(seconds * 1000.0)));
}
}  // namespace

std::shared_ptr<StallWatch> StallWatch::start(ExecutorPtr main,
                                              std::shared_ptr<const MonotonicClock> clock) {
    auto watch = std::shared_ptr<StallWatch>(new StallWatch(std::move(main), std::move(clock)));
    // The first timer is set from the loop's first turn: the program built before it shows
    // nothing yet that could stall.
    watch->main_->post([weak = std::weak_ptr<StallWatch>(watch)] {
        if (auto self = weak.lock()) {
            self->schedule();
        }
    });
    return watch;
}

StallWatch::StallWatch(ExecutorPtr main, std::shared_ptr<const MonotonicClock> clock)
    : main_(std::move(main)), clock_(std::move(clock)) {}

void StallWatch::schedule() {
    const double due = clock_->uptime() + interval;
    main_->postAfter(interval, [weak = weak_from_this(), due] {
        if (auto self = weak.lock()) {
            self->tick(due);
        }
    });
}

void StallWatch::tick(double due) {
    if (stopped_) {
        return;
    }
    ++ticks_;
    const double late = clock_->uptime() - due;
    if (late > threshold) {
        ++stalls_;
        if (late > longest_) {
            longest_ = late;
        }
        Log::write("timing", "main_loop_stall ms=" + milliseconds(late) +
                                 " longest_ms=" + milliseconds(longest_));
    } else if (late > longest_) {
        longest_ = late;
    }
    schedule();
}

void StallWatch::stop() {
    if (stopped_) {
        return;
    }
    stopped_ = true;
    Log::write("timing", "main_loop longest_stall_ms=" + milliseconds(longest_) + " stalls=" +
                             std::to_string(stalls_) + " ticks=" + std::to_string(ticks_));
}

}  // namespace parlendo
