#pragma once

#include "foundation/Clock.h"
#include "foundation/Completion.h"
#include "foundation/Executor.h"
#include "lookup/TitleEmbedding.h"
#include "lookup/TitleVectorCache.h"
#include "lookup/TitleVectorStore.h"
#include "server/AuthTypes.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace parlendo {

// Asks that the server hold a vector for a window's title key, after a word from that window was
// saved. Returns at once; the work runs in the background. Called from any thread.
class TitleVectorRequesting {
  public:
    virtual ~TitleVectorRequesting() = default;
    virtual void request(std::optional<std::string> titleKey,
                         std::optional<std::string> sourceID) = 0;
};

// Makes sure the server holds the vector of a title key: checks whether it is there, embeds the
// title only when needed (at most 200 times per account session), and writes the vector with the
// source of the save. Uses the title vector cache to avoid repeated work, stops work begun for an
// account that is no longer signed in, and counts what it did for the shutdown log (tag
// "title_vec"). Its own bookkeeping runs on the serial queue "parlendo.title_vec"; each upload
// runs on whatever threads its calls complete on. Held in a shared_ptr (see `make`).
class TitleVectorUploader final : public TitleVectorRequesting,
                                  public std::enable_shared_from_this<TitleVectorUploader> {
  public:
    static constexpr std::string_view embedModel = "gemini-embedding-001";
    static constexpr int embedCap = 200;

    struct Stats {
        int upload = 0;    // writes attempted
        int uploadOK = 0;  // writes that succeeded
        int embed = 0;     // embedding requests made
        bool operator==(const Stats&) const = default;
    };

    // `queue` runs the bookkeeping (the process-wide "parlendo.title_vec" queue when left out);
    // `clock` gives the uptime for the cache and the timing line (the system clock when left out).
    static std::shared_ptr<TitleVectorUploader> make(
        std::shared_ptr<TitleVectorStore> store, std::shared_ptr<TitleEmbedding> embedder,
        std::shared_ptr<SessionProviding> session, ExecutorPtr queue = nullptr,
        std::shared_ptr<const MonotonicClock> clock = nullptr);

    void request(std::optional<std::string> titleKey, std::optional<std::string> sourceID) override;
    // `done` runs exactly once when the request is over: refused (at once, on this thread),
    // dropped as a duplicate of one in flight, or finished (on the queue).
    void request(std::optional<std::string> titleKey, std::optional<std::string> sourceID,
                 Completion<void()> done);

    // Statistics since launch, read on the queue (never call these on it).
    Stats stats() const;
    // "stats prewarm=0 upload=<n> upload_ok=<n> embed=<n>".
    std::string statsLine() const;
    // The same line, handed to `done` on the queue: for callers that must not wait.
    void statsLine(Completion<void(std::string)> done) const;

    // Forgets per-account state: the cache at once, then (on the queue) the requests in flight
    // and the embedding count. The statistics are kept.
    void reset();

    TitleVectorCache& cache() { return cache_; }
    // Asked before any server work; always true until set.
    void setBackgroundAllowed(std::function<bool()> allowed);

    // The process-wide serial queue "parlendo.title_vec". Never destroyed.
    static ExecutorPtr sharedQueue();

    // Use `make`.
    TitleVectorUploader(std::shared_ptr<TitleVectorStore> store,
                        std::shared_ptr<TitleEmbedding> embedder,
                        std::shared_ptr<SessionProviding> session, ExecutorPtr queue,
                        std::shared_ptr<const MonotonicClock> clock);

  private:
    struct Upload;

    bool backgroundAllowed() const;
    // Counts on the queue; the caller does not wait.
    void count(int Stats::*field);
    // Admits one more embedding while under the cap; answers on the queue.
    void admitEmbed(Completion<void(bool)> answer);
    template <class F>
    auto onQueue(F read) const;

    const std::shared_ptr<TitleVectorStore> store_;
    const std::shared_ptr<TitleEmbedding> embedder_;
    const std::shared_ptr<SessionProviding> session_;
    const ExecutorPtr queue_;
    const std::shared_ptr<const MonotonicClock> clock_;
    TitleVectorCache cache_;

    mutable std::mutex allowedMutex_;
    std::function<bool()> backgroundAllowed_;

    // Touched only on the queue.
    std::set<std::string> inFlight_;
    int attempts_ = 0;
    bool cappedLogged_ = false;
    Stats counts_;
};

}  // namespace parlendo
