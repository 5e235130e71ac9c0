#pragma once

#include "foundation/Completion.h"
#include "foundation/VariantAccess.h"

#include <string>
#include <variant>

namespace parlendo {

// One captured sentence to save: the English original and its Korean translation.
struct SentenceWork {
    // Made by the caller for this sentence (a UUID in either case).
    std::string id;
    std::string sourceID;
    std::string original;
    std::string korean;

    // The row's "sentence_id": `id` lower-cased.
    std::string rowID() const;

    bool operator==(const SentenceWork&) const = default;
};

// How one sentence save ended.
class SentenceSaveOutcome : public VariantAccess<SentenceSaveOutcome> {
  public:
    // The row is on the server (inserted, or found by the read-back).
    struct Confirmed {
        int attempts = 0;
        bool operator==(const Confirmed&) const = default;
    };
    // The server refused the row; not retried.
    struct Rejected {
        std::string code;
        bool operator==(const Rejected&) const = default;
    };
    // The save no longer applies (no session, stale account state, account changed).
    struct Dropped {
        std::string why;
        bool operator==(const Dropped&) const = default;
    };
    // The last read-back found no row: the sentence is not on the server.
    struct Lost {
        int attempts = 0;
        bool operator==(const Lost&) const = default;
    };
    // The last attempt got no usable answer from the insert nor from the read-back.
    struct Unknown {
        int attempts = 0;
        bool operator==(const Unknown&) const = default;
    };
    using Value = std::variant<Confirmed, Rejected, Dropped, Lost, Unknown>;

    SentenceSaveOutcome(Value value) : value_(std::move(value)) {}  // NOLINT: implicit by design

    static SentenceSaveOutcome confirmed(int attempts) { return Value{Confirmed{attempts}}; }
    static SentenceSaveOutcome rejected(std::string code) {
        return Value{Rejected{std::move(code)}};
    }
    static SentenceSaveOutcome dropped(std::string why) { return Value{Dropped{std::move(why)}}; }
    static SentenceSaveOutcome lost(int attempts) { return Value{Lost{attempts}}; }
    static SentenceSaveOutcome unknown(int attempts) { return Value{Unknown{attempts}}; }

    const Value& value() const { return value_; }
    bool operator==(const SentenceSaveOutcome&) const = default;

  private:
    Value value_;
};

// Saves captured sentences. Each save runs by itself; several may be in flight at once.
// Called from any thread; the completion runs on whatever thread finished the save.
class SentenceSaving {
  public:
    virtual ~SentenceSaving() = default;
    virtual void save(SentenceWork work, Completion<void(SentenceSaveOutcome)> completion) = 0;
    // Saves from entry to their outcome, including their waits between attempts.
    virtual int pending() const = 0;
};

}  // namespace parlendo
