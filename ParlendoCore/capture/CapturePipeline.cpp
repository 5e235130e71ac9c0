#include "capture/CapturePipeline.h"

#include "capture/CaptureCopy.h"
#include "capture/InputClassify.h"
#include "foundation/Log.h"
#include "foundation/Overloaded.h"
#include "foundation/Text.h"
#include "foundation/WorkerQueue.h"
#include "lookup/LookupTimes.h"
#include "lookup/TitleKey.h"
#include "popups/PopupPresentation.h"

#include <cstdio>

namespace parlendo {

namespace {

constexpr const char* notInDictionary = "사전에 없는 단어예요";
constexpr double overLengthSeconds = 3.0;
constexpr double overLengthLoadingLimit = 1.0;

std::string milliseconds(double ms) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.0f", ms);
    return buffer;
}

bool anySaves(const std::vector<PopupSetting>& settings) {
    for (const auto& setting : settings) {
        if (setting.save()) {
            return true;
        }
    }
    return false;
}

// A sentence's card title: its first characters, with "…" when it is longer.
std::string preview(const std::string& sentence) {
    if (text::characterCount(sentence) <= CaptureCopy::sentencePreview) {
        return sentence;
    }
    return text::characterPrefix(sentence, CaptureCopy::sentencePreview) + "…";
}

}  // namespace

std::shared_ptr<CapturePipeline> CapturePipeline::make(Services services) {
    std::shared_ptr<CapturePipeline> pipeline(new CapturePipeline(std::move(services)));
    if (auto words = pipeline->services_.words) {
        std::weak_ptr<CapturePipeline> weak = pipeline;
        words->setOnOutcome([previous = words->onOutcome(), weak](const WordSaver::Outcome& o) {
            if (previous) {
                previous(o);
            }
            if (auto self = weak.lock()) {
                self->wordOutcome(o);
            }
        });
    }
    return pipeline;
}

CapturePipeline::CapturePipeline(Services services) : services_(std::move(services)) {
    if (!services_.timers) {
        services_.timers = SerialQueue::timers();
    }
}

int CapturePipeline::pending() const {
    std::lock_guard lock(mutex_);
    return saving_;
}

bool CapturePipeline::offline() const {
    return isOffline && isOffline();
}

void CapturePipeline::onMain(Task task) {
    services_.main->post(std::move(task));
}

CapturePipeline::Started CapturePipeline::begin(const CaptureSnapshot& snapshot,
                                                const PopupAnchor& anchor) {
    std::optional<std::string> owner = services_.session->userID();
    const auto decision = InputClassify::classify(snapshot.text);
    if (const auto* skip = std::get_if<InputClassify::Skip>(&decision)) {
        return skipped(snapshot, anchor, skip->reason, std::move(owner));
    }
    const auto* word = std::get_if<InputClassify::Word>(&decision);
    const std::string& text = word ? word->text : std::get<InputClassify::Sentence>(decision).text;
    const PopupInput input = word ? PopupInput::word : PopupInput::sentence;

    Started started{snapshot, Kind{Kind::Nothing{"no_setting"}}, {}, {}, std::move(owner), 0, {}};
    const auto current = services_.settings->current();
    for (const auto& setting : current) {
        if (setting.shows(input)) {
            started.active.push_back(setting);
        }
    }
    if (started.active.empty()) {
        Log::write("capture", std::string("버림 — 이 입력(") + toString(input) +
                                  ")을 다루는 팝업 설정이 꺼져 있거나 없음 settings=" +
                                  std::to_string(current.size()));
        started.notice = word ? CaptureNotice::noWordPopup : CaptureNotice::noSentencePopup;
        return started;
    }

    const PopupBody loading =
        word ? PopupBody::loading(text, std::string(CaptureCopy::loadingNote))
             : PopupBody::loading(preview(text), std::string(CaptureCopy::translatingNote));
    const double limit = word ? LookupTimes::wordLoadingLimit : LookupTimes::sentenceLoadingLimit;
    for (size_t i = 0; i < started.active.size(); ++i) {
        const auto& setting = started.active[i];
        PopupID id{snapshot.id, static_cast<std::int64_t>(i)};
        if (services_.popups->open(id, loading, PopupPresentation::settingLabel(setting.name()),
                                   setting.options(), anchor, limit)) {
            started.opened.push_back(std::move(id));
        }
    }
    started.popupCount = static_cast<int>(started.opened.size());
    started.kind = word ? Kind{Kind::Word{text}} : Kind{Kind::Sentence{text}};
    logOpened(started, word != nullptr);

    const int rejected = static_cast<int>(started.active.size() - started.opened.size());
    if (rejected > 0) {
        Log::write("capture", "팝업 자리 없음 — 못 띄운 것 " + std::to_string(rejected) +
                                  "장 (한도 " + std::to_string(PopupLimits::maxVisible) + ")");
        if (onPopupsRejected) {
            onPopupsRejected(rejected);
        }
    }
    return started;
}

