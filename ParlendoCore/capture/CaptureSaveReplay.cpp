// The capture pipeline's side of the save journal: what each outcome leaves in it, and the
// saves it hands back when their account signs in.
#include "capture/CapturePipeline.h"
#include "foundation/Log.h"
#include "foundation/Overloaded.h"
#include "server/ServerContract.h"

namespace parlendo {

// A refusal that speaks of the program or the service (update required, service paused, the
// feature switched off) is none of the capture's: it stays to be sent again.
CapturePipeline::SaveEnd CapturePipeline::endOfRefusal(const std::string& code) {
    return ServerContract::kindOfCode(code) ? SaveEnd::givenUp : SaveEnd::refused;
}

CapturePipeline::SaveEnd CapturePipeline::endOf(const SaveVerdict& verdict) {
    return std::visit(overloaded{[](const SaveVerdict::Terminal& terminal) {
                                     return endOfRefusal(terminal.code);
                                 },
                                 [](const SaveVerdict::Retry&) { return SaveEnd::givenUp; },
                                 [](const SaveVerdict::Drop&) { return SaveEnd::dropped; },
                                 [](const SaveVerdict::RpcMissing&) {
                                     return SaveEnd::givenUp;
                                 }},
                      verdict.value());
}

CapturePipeline::SaveEnd CapturePipeline::endOf(const SentenceSaveOutcome& outcome) {
    return std::visit(
        overloaded{[](const SentenceSaveOutcome::Confirmed&) { return SaveEnd::saved; },
                   [](const SentenceSaveOutcome::Rejected& rejected) {
                       return endOfRefusal(rejected.code);
                   },
                   [](const SentenceSaveOutcome::Dropped&) { return SaveEnd::dropped; },
                   [](const SentenceSaveOutcome::Lost&) { return SaveEnd::givenUp; },
                   [](const SentenceSaveOutcome::Unknown&) {
                       return SaveEnd::givenUp;
                   }},
        outcome.value());
}

void CapturePipeline::journalOutcome(const std::string& owner, const std::string& id, SaveEnd end) {
    if (end == SaveEnd::saved && unsaved) {
        unsaved->settle(id);
    }
    if (!services_.journal) {
        return;
    }
    switch (end) {
        case SaveEnd::saved:
        case SaveEnd::refused:
            services_.journal->settle(owner, id);
            return;
        case SaveEnd::givenUp:
            services_.journal->keep(owner, id);
            return;
        case SaveEnd::dropped:
            services_.journal->putBack(owner, id);
            return;
    }
}

void CapturePipeline::putBack(const std::string& owner, const std::string& id) {
    journalOutcome(owner, id, SaveEnd::dropped);
}

void CapturePipeline::sentenceSettled(const std::string& owner, const SentenceWork& work,
                                      const SentenceSaveOutcome& outcome) {
    journalOutcome(owner, work.id, endOf(outcome));
    if (onSentenceOutcome) {
        onSentenceOutcome(work, outcome);
    }
    if (unsaved) {
        unsaved->note(outcome, work.id);
    }
}

void CapturePipeline::followAccount(const std::optional<std::string>& owner) {
    followed_ = owner;
    if (services_.journal && owner) {
        handBack(*owner, HandBack::session);
    }
}

void CapturePipeline::loginBack(const std::string& owner) {
    // Another account's saves wait for their own session; and until the account scope has told
    // this account, its session's hand-back is still to come.
    if (services_.journal && followed_ == owner) {
        handBack(owner, HandBack::login);
    }
}

void CapturePipeline::handBack(const std::string& owner, HandBack why) {
    services_.journal->takeLeftOver(
        owner, [weak = weak_from_this(), owner, why](SaveJournal::LeftOver left) mutable {
            if (auto self = weak.lock()) {
                self->onMain([self, owner = std::move(owner), left = std::move(left),
                              why]() mutable { self->resend(owner, std::move(left), why); });
            }
        });
}

void CapturePipeline::resend(const std::string& owner, SaveJournal::LeftOver left, HandBack why) {
    // The account signed out again meanwhile: its saves wait for its next session.
    if (!ownerHolds(owner)) {
        for (const auto& entry : left.send) {
            putBack(owner, entry.id());
        }
        return;
    }
    // What a login that came back hands back was dropped on its way, and a drop is not counted
    // unsaved; what a session is handed counts until the server confirms it.
    if (why == HandBack::session && unsaved) {
        for (const auto* entries : {&left.kept, &left.send}) {
            for (const auto& entry : *entries) {
                unsaved->add(
                    entry.isWord() ? UnsavedCounter::Kind::word : UnsavedCounter::Kind::sentence,
                    entry.id());
            }
        }
    }
    if (left.send.empty()) {
        return;
    }
    const std::string count = std::to_string(left.send.size());
    Log::write("save", why == HandBack::session
                           ? "지난 실행에서 끝나지 않은 저장 " + count + "건 — 다시 보냄"
                           : "로그인이 돌아옴 — 버렸던 저장 " + count + "건 다시 보냄");
    for (auto& entry : left.send) {
        CaptureSnapshot snapshot = entry.origin
                                       ? entry.origin->snapshot(entry.id())
                                       : CaptureSnapshot(entry.id(), "", 0, std::nullopt,
                                                         std::nullopt, std::nullopt, std::nullopt);
        auto started = std::make_shared<Started>(
            Started{std::move(snapshot), Kind{Kind::Nothing{}}, {}, {}, owner, 0, std::nullopt});
        saving(std::move(started), std::move(entry), {}, true);
    }
}

}  // namespace parlendo
