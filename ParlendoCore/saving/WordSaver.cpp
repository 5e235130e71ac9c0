#include "saving/WordSaver.h"

#include "foundation/Log.h"
#include "foundation/WorkerQueue.h"
#include "saving/SaveRetry.h"

namespace parlendo {

namespace {

std::string lemmaOf(const SaveWork& work) {
    return Log::redact(work.lemma);
}

const char* flag(bool value) {
    return value ? "true" : "false";
}

}  // namespace

std::shared_ptr<WordSaver> WordSaver::make(std::shared_ptr<SaveBackend> backend, int maxAttempts,
                                           std::vector<double> backoff, ExecutorPtr timers) {
    return std::shared_ptr<WordSaver>(
        new WordSaver(std::move(backend), maxAttempts, std::move(backoff), std::move(timers)));
}

WordSaver::WordSaver(std::shared_ptr<SaveBackend> backend, int maxAttempts,
                     std::vector<double> backoff, ExecutorPtr timers)
    : maxAttempts_(maxAttempts < 1 ? 1 : maxAttempts),
      backend_(std::move(backend)),
      backoff_(std::move(backoff)),
      timers_(timers ? std::move(timers) : SerialQueue::timers()) {}

void WordSaver::enqueue(SaveWork work) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(work));
    }
    pump();
}

int WordSaver::pending() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(queue_.size()) + (running_ ? 1 : 0);
}

WordSaver::OutcomeHook WordSaver::onOutcome() const {
    std::lock_guard lock(mutex_);
    return onOutcome_;
}

void WordSaver::setOnOutcome(OutcomeHook hook) {
    std::lock_guard lock(mutex_);
    onOutcome_ = std::move(hook);
}

void WordSaver::pump() {
    std::optional<SaveWork> head;
    {
        std::lock_guard lock(mutex_);
        if (!running_ && !queue_.empty()) {
            running_ = true;
            head = std::move(queue_.front());
            queue_.pop_front();
        }
    }
    if (head) {
        attempt(std::move(*head), 1);
    }
}

void WordSaver::attempt(SaveWork work, int n) {
    if (!backend_->signedIn(work.owner)) {
        dropForAnotherAccount(std::move(work), n - 1);
        return;
    }
    if (!rpcAvailable_.load()) {
        runLegacy(std::move(work), n);
        return;
    }
    std::weak_ptr<WordSaver> weak = weak_from_this();
    SaveWork sent = work;
    backend_->snapshot(std::move(sent),
                       [weak, work = std::move(work), n](CallResult result) mutable {
                           if (auto self = weak.lock()) {
                               self->snapshotDone(std::move(work), n, std::move(result));
                           }
                       });
}

void WordSaver::runLegacy(SaveWork work, int n) {
    std::weak_ptr<WordSaver> weak = weak_from_this();
    SaveWork sent = work;
    backend_->legacy(std::move(sent), [weak, work = std::move(work), n](bool written) mutable {
        if (auto self = weak.lock()) {
            self->legacyDone(std::move(work), n, written);
        }
    });
}

void WordSaver::snapshotDone(SaveWork work, int n, CallResult result) {
    if (result) {
        auto receipt = SaveReceipt::parse(*result);
        if (!receipt) {
            Log::write("save", "응답 모양 불일치 work=" + work.shortID());
            finish(Outcome{std::move(work), n, fail(SaveVerdict::terminal("bad_shape")), "rpc"});
            return;
        }
        Log::write("save", "rpc ok lemma=" + lemmaOf(work) + " state=" +
                               std::string(SaveReceipt::toString(receipt->snapshotState)) +
                               " created=" + flag(receipt->created) +
                               " resurrected=" + flag(receipt->resurrected) +
                               " senses=" + std::to_string(receipt->senseCount) +
                               " attempts=" + std::to_string(n));
        finish(Outcome{std::move(work), n, std::move(*receipt), "rpc"});
        return;
    }
    SaveVerdict verdict = SaveJudge::judge(result.error());
    if (auto* terminal = verdict.as<SaveVerdict::Terminal>()) {
        Log::write("save",
                   "🔴 거부 code=" + terminal->code + " lemma=" + lemmaOf(work) + " — 재시도 안 함");
        finish(Outcome{std::move(work), n, fail(std::move(verdict)), "rpc"});
    } else if (auto* retry = verdict.as<SaveVerdict::Retry>()) {
        if (n >= maxAttempts_) {
            Log::write("save", "🔴 포기 attempts=" + std::to_string(n) + " why=" + retry->code +
                                   " lemma=" + lemmaOf(work) + " — 유실");
            finish(Outcome{std::move(work), n, fail(std::move(verdict)), "rpc"});
            return;
        }
        const double delay = SaveRetry::delayAfter(backoff_, n);
        Log::write("save", "재시도 " + std::to_string(n) + "/" + std::to_string(maxAttempts_) +
                               " why=" + retry->code + " delay=" + SaveRetry::formatDelay(delay) +
                               "s lemma=" + lemmaOf(work));
        // The retry holds the saver: a waiting save must not vanish with its owner's reference.
        timers_->postAfter(delay, [self = shared_from_this(), work = std::move(work), n]() mutable {
            self->attempt(std::move(work), n + 1);
        });
    } else if (auto* drop = verdict.as<SaveVerdict::Drop>()) {
        Log::write("save", "버림 why=" + drop->code + " lemma=" + lemmaOf(work));
        finish(Outcome{std::move(work), n, fail(std::move(verdict)), "rpc"});
    } else {
        {
            std::lock_guard lock(mutex_);
            rpcAvailable_.store(false);
        }
        Log::write("save", "save_word_snapshot_v1 없음(PGRST202) — 이 세션은 legacy 2왕복으로");
        if (!backend_->signedIn(work.owner)) {
            dropForAnotherAccount(std::move(work), n);
            return;
        }
        runLegacy(std::move(work), n);
    }
}

void WordSaver::dropForAnotherAccount(SaveWork work, int sent) {
    Log::write("save", "버림 why=account_changed lemma=" + lemmaOf(work));
    finish(Outcome{std::move(work), sent, fail(SaveVerdict::drop("account_changed")),
                   rpcAvailable_.load() ? "rpc" : "legacy"});
}

void WordSaver::legacyDone(SaveWork work, int n, bool written) {
    if (!written) {
        finish(Outcome{std::move(work), n, fail(SaveVerdict::retry("legacy_failed")), "legacy"});
        return;
    }
    SaveReceipt receipt;
    receipt.wordID = "";
    receipt.created = true;
    receipt.resurrected = false;
    receipt.snapshotState = SaveReceipt::SnapshotState::inserted;
    receipt.senseCount = static_cast<int>(work.senses.size());
    finish(Outcome{std::move(work), n, std::move(receipt), "legacy"});
}

void WordSaver::finish(Outcome outcome) {
    OutcomeHook hook;
    {
        std::lock_guard lock(mutex_);
        running_ = false;
        hook = onOutcome_;
    }
    if (hook) {
        hook(outcome);
    }
    pump();
}

}  // namespace parlendo
