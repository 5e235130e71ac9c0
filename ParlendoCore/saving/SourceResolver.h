#pragma once

#include "foundation/Completion.h"
#include "saving/CaptureSnapshot.h"
#include "saving/SentenceSaving.h"
#include "saving/SourceStore.h"
#include "saving/WordSaver.h"

#include <cstddef>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace parlendo {

// Finds or creates the source row of a capture. Called from any thread; the completion runs on
// whatever thread the store answered on (or at once when nothing had to be asked).
class SourceResolving {
  public:
    virtual ~SourceResolving() = default;
    // The row to save the capture under; none when no row could be found or created.
    virtual void resolve(CaptureSnapshot snapshot,
                         Completion<void(std::optional<SourceRow>)> completion) = 0;
};

// Turns a capture into its source row: the identity is the source URL when the capture has one,
// else the normalised window title. Rows resolved in this session are remembered until the
// account or the word book's sources change; a row a save found missing is forgotten. A
// resolution that started before the memory was cleared throws its answer away (the generation
// check). Never retries and never waits; the capture pipeline retries.
//
// All members may be called from any thread; one lock guards the memory and is never held across
// a store call.
class SourceResolver final : public SourceResolving,
                             public std::enable_shared_from_this<SourceResolver> {
  public:
    // The sentence save's code for a source row that does not exist (a foreign-key violation).
    static constexpr std::string_view sentenceSourceMissingCode = "23503";
    // Identities remembered at most; past this the one remembered first is forgotten (a later
    // capture of it asks the store again).
    static constexpr size_t sessionCapacity = 512;

    static std::shared_ptr<SourceResolver> make(std::shared_ptr<SourceStore> store);

    void resolve(CaptureSnapshot snapshot,
                 Completion<void(std::optional<SourceRow>)> completion) override;

    // Forgets every remembered source (account change, changed sources).
    void reset();
    // Forgets one row, under whatever identities it is remembered.
    void forget(const std::string& sourceID);

    // Forgets the source of a word save rejected with "source_not_found".
    void noteSaveOutcome(const WordSaver::Outcome& outcome);
    // Forgets the source of a sentence save rejected for a missing source; whether it did.
    bool noteSentenceOutcome(const SentenceSaveOutcome& outcome, const std::string& sourceID);
    // How many identities are remembered.
    size_t rememberedCount();

    // The identity of a capture: "url:" and the source URL when there is one (even an empty
    // one), else "title:" and the normalised title. With the normalised title and the URL.
    struct Identity {
        std::string key;
        std::string title;
        std::optional<std::string> url;
    };
    static Identity identity(const CaptureSnapshot& snapshot);

  private:
    enum class Memory { sameIdentity, remembered, notRemembered };
    // What the memory holds for an identity, with the generation read under the same lock.
    struct Recall {
        Memory kind = Memory::notRemembered;
        std::optional<SourceRow> row;
        long long generation = 0;
    };

    explicit SourceResolver(std::shared_ptr<SourceStore> store);

    Recall remembered(const std::string& identity);
    bool adopt(const SourceRow& row, const std::string& identity, long long generation);
    void touch(const std::string& id);
    void create(Identity identity, long long generation,
                Completion<void(std::optional<SourceRow>)> completion);

    std::shared_ptr<SourceStore> store_;
    std::mutex mutex_;
    std::map<std::string, SourceRow> sessionCache_;
    std::deque<std::string> sessionOrder_;  // the keys of sessionCache_, first remembered first
    std::optional<SourceRow> current_;
    std::optional<std::string> lastIdentity_;
    long long generation_ = 0;
};

}  // namespace parlendo
