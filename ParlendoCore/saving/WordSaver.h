#pragma once

#include "foundation/Executor.h"
#include "foundation/Function.h"
#include "foundation/Result.h"
#include "saving/SaveBackend.h"
#include "saving/SaveReceipt.h"
#include "saving/SaveVerdict.h"
#include "saving/SaveWork.h"

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace parlendo {

// The queue through which every captured word is saved: strictly serial and first-in first-out,
// one save in flight at a time (a save waiting for its retry holds the queue). Each save tries
// the snapshot call; once the server says the snapshot function is missing, every later save of
// this saver takes the two-request path. Transient failures are retried after the back-off up to
// `maxAttempts`, and every finished save is reported exactly once through `onOutcome`, before the
// next queued save starts. Every attempt, retries and the two-request path included, goes out
// only while the account the word was captured under is signed in; a save whose account has
// changed ends as a drop ("account_changed") without being sent.
//
// `enqueue`, `pending` and the hook accessors may be called from any thread. Backend completions,
// retries and `onOutcome` run on background threads.
class WordSaver : public std::enable_shared_from_this<WordSaver> {
  public:
    struct Outcome {
        SaveWork work;
        // The attempts sent; the last one finished the save, unless it was dropped before the
        // next went out.
        int attempts = 0;
        Result<SaveReceipt, SaveVerdict> result;
        // "rpc" when the snapshot call decided it, "legacy" when the legacy path did.
        std::string path;
        bool operator==(const Outcome&) const = default;
    };
    using OutcomeHook = std::function<void(const Outcome&)>;

    // Retries wait on `timers` (normally `SerialQueue::timers()`).
    static std::shared_ptr<WordSaver> make(std::shared_ptr<SaveBackend> backend, int maxAttempts,
                                           std::vector<double> backoff, ExecutorPtr timers);

    // Appends the work at the tail and starts it when nothing runs. Returns at once.
    void enqueue(SaveWork work);
    // Queued saves plus the one running (also while it waits for a retry).
    int pending() const;
    // False once the snapshot function was found missing.
    bool rpcAvailable() const { return rpcAvailable_.load(); }
    int maxAttempts() const { return maxAttempts_; }

    // Called once per finished save, outside the lock, on the thread that finished it. Callers
    // that add behaviour wrap the existing hook and call it first.
    OutcomeHook onOutcome() const;
    void setOnOutcome(OutcomeHook hook);

  private:
    WordSaver(std::shared_ptr<SaveBackend> backend, int maxAttempts, std::vector<double> backoff,
              ExecutorPtr timers);

    void pump();
    void attempt(SaveWork work, int n);
    void snapshotDone(SaveWork work, int n, CallResult result);
    void legacyDone(SaveWork work, int n, bool written);
    void runLegacy(SaveWork work, int n);
    // The word's account is no longer the one signed in: it ends after the `sent` attempts
    // that went out.
    void dropForAnotherAccount(SaveWork work, int sent);
    void finish(Outcome outcome);

    const int maxAttempts_;
    std::shared_ptr<SaveBackend> backend_;
    std::vector<double> backoff_;
    ExecutorPtr timers_;

    mutable std::mutex mutex_;
    std::deque<SaveWork> queue_;
    bool running_ = false;
    std::atomic<bool> rpcAvailable_{true};
    OutcomeHook onOutcome_;
};

}  // namespace parlendo
