// The capture pipeline's save hand-off: the owner checks, the source retry ladder, the word and
// sentence work items and the title-vector request after a confirmed save.
#include "capture/CaptureCopy.h"
#include "capture/CapturePipeline.h"
#include "foundation/Log.h"
#include "foundation/Overloaded.h"
#include "lookup/TitleKey.h"

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
    Body body;
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

void CapturePipeline::saving(std::shared_ptr<Started> started, Body body, Task done) {
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
        Handoff{std::move(started), std::move(body), std::move(finish), 1});
    if (!ownerHolds(handoff->started->owner)) {
        Log::write("save", ownerChanged);
        handoff->done();
        return;
    }
    resolve(std::move(handoff));
}

void CapturePipeline::resolve(std::shared_ptr<Handoff> handoff) {
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
    if (!row) {
        if (attempts >= sourceAttempts) {
            Log::write("save", "🔴 출처를 못 정해 저장하지 못함 attempts=" +
                                   std::to_string(sourceAttempts) + " — 유실");
            if (unsaved) {
                unsaved->add(UnsavedCounter::Kind::source);
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
        handoff->done();
        return;
    }
    if (attempts >= 2) {
        Log::write("save", "출처 정함 attempts=" + std::to_string(attempts));
    }
    auto body = std::move(handoff->body);
    body(*row, std::move(handoff->done));
}

void CapturePipeline::retryAfterWait(std::shared_ptr<Handoff> handoff) {
    handoff->attempts += 1;
    if (!ownerHolds(handoff->started->owner)) {
        Log::write("save", ownerChanged);
        handoff->done();
        return;
    }
    resolve(std::move(handoff));
}

void CapturePipeline::saveWord(const Started& started, const DictionaryLookup::Result& result,
                               const SourceRow& row, Task finish) {
    const auto& snapshot = started.snapshot;
    std::vector<DictionaryLookup::Sense> senses(
        result.senses.begin(), result.senses.begin() + std::min<size_t>(result.senses.size(), 2));
    auto korean = koreanOf(senses);
    SaveWork work(snapshot.id, row.id, result.lemma.value_or(result.word), result.phonetic,
                  std::move(korean), std::move(senses), services_.clock->now());
    if (started.owner) {
        std::lock_guard lock(mutex_);
        titlesAfterSave_[snapshot.id] = TitleAfterSave{titleKey(snapshot), row.id, *started.owner};
    }
    if (!services_.journal || !started.owner) {
        services_.words->enqueue(std::move(work));
        finish();
        return;
    }
    // The hand-off lasts until the save is in the journal and queued, so a quit waits for it.
    SaveWork recorded = work;
    services_.journal->record(
        *started.owner, std::move(recorded),
        [self = shared_from_this(), work = std::move(work), finish = std::move(finish)]() mutable {
            self->services_.words->enqueue(std::move(work));
            self->onMain(std::move(finish));
        });
}

void CapturePipeline::saveSentence(std::shared_ptr<Started> started, const std::string& original,
                                   const std::string& korean, const SourceRow& row, Task finish) {
    SentenceWork work{started->snapshot.id, row.id, original, korean};
    if (!services_.journal || !started->owner) {
        sendSentence(std::move(work), std::move(started), std::move(finish));
        return;
    }
    const std::string owner = *started->owner;
    services_.journal->record(owner, work,
                              [self = shared_from_this(), work, started = std::move(started),
                               finish = std::move(finish)]() mutable {
                                  self->sendSentence(std::move(work), std::move(started),
                                                     std::move(finish));
                              });
}

// `started` is none for a save an earlier run left in the journal.
void CapturePipeline::sendSentence(SentenceWork work, std::shared_ptr<Started> started,
                                   Task finish) {
    services_.sentences->save(
        work, [self = shared_from_this(), started = std::move(started), work,
               finish = std::move(finish)](SentenceSaveOutcome outcome) mutable {
            self->onMain([self, started = std::move(started), work = std::move(work),
                          outcome = std::move(outcome), finish = std::move(finish)]() mutable {
                if (started) {
                    self->sentenceSaved(*started, work, outcome);
                } else {
                    self->sentenceSettled(work, outcome);
                }
                if (finish) {
                    finish();
                }
            });
        });
}

void CapturePipeline::sentenceSaved(const Started& started, const SentenceWork& work,
                                    const SentenceSaveOutcome& outcome) {
    sentenceSettled(work, outcome);
    // Like a word save: the title vector is asked for only while the account that made the
    // capture is still signed in.
    if (!outcome.is<SentenceSaveOutcome::Confirmed>()) {
        return;
    }
    if (!ownerHolds(started.owner)) {
        Log::write("title_vec", ownerChangedBeforeConfirm);
        return;
    }
    services_.titleVectors->request(titleKey(started.snapshot), work.sourceID);
}

void CapturePipeline::sentenceSettled(const SentenceWork& work,
                                      const SentenceSaveOutcome& outcome) {
    if (services_.journal) {
        services_.journal->settle(work.id);
    }
    if (onSentenceOutcome) {
        onSentenceOutcome(work, outcome);
    }
    if (unsaved) {
        unsaved->note(outcome);
    }
}

void CapturePipeline::followAccount(const std::optional<std::string>& owner) {
    if (!services_.journal) {
        return;
    }
    services_.journal->follow(owner);
    if (!owner) {
        return;
    }
    services_.journal->takeLeftOver(*owner,
                                    [weak = weak_from_this()](SaveJournal::Saves saves) mutable {
                                        if (auto self = weak.lock(); self && !saves.empty()) {
                                            self->resend(std::move(saves));
                                        }
                                    });
}

void CapturePipeline::resend(SaveJournal::Saves saves) {
    Log::write("save",
               "지난 실행에서 끝나지 않은 저장 " + std::to_string(saves.size()) + "건 — 다시 보냄");
    for (auto& save : saves) {
        std::visit(overloaded{
                       [&](SaveWork& work) { services_.words->enqueue(std::move(work)); },
                       [&](SentenceWork& work) { sendSentence(std::move(work), nullptr, {}); },
                   },
                   save);
    }
}

void CapturePipeline::wordOutcome(const WordSaver::Outcome& outcome) {
    if (services_.journal) {
        services_.journal->settle(outcome.work.id);
    }
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
