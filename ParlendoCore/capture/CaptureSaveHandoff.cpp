// The capture pipeline's save hand-off: the owner checks, the journal record, the source retry
// ladder, the word and sentence work items and the title-vector request after a confirmed save.
#include "capture/CaptureCopy.h"
#include "capture/CapturePipeline.h"
#include "foundation/Log.h"
#include "foundation/Overloaded.h"
#include "lookup/TitleKey.h"

#include <utility>

namespace parlendo {

namespace {

constexpr int sourceAttempts = static_cast<int>(CaptureCopy::sourceRetryDelays.size()) + 1;
constexpr const char* ownerChanged = "저장 버림 — 캡처 뒤 계정이 바뀌었거나 로그아웃됨";
constexpr const char* ownerChangedBeforeConfirm = "올리기 안 함 — 저장 확정 전에 계정이 바뀜";

// The Korean glosses of the saved senses, empty ones left out; none when nothing is left.
std::optional<std::string> koreanOf(const std::vector<DictionaryLookup::Sense>& senses) {
    std::string joined;
    for (const auto& sense : senses) {
        if (sense.korean.empty()) {
            continue;
        }
        if (!joined.empty()) {
            joined += ", ";
        }
        joined += sense.korean;
    }
    if (joined.empty()) {
        return std::nullopt;
    }
    return joined;
}

}  // namespace

struct CapturePipeline::Handoff {
    std::shared_ptr<Started> started;
    // The save; its source id is set once the source is resolved.
    JournalEntry entry;
    Task done;
    int attempts = 1;
};

bool CapturePipeline::ownerHolds(const std::optional<std::string>& owner) const {
    if (!owner) {
        return false;
    }
    const auto now = services_.session->userID();
    return now && *now == *owner;
}

std::optional<std::string> CapturePipeline::titleKey(const CaptureSnapshot& snapshot) {
    return TitleKey::key(TitleKey::documentTitle(
        snapshot.title, snapshot.window ? std::optional(snapshot.window->bundleID) : std::nullopt,
        snapshot.documentURL));
}

void CapturePipeline::saveWord(std::shared_ptr<Started> started,
                               const DictionaryLookup::Result& result, Task done) {
    const auto& snapshot = started->snapshot;
    std::vector<DictionaryLookup::Sense> senses(
        result.senses.begin(), result.senses.begin() + std::min<size_t>(result.senses.size(), 2));
    auto korean = koreanOf(senses);
    SaveWork work(snapshot.id, "", result.lemma.value_or(result.word), result.phonetic,
                  std::move(korean), std::move(senses), services_.clock->now());
    JournalEntry entry{std::move(work), JournalEntry::Origin::of(snapshot)};
    saving(std::move(started), std::move(entry), std::move(done), false);
}

void CapturePipeline::saveSentence(std::shared_ptr<Started> started, const std::string& original,
                                   const std::string& korean, Task done) {
    JournalEntry entry{SentenceWork{started->snapshot.id, "", original, korean},
                       JournalEntry::Origin::of(started->snapshot)};
    saving(std::move(started), std::move(entry), std::move(done), false);
}

void CapturePipeline::saving(std::shared_ptr<Started> started, JournalEntry entry, Task done,
                             bool replayed) {
    {
        std::lock_guard lock(mutex_);
        ++saving_;
    }
    // Every road out of the hand-off ends through `done`, which counts it down first.
    Task finish = [self = shared_from_this(), done = std::move(done)]() mutable {
        {
            std::lock_guard lock(self->mutex_);
            --self->saving_;
        }
        if (done) {
            done();
        }
    };
    auto handoff = std::make_shared<Handoff>(
        Handoff{std::move(started), std::move(entry), std::move(finish), 1});
    if (!ownerHolds(handoff->started->owner)) {
        Log::write("save", ownerChanged);
        if (replayed) {
            putBack(*handoff->started->owner, handoff->entry.id());
        }
        handoff->done();
        return;
    }
    if (replayed || !services_.journal || !handoff->entry.origin) {
        resolve(std::move(handoff));
        return;
    }
    // The capture is on disk before its source is looked for: from here a kill loses it no more.
    // A record that does not end in time (a disk that hangs) lets the save go on without it.
    const std::string owner = *handoff->started->owner;
    JournalEntry recorded = handoff->entry;
    auto waiting = std::make_shared<std::shared_ptr<Handoff>>(std::move(handoff));
    services_.journal->record(
        owner, std::move(recorded), [self = shared_from_this(), waiting]() mutable {
            self->onMain([self, waiting] { self->recordEnded(waiting, true); });
        });
    services_.timers->postAfter(recordWait, [weak = weak_from_this(), waiting] {
        if (auto self = weak.lock()) {
            self->onMain([self, waiting] { self->recordEnded(waiting, false); });
        }
    });
}

void CapturePipeline::recordEnded(const std::shared_ptr<std::shared_ptr<Handoff>>& waiting,
                                  bool onDisk) {
    auto handoff = std::exchange(*waiting, nullptr);
    if (!handoff) {
        return;  // gone on already
    }
    if (!onDisk) {
        Log::write("save", "🔴 저장 대기 기록이 끝나지 않음 — 기록 없이 보냄 work=" +
                               handoff->entry.id().substr(0, 8));
    }
    resolve(std::move(handoff));
}

void CapturePipeline::resolve(std::shared_ptr<Handoff> handoff) {
    // A save an earlier version recorded came with its source.
    if (const std::string& known = handoff->entry.sourceID(); !known.empty()) {
        resolved(std::move(handoff), SourceRow{known, "", std::nullopt});
        return;
    }
    auto snapshot = handoff->started->snapshot;
    services_.sources->resolve(
        std::move(snapshot), [self = shared_from_this(),
                              handoff = std::move(handoff)](std::optional<SourceRow> row) mutable {
            self->onMain([self, handoff = std::move(handoff), row = std::move(row)]() mutable {
                self->resolved(std::move(handoff), std::move(row));
            });
        });
}

void CapturePipeline::resolved(std::shared_ptr<Handoff> handoff, std::optional<SourceRow> row) {
    const int attempts = handoff->attempts;
    const std::string& id = handoff->entry.id();
    if (!row) {
        if (attempts >= sourceAttempts) {
            Log::write("save", "🔴 출처를 못 정해 저장하지 못함 attempts=" +
                                   std::to_string(sourceAttempts) + " — 유실");
            if (unsaved) {
                unsaved->add(UnsavedCounter::Kind::source, id);
            }
            if (services_.journal) {
                services_.journal->keep(*handoff->started->owner, id);
            }
            handoff->done();
            return;
        }
        Log::write("save", "출처를 못 정함 — 다시 " + std::to_string(attempts) + "/" +
                               std::to_string(sourceAttempts));
        const double delay = CaptureCopy::sourceRetryDelays.at(static_cast<size_t>(attempts - 1));
        services_.timers->postAfter(
            delay, [self = shared_from_this(), handoff = std::move(handoff)]() mutable {
                self->onMain([self, handoff = std::move(handoff)]() mutable {
                    self->retryAfterWait(std::move(handoff));
                });
            });
        return;
    }
    if (!ownerHolds(handoff->started->owner)) {
        Log::write("save", "저장 버림 — 출처를 정하는 사이 계정이 바뀜");
        putBack(*handoff->started->owner, id);
        handoff->done();
        return;
    }
    if (attempts >= 2) {
        Log::write("save", "출처 정함 attempts=" + std::to_string(attempts));
    }
    handoff->entry.setSourceID(row->id);
    send(std::move(handoff));
}

void CapturePipeline::retryAfterWait(std::shared_ptr<Handoff> handoff) {
    handoff->attempts += 1;
    if (!ownerHolds(handoff->started->owner)) {
        Log::write("save", ownerChanged);
        putBack(*handoff->started->owner, handoff->entry.id());
        handoff->done();
        return;
    }
    resolve(std::move(handoff));
}

void CapturePipeline::send(std::shared_ptr<Handoff> handoff) {
    const Started& started = *handoff->started;
    TitleAfterSave after{titleKey(started.snapshot), handoff->entry.sourceID(), *started.owner};
    std::visit(overloaded{
                   [&](SaveWork& work) {
                       work.owner = *started.owner;
                       {
                           std::lock_guard lock(mutex_);
                           titlesAfterSave_[work.id] = std::move(after);
                       }
                       services_.words->enqueue(std::move(work));
                       handoff->done();
                   },
                   [&](SentenceWork& work) {
                       sendSentence(std::move(work), std::move(after), std::move(handoff->done));
                   },
               },
               handoff->entry.save);
}

void CapturePipeline::sendSentence(SentenceWork work, TitleAfterSave after, Task finish) {
    services_.sentences->save(
        work, [self = shared_from_this(), after = std::move(after), work,
               finish = std::move(finish)](SentenceSaveOutcome outcome) mutable {
            self->onMain([self, after = std::move(after), work = std::move(work),
                          outcome = std::move(outcome), finish = std::move(finish)]() mutable {
                self->sentenceSaved(work, after, outcome);
                finish();
            });
        });
}

void CapturePipeline::sentenceSaved(const SentenceWork& work, const TitleAfterSave& after,
                                    const SentenceSaveOutcome& outcome) {
    sentenceSettled(after.owner, work, outcome);
    // Like a word save: the title vector is asked for only while the account that made the
    // capture is still signed in.
    if (!outcome.is<SentenceSaveOutcome::Confirmed>()) {
        return;
    }
    if (!ownerHolds(after.owner)) {
        Log::write("title_vec", ownerChangedBeforeConfirm);
        return;
    }
    services_.titleVectors->request(after.titleKey, work.sourceID);
}

void CapturePipeline::wordOutcome(const WordSaver::Outcome& outcome) {
    journalOutcome(outcome.work.owner, outcome.work.id,
                   outcome.result ? SaveEnd::saved : endOf(outcome.result.error()));
    std::optional<TitleAfterSave> entry;
    {
        std::lock_guard lock(mutex_);
        auto it = titlesAfterSave_.find(outcome.work.id);
        if (it == titlesAfterSave_.end()) {
            return;
        }
        entry = std::move(it->second);
        titlesAfterSave_.erase(it);
    }
    if (!outcome.result) {
        return;
    }
    if (!ownerHolds(entry->owner)) {
        Log::write("title_vec", ownerChangedBeforeConfirm);
        return;
    }
    services_.titleVectors->request(entry->titleKey, entry->sourceID);
}

}  // namespace parlendo
