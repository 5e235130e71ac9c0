#include "saving/UnsavedCounter.h"

#include "foundation/Log.h"
#include "foundation/Overloaded.h"

namespace parlendo {

std::string_view UnsavedCounter::toString(Kind kind) {
    switch (kind) {
        case Kind::word:
            return "word";
        case Kind::sentence:
            return "sentence";
        case Kind::source:
            return "source";
    }
    return "word";
}

std::optional<UnsavedCounter::Kind> UnsavedCounter::fromString(std::string_view text) {
    for (auto kind : {Kind::word, Kind::sentence, Kind::source}) {
        if (toString(kind) == text) {
            return kind;
        }
    }
    return std::nullopt;
}

int UnsavedCounter::add(Kind kind, std::optional<std::string> id) {
    int total = 0;
    {
        std::lock_guard lock(mutex_);
        if (!id) {
            ++count_;
        } else if (!ids_.insert(std::move(*id)).second) {
            return totalLocked();
        }
        total = totalLocked();
    }
    Log::write("save", "저장 안 된 것 +1 kind=" + std::string(toString(kind)) +
                           " total=" + std::to_string(total));
    return total;
}

bool UnsavedCounter::settle(const std::string& id) {
    int total = 0;
    {
        std::lock_guard lock(mutex_);
        if (ids_.erase(id) == 0) {
            return false;
        }
        total = totalLocked();
    }
    Log::write("save", "저장 안 된 것 -1 — 다시 보내 저장됨 work=" + id.substr(0, 8) +
                           " total=" + std::to_string(total));
    return true;
}

int UnsavedCounter::total() const {
    std::lock_guard lock(mutex_);
    return totalLocked();
}

void UnsavedCounter::reset() {
    int was = 0;
    {
        std::lock_guard lock(mutex_);
        was = totalLocked();
        count_ = 0;
        ids_.clear();
    }
    if (was >= 1) {
        Log::write("save", "저장 안 된 것 0 으로 — 계정이 바뀜 was=" + std::to_string(was));
    }
}

std::optional<std::string> UnsavedCounter::menuTitle(int n) {
    if (n < 1) {
        return std::nullopt;
    }
    return "\u26A0\uFE0F 저장 안 된 것 " + std::to_string(n) + "개";
}

bool UnsavedCounter::counts(const Result<SaveReceipt, SaveVerdict>& result) {
    if (result) {
        return false;
    }
    return std::visit(overloaded{[](const SaveVerdict::Terminal&) { return true; },
                                 [](const SaveVerdict::Retry&) { return true; },
                                 [](const SaveVerdict::Drop&) { return false; },
                                 [](const SaveVerdict::RpcMissing&) {
                                     return false;
                                 }},
                      result.error().value());
}

bool UnsavedCounter::counts(const SentenceSaveOutcome& outcome) {
    return std::visit(overloaded{[](const SentenceSaveOutcome::Confirmed&) { return false; },
                                 [](const SentenceSaveOutcome::Rejected&) { return true; },
                                 [](const SentenceSaveOutcome::Dropped&) { return false; },
                                 [](const SentenceSaveOutcome::Lost&) { return true; },
                                 [](const SentenceSaveOutcome::Unknown&) {
                                     return true;
                                 }},
                      outcome.value());
}

bool UnsavedCounter::note(const WordSaver::Outcome& outcome) {
    if (!counts(outcome.result)) {
        return false;
    }
    add(Kind::word, outcome.work.id);
    return true;
}

bool UnsavedCounter::note(const SentenceSaveOutcome& outcome, std::optional<std::string> id) {
    if (!counts(outcome)) {
        return false;
    }
    add(Kind::sentence, std::move(id));
    return true;
}

}  // namespace parlendo
