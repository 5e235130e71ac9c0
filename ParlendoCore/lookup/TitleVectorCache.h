#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace parlendo {

// What the title vector uploader knows per title key in one account session: the key's vector
// is in memory, the key is stored on the server, work on it is under way, or embedding it failed
// a moment ago. One party at a time begins work on a key; others wait for it to settle. The
// revision, raised by `invalidate`, keeps work begun for one account out of the next one's state.
// Thread-safe: one lock, never held while calling back, so callbacks may use the cache again.
class TitleVectorCache {
  public:
    static constexpr double retryAfter = 10.0;  // seconds a failed key is not begun again
    static constexpr size_t capacity = 256;     // vectors held in memory
    static constexpr size_t storedCapacity = 1024;
    // Failed keys remembered; past this, expired failures go first, then the one ending soonest.
    static constexpr size_t failedCapacity = 1024;

    // What the party that began a key reports.
    struct Outcome {
        enum class Kind { vector, stored, failed };
        Kind kind = Kind::failed;
        std::vector<double> vector;  // for `vector`
        static Outcome makeVector(std::vector<double> v) { return {Kind::vector, std::move(v)}; }
        static Outcome stored() { return {Kind::stored, {}}; }
        static Outcome failed() { return {Kind::failed, {}}; }
        bool operator==(const Outcome&) const = default;
    };

    // What a waiter learns.
    struct Settled {
        enum class Kind { vector, stored, nothing };
        Kind kind = Kind::nothing;
        std::vector<double> vector;  // for `vector`
        static Settled makeVector(std::vector<double> v) { return {Kind::vector, std::move(v)}; }
        static Settled stored() { return {Kind::stored, {}}; }
        static Settled nothing() { return {Kind::nothing, {}}; }
        bool operator==(const Settled&) const = default;
    };

    using Callback = std::function<void(Settled)>;

    // `clock` gives monotonic seconds; the system uptime when left empty.
    explicit TitleVectorCache(std::function<double()> clock = {});

    int revision() const;

    // Claims the key; the revision of the claim, or nothing when the key is empty, pending,
    // stored, in memory, or failed less than `retryAfter` seconds ago.
    std::optional<int> begin(const std::string& key);
    // Ends a claim; records the outcome when the revision is still current; settles the waiters.
    void finish(const std::string& key, int revision, const Outcome& outcome);
    // Calls back with what is known: at once (on this thread) unless work on the key is pending,
    // else when it finishes or the cache is invalidated. Called exactly once.
    void whenSettled(const std::string& key, Callback callback);
    void markStored(const std::string& key, int revision);
    void remember(const std::string& key, std::vector<double> vector, int revision);
    bool isStored(const std::string& key) const;
    // Forgets everything, raises the revision and settles every waiter with nothing.
    void invalidate();
    // How many failed keys are remembered.
    size_t failedCount() const;

  private:
    void recordStoredLocked(const std::string& key);
    void recordVectorLocked(const std::string& key, std::vector<double> vector);
    void recordFailureLocked(const std::string& key);
    Settled knownLocked(const std::string& key) const;

    const std::function<double()> clock_;
    mutable std::mutex mutex_;
    std::unordered_map<std::string, std::vector<double>> vectors_;
    std::deque<std::string> vectorOrder_;  // oldest first
    std::unordered_map<std::string, double> failedUntil_;
    std::deque<std::string> stored_;  // oldest first
    std::set<std::string> pending_;
    std::map<std::string, std::vector<Callback>> waiters_;
    int revision_ = 0;
};

}  // namespace parlendo