CapturePipeline::Started CapturePipeline::skipped(const CaptureSnapshot& snapshot,
                                                  const PopupAnchor& anchor,
                                                  const std::optional<std::string>& reason,
                                                  std::optional<std::string> owner) {
    Started started{snapshot, Kind{Kind::Nothing{reason}}, {}, {}, std::move(owner), 0, {}};
    if (const auto length = InputClassify::overLength(snapshot.text)) {
        const PopupID id{snapshot.id, 0};
        const PopupBody body = PopupBody::text(CaptureCopy::overLength(*length));
        const PopupOptions options{overLengthSeconds, PopupOptions::Width::normal, 0.94};
        const bool shown =
            services_.popups->open(id, body, std::nullopt, options, anchor, overLengthLoadingLimit);
        if (shown) {
            services_.popups->fill(id, body, overLengthSeconds);
        }
        Log::write("capture", "버림 — 문장 길이 초과 len=" + std::to_string(*length) +
                                  " notice=" + (shown ? "true" : "false"));
        started.kind = Kind{Kind::OverLength{*length}};
        started.popupCount = shown ? 1 : 0;
        return started;
    }
    Log::write("capture", "버림 — " + reason.value_or("글자 없음"));
    started.notice = captureNoticeForSkip(reason);
    return started;
}

void CapturePipeline::logOpened(const Started& started, bool word) const {
    const auto& snapshot = started.snapshot;
    std::string names;
    for (const auto& setting : started.active) {
        if (!names.empty()) {
            names += ",";
        }
        names += std::to_string(text::characterCount(setting.name()));
    }
    const std::optional<std::string> bundle =
        snapshot.window ? std::optional(snapshot.window->bundleID) : std::nullopt;
    const double ageMs = (services_.clock->now() - snapshot.capturedAt) * 1000;
    Log::write("capture",
               std::string(word ? "단어" : "문장") + "=" + Log::redact(snapshot.text) +
                   " app=" + bundle.value_or("nil") + " title=" + Log::redact(snapshot.title) +
                   " src=" + Log::redact(snapshot.sourceURL()) +
                   " settings=" + std::to_string(started.active.size()) +
                   " opened=" + std::to_string(started.opened.size()) + " name_len=" + names +
                   " save=" + (anySaves(started.active) ? "true" : "false") +
                   " age_ms=" + milliseconds(ageMs));
}

void CapturePipeline::complete(Started started, Task done) {
    auto shared = std::make_shared<Started>(std::move(started));
    std::visit(overloaded{
                   [&](const Kind::Word& w) { wordRoad(shared, w.text, std::move(done)); },
                   [&](const Kind::Sentence& s) { sentenceRoad(shared, s.text, std::move(done)); },
                   [&](const Kind::OverLength&) {
                       if (done) {
                           done();
                       }
                   },
                   [&](const Kind::Nothing&) {
                       if (done) {
                           done();
                       }
                   },
               },
               shared->kind.value);
}

void CapturePipeline::wordRoad(std::shared_ptr<Started> started, std::string word, Task done) {
    const auto& snapshot = started->snapshot;
    auto title = TitleKey::documentTitle(
        snapshot.title, snapshot.window ? std::optional(snapshot.window->bundleID) : std::nullopt,
        snapshot.documentURL);
    std::weak_ptr<CapturePipeline> weak = weak_from_this();
    // The lookup may say so from any thread; the cards change on the main thread.
    auto generating = [weak, main = services_.main, opened = started->opened, word] {
        Task update = [weak, opened, word] {
            auto self = weak.lock();
            if (!self) {
                return;
            }
            const PopupBody body =
                PopupBody::loading(word, std::string(CaptureCopy::generatingNote));
            for (const auto& id : opened) {
                self->services_.popups->update(id, body);
            }
        };
        if (main->isCurrent()) {
            update();
        } else {
            main->post(std::move(update));
        }
    };
    services_.lookup->lookup(
        word, std::move(title), std::move(generating),
        [self = shared_from_this(), started, word,
         done = std::move(done)](WordLookupResult answer) mutable {
            self->onMain([self, started = std::move(started), word = std::move(word),
                          answer = std::move(answer), done = std::move(done)]() mutable {
                self->wordAnswered(std::move(started), word, std::move(answer), std::move(done));
            });
        });
}

