#pragma once

#include "foundation/Executor.h"
#include "saving/SentenceSaving.h"
#include "server/AuthTypes.h"
#include "server/ServerCalling.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace parlendo {

// Saves a sentence as a row of the user's `sentences` table and proves that it landed. The row
// carries a client-made id, so when the insert's answer is missing, ambiguous or a duplicate-key
// error the row is read back by that id and the server's copy decides. Transient failures are
// retried after the back-off, at most `maxAttempts` times in all; a change of account during a
// wait drops the save before anything is sent for the new account.
class ServerSentenceSaver final : public SentenceSaving,
                                  public std::enable_shared_from_this<ServerSentenceSaver> {
  public:
    static constexpr std::string_view table = "/rest/v1/sentences";

    // Retries wait on `timers` (normally `SerialQueue::timers()`).
    static std::shared_ptr<ServerSentenceSaver> make(std::shared_ptr<ServerCalling> server,
                                                     std::shared_ptr<SessionProviding> session,
                                                     int maxAttempts, std::vector<double> backoff,
                                                     ExecutorPtr timers);

    void save(SentenceWork work, Completion<void(SentenceSaveOutcome)> completion) override;
    int pending() const override;

  private:
    struct Job;
    struct Absent {};
    struct Unanswered {};
    // One attempt's result: a final outcome or a reason to try again.
    using Step = std::variant<SentenceSaveOutcome, Absent, Unanswered>;

    ServerSentenceSaver(std::shared_ptr<ServerCalling> server,
                        std::shared_ptr<SessionProviding> session, int maxAttempts,
                        std::vector<double> backoff, ExecutorPtr timers);

    void attempt(std::shared_ptr<Job> job, int n);
    void readBack(std::shared_ptr<Job> job, int n);
    void stepDone(std::shared_ptr<Job> job, int n, Step step);
    void finish(std::shared_ptr<Job> job, SentenceSaveOutcome outcome);

    static bool holdsRow(std::string_view body, const SentenceWork& work);
    static bool matches(const Json& row, const SentenceWork& work);

    std::shared_ptr<ServerCalling> server_;
    std::shared_ptr<SessionProviding> session_;
    const int maxAttempts_;
    std::vector<double> backoff_;
    ExecutorPtr timers_;

    mutable std::mutex mutex_;
    int inFlight_ = 0;
};

}  // namespace parlendo
