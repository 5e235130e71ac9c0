#pragma once

#include "foundation/Completion.h"
#include "foundation/Deadline.h"
#include "foundation/Executor.h"
#include "foundation/Function.h"

#include <utility>

namespace parlendo {

// Keychain work for a caller that must not wait on the keyring. The work runs on the keychain
// queue, a serial queue, so the program's keychain steps happen one at a time in the order they
// were asked; the caller is answered with the work's value when it ends, or with `late` once
// `deadline` seconds have passed, whichever comes first. A keyring that stops answering holds
// the queue, never the caller: past the deadline the caller goes on, and the work (still queued,
// or still waiting for the keyring) runs to its end with its value dropped.
struct KeychainCall {
    // How long a flow waits for one keychain step before going on without its answer; a keyring
    // that works answers in milliseconds.
    static constexpr double defaultDeadline = 2.0;

    // The keychain queue; none: the work runs at once, on the caller's thread.
    ExecutorPtr queue;
    // Where the deadline is kept.
    ExecutorPtr timers;
    double deadline = defaultDeadline;

    template <class T>
    void run(UniqueFunction<T()> work, T late, Completion<void(T)> done) const {
        if (!queue) {
            done(work());
            return;
        }
        Deadline::Operation<T> operation =
            [queue = queue, work = std::move(work)](Completion<void(T)> answered) mutable {
                queue->post([work = std::move(work), answered = std::move(answered)]() mutable {
                    answered(work());
                });
            };
        Deadline::race<T>(deadline, std::move(late), *timers, std::move(operation),
                          std::move(done));
    }
};

}  // namespace parlendo
