#pragma once

#include "foundation/Completion.h"
#include "foundation/Executor.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace parlendo {

// Runs `work` on the main executor and waits for its answer on the calling worker thread, for at
// most `timeout` seconds: the synchronous hop that GTK objects need when a worker queue reads
// them. None when the main thread did not answer in time (a late answer is dropped). Called on
// the main thread itself, `work` runs inline. Never call it from a pool thread.
template <typename T>
std::optional<T> callOnMain(Executor& main, double timeout,
                            std::function<void(Completion<void(T)>)> work) {
    struct Shared {
        std::mutex lock;
        std::condition_variable done;
        std::optional<T> value;
        bool answered = false;
    };
    auto shared = std::make_shared<Shared>();
    auto answer = [shared](T value) {
        std::lock_guard guard(shared->lock);
        shared->value = std::move(value);
        shared->answered = true;
        shared->done.notify_all();
    };
    if (main.isCurrent()) {
        work(Completion<void(T)>(answer));
        std::lock_guard guard(shared->lock);
        return shared->value;
    }
    main.post([work = std::move(work), answer]() mutable { work(Completion<void(T)>(answer)); });
    std::unique_lock guard(shared->lock);
    shared->done.wait_for(guard, std::chrono::duration<double>(timeout),
                          [&] { return shared->answered; });
    return shared->value;
}

}  // namespace parlendo