void CapturePipeline::wordAnswered(std::shared_ptr<Started> started, const std::string& word,
                                   WordLookupResult answer, Task done) {
    auto finish = [&done] {
        if (done) {
            done();
        }
    };
    if (!answer) {
        failed(*started, answer.error(), Road::word, word);
        finish();
        return;
    }
    const auto& outcome = *answer;
    const auto& result = outcome.result;
    if (result.status != DictionaryLookup::Status::ok || result.senses.empty()) {
        std::string_view message = notInDictionary;
        if (outcome.generation && CaptureCopy::isGenerationFailure(*outcome.generation)) {
            message = offline() ? CaptureCopy::offline : CaptureCopy::generationUnavailable;
        } else if (outcome.generation == "refused") {
            message = CaptureCopy::generationRefused;
        }
        fail(*started, word, message);
        finish();
        return;
    }
    for (const auto& id : started->opened) {
        const auto& setting = started->active.at(static_cast<size_t>(id.slot));
        services_.popups->fill(id, PopupPresentation::wordBody(word, result, setting.contents()),
                               setting.options().duration);
    }
    if (!anySaves(started->active)) {
        Log::write("save", "저장 안 함 — 이번에 뜬 팝업 설정에 저장이 켜진 것이 없음");
        finish();
        return;
    }
    if (!SaveWork::hasDefinitions(result.senses)) {
        Log::write("save", "건너뜀 why=empty_definition lemma=" +
                               Log::redact(result.lemma.value_or(result.word)));
        finish();
        return;
    }
    saveWord(std::move(started), result, std::move(done));
}

void CapturePipeline::sentenceRoad(std::shared_ptr<Started> started, std::string sentence,
                                   Task done) {
    Deadline::race<TranslationClient::Outcome>(
        LookupTimes::translationDeadline, parlendo::fail(CallFailure::timeout()), *services_.timers,
        [translator = services_.translator,
         sentence](Completion<void(TranslationClient::Outcome)> answered) {
            translator->translate(sentence, std::move(answered));
        },
        [self = shared_from_this(), started, sentence,
         done = std::move(done)](TranslationClient::Outcome answer) mutable {
            self->onMain([self, started = std::move(started), sentence = std::move(sentence),
                          answer = std::move(answer), done = std::move(done)]() mutable {
                self->sentenceAnswered(std::move(started), sentence, std::move(answer),
                                       std::move(done));
            });
        });
}

void CapturePipeline::sentenceAnswered(std::shared_ptr<Started> started,
                                       const std::string& sentence,
                                       TranslationClient::Outcome answer, Task done) {
    if (!answer) {
        failed(*started, answer.error(), Road::sentence, std::nullopt);
        if (done) {
            done();
        }
        return;
    }
    const std::string korean = answer->korean;
    for (const auto& id : started->opened) {
        const auto& setting = started->active.at(static_cast<size_t>(id.slot));
        services_.popups->fill(id, PopupBody::text(korean), setting.options().duration);
    }
    if (!anySaves(started->active)) {
        if (done) {
            done();
        }
        return;
    }
    saveSentence(std::move(started), sentence, korean, std::move(done));
}

void CapturePipeline::failed(const Started& started, const CallFailure& failure, Road road,
                             const std::optional<std::string>& title) {
    const bool word = road == Road::word;
    const std::string_view rejected =
        word ? CaptureCopy::lookupFailed : CaptureCopy::translationFailed;
    const std::string_view message = std::visit(
        overloaded{
            [&](const CallFailure::Rejected&) { return rejected; },
            [&](const CallFailure::RejectedDetail& d) {
                return d.rejection.code == "app_update_required" ? CaptureCopy::updateRequired
                                                                 : rejected;
            },
            [&](const CallFailure::AuthRequired&) { return CaptureCopy::authRequired; },
            [&](const CallFailure::Stale&) { return std::string_view(); },
            [&](const CallFailure::Timeout&) {
                return offline()
                           ? CaptureCopy::offline
                           : (word ? CaptureCopy::lookupTimeout : CaptureCopy::translationFailed);
            },
            [&](const CallFailure::Unavailable&) {
                return offline() ? CaptureCopy::offline : rejected;
            },
            [&](const CallFailure::Quota&) {
                return word ? CaptureCopy::lookupFailed : CaptureCopy::translationQuota;
            },
            [&](const CallFailure::BadShape&) { return rejected; },
        },
        failure.value());
    if (failure.is<CallFailure::Stale>()) {
        // The account changed while the answer was on its way: nothing of it is shown.
        for (const auto& id : started.opened) {
            services_.popups->close(id);
        }
        return;
    }
    fail(started, title, message);
}

void CapturePipeline::fail(const Started& started, const std::optional<std::string>& title,
                           std::string_view message) {
    for (const auto& id : started.opened) {
        services_.popups->fill(id, PopupBody::failure(title, std::string(message)),
                               CaptureCopy::failureSeconds);
    }
}

}  // namespace parlendo
