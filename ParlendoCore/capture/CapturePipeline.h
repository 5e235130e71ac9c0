#pragma once

#include "capture/CaptureNotice.h"
#include "foundation/Clock.h"
#include "foundation/Deadline.h"
#include "foundation/Executor.h"
#include "foundation/Function.h"
#include "lookup/SentenceTranslating.h"
#include "lookup/TitleVectorUploader.h"
#include "lookup/WordLookingUp.h"
#include "popups/PopupBody.h"
#include "popups/PopupPresenting.h"
#include "popups/PopupSetting.h"
#include "saving/CaptureSnapshot.h"
#include "saving/SaveJournal.h"
#include "saving/SentenceSaving.h"
#include "saving/SourceResolver.h"
#include "saving/UnsavedCounter.h"
#include "saving/WordSaver.h"
#include "server/AuthTypes.h"

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace parlendo {

// What a captured selection is, once classified.
struct CaptureKind {
    // One word to look up (the classifier's cleaned word).
    struct Word {
        std::string text;
        bool operator==(const Word&) const = default;
    };
    // A text to translate (the classifier's trimmed text).
    struct Sentence {
        std::string text;
        bool operator==(const Sentence&) const = default;
    };
    // A sentence over the length limit; the selection's length.
    struct OverLength {
        size_t count = 0;
        bool operator==(const OverLength&) const = default;
    };
    // Nothing to do, with the skip reason ("no_setting" when no popup setting takes the input).
    struct Nothing {
        std::optional<std::string> reason;
        bool operator==(const Nothing&) const = default;
    };
    using Value = std::variant<Word, Sentence, OverLength, Nothing>;

    Value value;
    bool operator==(const CaptureKind&) const = default;
};

// One capture between the pipeline's two halves: what `begin` decided and opened, for
// `complete` to finish.
struct CaptureStarted {
    CaptureSnapshot snapshot;
    CaptureKind kind;
    // The settings that handle this input, in the order the provider gave them; a card's slot
    // is its setting's index here.
    std::vector<PopupSetting> active;
    // The cards that did open.
    std::vector<PopupID> opened;
    // The signed-in user when the capture began.
    std::optional<std::string> owner;
    // The number of cards shown.
    int popupCount = 0;
    // A skip notice for the caller to show.
    std::optional<CaptureNotice> notice;
};

// Where the capture controller hands every snapshot: the capture pipeline. Main thread.
class CaptureSink {
  public:
    virtual ~CaptureSink() = default;
    // Classifies the selection and opens its cards; returns at once.
    virtual CaptureStarted begin(const CaptureSnapshot& snapshot, const PopupAnchor& anchor) = 0;
    // Looks up or translates, fills the cards and hands the result to the savers. `done` (may be
    // empty) runs on the main executor once the cards are final and the save hand-off has ended.
    virtual void complete(CaptureStarted started, Task done) = 0;
};

// Turns one captured selection into popup cards: classifies the text, opens one loading card per
// popup setting that takes that kind of input, looks the word up or translates the sentence,
// fills the cards, and hands the word or sentence to the savers while the account that made the
// capture is still signed in. Cards are addressed by (capture id, slot), so an older capture's
// answers only ever reach its own cards.
//
// `begin`, `complete` and every card call run on the main executor; answers of the services are
// brought back to it. One lock guards the count of save hand-offs and the word saves awaiting
// their outcome; it is never held across a call to another service. Lives in a shared_ptr.
class CapturePipeline final : public CaptureSink,
                              public std::enable_shared_from_this<CapturePipeline> {
  public:
    using Kind = CaptureKind;
    using Started = CaptureStarted;

    // How long a save waits for its journal record (a disk that hangs holds every record behind
    // it) before it goes out unrecorded.
    static constexpr double recordWait = 2.0;

    struct Services {
        std::shared_ptr<PopupPresenting> popups;
        std::shared_ptr<PopupSettingsProviding> settings;
        std::shared_ptr<WordLookingUp> lookup;
        std::shared_ptr<SentenceTranslating> translator;
        std::shared_ptr<SourceResolving> sources;
        std::shared_ptr<WordSaver> words;
        std::shared_ptr<SentenceSaving> sentences;
        std::shared_ptr<TitleVectorRequesting> titleVectors;
        std::shared_ptr<SessionProviding> session;
        // Where the translation deadline and the waits between source attempts run (normally
        // `SerialQueue::timers()`).
        ExecutorPtr timers;
        ExecutorPtr main;
        std::shared_ptr<const WallClock> clock;
        // Keeps the saves on their way on disk until their outcome; none keeps nothing.
        std::shared_ptr<SaveJournal> journal;
    };

    // Builds the pipeline and chains it into the word saver's outcome hook (after the hook that
    // was there).
    static std::shared_ptr<CapturePipeline> make(Services services);

    Started begin(const CaptureSnapshot& snapshot, const PopupAnchor& anchor) override;
    void complete(Started started, Task done) override;

    // Save hand-offs in progress (the quit drain adds the savers' own counts).
    int pending() const;

    // Told each change of the signed-in account: what the journal holds for an account that
    // signs in and is not on its way (left by an earlier run, or dropped when the login was
    // lost) is sent again through the same hand-off and savers, and counts as unsaved until the
    // server confirms it.
    void followAccount(const std::optional<std::string>& owner);
    // Told each time the login of the signed-in account is good again (signed in, or its tokens
    // renewed): its saves dropped when the login was lost go out again.
    void loginBack(const std::string& owner);

    // Set by the coordinator before the first capture; called on the main executor.
    // Told how many cards could not be opened.
    std::function<void(int)> onPopupsRejected;
    // Told every sentence save outcome.
    std::function<void(const SentenceWork&, const SentenceSaveOutcome&)> onSentenceOutcome;
    // Counts the items that ended unsaved; none counts nothing.
    std::shared_ptr<UnsavedCounter> unsaved;
    // Whether the network is known to be down.
    std::function<bool()> isOffline;

  private:
    // One save hand-off, shared by its asynchronous steps.
    struct Handoff;
    // A save awaiting its outcome: the title vector asked for once it is confirmed.
    struct TitleAfterSave {
        std::optional<std::string> titleKey;
        std::string sourceID;
        std::string owner;
    };
    enum class Road { word, sentence };
    // How a save ended, for the journal and the unsaved count.
    enum class SaveEnd { saved, refused, givenUp, dropped };
    // Why the journal hands saves back: a session of their account began, or its login came back.
    enum class HandBack { session, login };

    explicit CapturePipeline(Services services);

    Started skipped(const CaptureSnapshot& snapshot, const PopupAnchor& anchor,
                    const std::optional<std::string>& reason, std::optional<std::string> owner);
    void logOpened(const Started& started, bool word) const;

    void wordRoad(std::shared_ptr<Started> started, std::string word, Task done);
    void wordAnswered(std::shared_ptr<Started> started, const std::string& word,
                      WordLookupResult answer, Task done);
    void sentenceRoad(std::shared_ptr<Started> started, std::string sentence, Task done);
    void sentenceAnswered(std::shared_ptr<Started> started, const std::string& sentence,
                          TranslationClient::Outcome answer, Task done);
    void failed(const Started& started, const CallFailure& failure, Road road,
                const std::optional<std::string>& title);
    void fail(const Started& started, const std::optional<std::string>& title,
              std::string_view message);
    bool offline() const;
    void onMain(Task task);

    // The save hand-off.
    void saveWord(std::shared_ptr<Started> started, const DictionaryLookup::Result& result,
                  Task done);
    void saveSentence(std::shared_ptr<Started> started, const std::string& original,
                      const std::string& korean, Task done);
    // `replayed`: the save comes from the journal, which holds it already.
    void saving(std::shared_ptr<Started> started, JournalEntry entry, Task done, bool replayed);
    // The journal wrote the save's record, or the wait for it ended (`onDisk` false): the save
    // goes on, once.
    void recordEnded(const std::shared_ptr<std::shared_ptr<Handoff>>& waiting, bool onDisk);
    void resolve(std::shared_ptr<Handoff> handoff);
    void resolved(std::shared_ptr<Handoff> handoff, std::optional<SourceRow> row);
    void retryAfterWait(std::shared_ptr<Handoff> handoff);
    void send(std::shared_ptr<Handoff> handoff);
    bool ownerHolds(const std::optional<std::string>& owner) const;
    void sendSentence(SentenceWork work, TitleAfterSave after, Task finish);
    void sentenceSaved(const SentenceWork& work, const TitleAfterSave& after,
                       const SentenceSaveOutcome& outcome);
    // What every sentence outcome is told to: the owner's journal, the outcome hook and the
    // count.
    void sentenceSettled(const std::string& owner, const SentenceWork& work,
                         const SentenceSaveOutcome& outcome);
    void wordOutcome(const WordSaver::Outcome& outcome);
    static std::optional<std::string> titleKey(const CaptureSnapshot& snapshot);

    // The journal's side.
    static SaveEnd endOf(const SaveVerdict& verdict);
    static SaveEnd endOf(const SentenceSaveOutcome& outcome);
    static SaveEnd endOfRefusal(const std::string& code);
    // What the outcome of the save `id` leaves in `owner`'s journal.
    void journalOutcome(const std::string& owner, const std::string& id, SaveEnd end);
    void putBack(const std::string& owner, const std::string& id);
    void handBack(const std::string& owner, HandBack why);
    void resend(const std::string& owner, SaveJournal::LeftOver left, HandBack why);

    Services services_;
    // The account the account scope told last; main executor only.
    std::optional<std::string> followed_;
    mutable std::mutex mutex_;
    int saving_ = 0;
    std::map<std::string, TitleAfterSave> titlesAfterSave_;
};

}  // namespace parlendo
