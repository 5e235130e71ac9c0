#pragma once

#include "foundation/Completion.h"
#include "foundation/Executor.h"
#include "foundation/Function.h"

#include <memory>
#include <mutex>
#include <optional>
#include <utility>

namespace parlendo {

// Races an asynchronous operation against a timer and hands over whichever value comes first:
// the operation's own, or a ready-made late value. The loser is neither cancelled nor awaited:
// a late operation runs on to its end (its request completes, its log lines are written) and its
// value is dropped; an early result leaves the timer to run out and do nothing.
class Deadline {
  public:
    template <class T>
    using Operation = UniqueFunction<void(Completion<void(T)>)>;

    // Starts the operation and a timer of `seconds` on `timers` (normally
    // `SerialQueue::timers()`). `completion` receives exactly one value, on the thread of
    // whichever side finished first, outside any lock.
    template <class T>
    static void race(double seconds, T late, Executor& timers, Operation<T> operation,
                     Completion<void(T)> completion) {
        auto once = std::make_shared<Once<T>>(std::move(completion));
        operation([once](T value) { once->resume(std::move(value)); });
        timers.postAfter(
            seconds, [once, late = std::move(late)]() mutable { once->resume(std::move(late)); });
    }

  private:
    // One race's delivery: the first value resumes the caller, later ones are dropped.
    template <class T>
    class Once {
      public:
        explicit Once(Completion<void(T)> completion) : completion_(std::move(completion)) {}

        void resume(T value) {
            std::optional<Completion<void(T)>> taken;
            {
                std::lock_guard lock(mutex_);
                taken.swap(completion_);
            }
            if (taken) {
                (*taken)(std::move(value));
            }
        }

      private:
        std::mutex mutex_;
        std::optional<Completion<void(T)>> completion_;
    };
};

}  // namespace parlendo
