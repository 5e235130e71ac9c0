#include "saving/ServerSentenceSaver.h"

#include "foundation/Log.h"
#include "foundation/Overloaded.h"
#include "foundation/PyText.h"
#include "foundation/WorkerQueue.h"
#include "saving/SaveRetry.h"
#include "server/PostgRESTFilter.h"

namespace parlendo {

std::string SentenceWork::rowID() const {
    return PyText::lower(id);
}

struct ServerSentenceSaver::Job {
    SentenceWork work;
    std::string userID;
    Completion<void(SentenceSaveOutcome)> completion;

    std::string shortID() const { return work.rowID().substr(0, 8); }
};

std::shared_ptr<ServerSentenceSaver> ServerSentenceSaver::make(
    std::shared_ptr<ServerCalling> server, std::shared_ptr<SessionProviding> session,
    int maxAttempts, std::vector<double> backoff, ExecutorPtr timers) {
    return std::shared_ptr<ServerSentenceSaver>(new ServerSentenceSaver(
        std::move(server), std::move(session), maxAttempts, std::move(backoff), std::move(timers)));
}

ServerSentenceSaver::ServerSentenceSaver(std::shared_ptr<ServerCalling> server,
                                         std::shared_ptr<SessionProviding> session, int maxAttempts,
                                         std::vector<double> backoff, ExecutorPtr timers)
    : server_(std::move(server)),
      session_(std::move(session)),
      maxAttempts_(maxAttempts < 1 ? 1 : maxAttempts),
      backoff_(std::move(backoff)),
      timers_(timers ? std::move(timers) : SerialQueue::timers()) {}

int ServerSentenceSaver::pending() const {
    std::lock_guard lock(mutex_);
    return inFlight_;
}

void ServerSentenceSaver::save(SentenceWork work,
                               Completion<void(SentenceSaveOutcome)> completion) {
    {
        std::lock_guard lock(mutex_);
        ++inFlight_;
    }
    auto job = std::make_shared<Job>(Job{std::move(work), {}, std::move(completion)});
    auto userID = session_->userID();
    if (!userID) {
        finish(std::move(job), SentenceSaveOutcome::dropped("auth_required"));
        return;
    }
    job->userID = std::move(*userID);
    attempt(std::move(job), 1);
}

void ServerSentenceSaver::attempt(std::shared_ptr<Job> job, int n) {
    const SentenceWork& work = job->work;
    Json body{{"sentence_id", work.rowID()},
              {"user_id", job->userID},
              {"source_id", work.sourceID},
              {"original", work.original},
              {"korean", work.korean}};
    server_->call(
        std::string(table), "POST", std::move(body),
        HttpHeaders{{"Prefer", "return=representation"}}, SaveRetry::requestTimeout,
        [self = shared_from_this(), job, n](CallResult result) mutable {
            if (result) {
                if (holdsRow(*result, job->work)) {
                    self->stepDone(std::move(job), n, SentenceSaveOutcome::confirmed(n));
                } else {
                    self->readBack(std::move(job), n);
                }
                return;
            }
            std::optional<SentenceSaveOutcome> final = std::visit(
                overloaded{
                    [](const CallFailure::Rejected& r) -> std::optional<SentenceSaveOutcome> {
                        return SentenceSaveOutcome::rejected("http_" + std::to_string(r.status));
                    },
                    [](const CallFailure::RejectedDetail& d) -> std::optional<SentenceSaveOutcome> {
                        if (d.rejection.code == "23505") {
                            return std::nullopt;
                        }
                        return SentenceSaveOutcome::rejected(
                            CallFailure::safeCode(d.rejection.code));
                    },
                    [](const CallFailure::AuthRequired&) -> std::optional<SentenceSaveOutcome> {
                        return SentenceSaveOutcome::dropped("auth_required");
                    },
                    [](const CallFailure::Stale&) -> std::optional<SentenceSaveOutcome> {
                        return SentenceSaveOutcome::dropped("stale");
                    },
                    [](const CallFailure::Timeout&) -> std::optional<SentenceSaveOutcome> {
                        return std::nullopt;
                    },
                    [](const CallFailure::Unavailable&) -> std::optional<SentenceSaveOutcome> {
                        return std::nullopt;
                    },
                    [](const CallFailure::Quota&) -> std::optional<SentenceSaveOutcome> {
                        return std::nullopt;
                    },
                    [](const CallFailure::BadShape&) -> std::optional<SentenceSaveOutcome> {
                        return SentenceSaveOutcome::rejected("bad_shape");
                    }},
                result.error().value());
            if (final) {
                self->stepDone(std::move(job), n, std::move(*final));
            } else {
                self->readBack(std::move(job), n);
            }
        });
}

void ServerSentenceSaver::readBack(std::shared_ptr<Job> job, int n) {
    std::string path = std::string(table) +
                       "?select=sentence_id,source_id,original&limit=1&user_id=eq." +
                       PostgRESTFilter::value(job->userID) + "&sentence_id=eq." +
                       PostgRESTFilter::value(job->work.rowID());
    server_->rows(std::move(path), SaveRetry::requestTimeout,
                  [self = shared_from_this(), job, n](RowsResult result) mutable {
                      Step step = Unanswered{};
                      if (result) {
                          if (result->empty()) {
                              step = Absent{};
                          } else if (matches(result->front(), job->work)) {
                              step = SentenceSaveOutcome::confirmed(n);
                          } else {
                              step = SentenceSaveOutcome::rejected("operation_conflict");
                          }
                      } else if (result.error().is<CallFailure::AuthRequired>()) {
                          step = SentenceSaveOutcome::dropped("auth_required");
                      } else if (result.error().is<CallFailure::Stale>()) {
                          step = SentenceSaveOutcome::dropped("stale");
                      }
                      self->stepDone(std::move(job), n, std::move(step));
                  });
}

void ServerSentenceSaver::stepDone(std::shared_ptr<Job> job, int n, Step step) {
    if (auto* outcome = std::get_if<SentenceSaveOutcome>(&step)) {
        finish(std::move(job), std::move(*outcome));
        return;
    }
    const bool absent = std::holds_alternative<Absent>(step);
    if (n >= maxAttempts_) {
        finish(std::move(job), absent ? SentenceSaveOutcome::lost(maxAttempts_)
                                      : SentenceSaveOutcome::unknown(maxAttempts_));
        return;
    }
    const double delay = SaveRetry::delayAfter(backoff_, n);
    Log::write("save", "문장 재시도 " + std::to_string(n) + "/" + std::to_string(maxAttempts_) +
                           " delay=" + SaveRetry::formatDelay(delay) + "s work=" + job->shortID());
    timers_->postAfter(delay, [self = shared_from_this(), job, n]() mutable {
        const auto userID = self->session_->userID();
        if (!userID || *userID != job->userID) {
            self->finish(std::move(job), SentenceSaveOutcome::dropped("account_changed"));
            return;
        }
        self->attempt(std::move(job), n + 1);
    });
}

void ServerSentenceSaver::finish(std::shared_ptr<Job> job, SentenceSaveOutcome outcome) {
    const std::string shortID = job->shortID();
    std::visit(
        overloaded{
            [&](const SentenceSaveOutcome::Confirmed& c) {
                Log::write("save", "문장 저장됨 work=" + shortID +
                                       " len=" + std::to_string(PyText::count(job->work.original)) +
                                       " attempts=" + std::to_string(c.attempts));
            },
            [&](const SentenceSaveOutcome::Rejected& r) {
                Log::write("save",
                           "🔴 문장 거부 code=" + r.code + " work=" + shortID + " — 재시도 안 함");
            },
            [&](const SentenceSaveOutcome::Dropped& d) {
                Log::write("save", "문장 버림 why=" + d.why + " work=" + shortID);
            },
            [&](const SentenceSaveOutcome::Lost& l) {
                Log::write("save", "🔴 문장 포기 attempts=" + std::to_string(l.attempts) +
                                       " work=" + shortID + " — 서버에 없음을 확인 (유실)");
            },
            [&](const SentenceSaveOutcome::Unknown& u) {
                Log::write("save", "🔴 문장 저장 여부 모름 attempts=" + std::to_string(u.attempts) +
                                       " work=" + shortID + " — 넣기도 확인도 답이 없었다");
            }},
        outcome.value());
    {
        std::lock_guard lock(mutex_);
        --inFlight_;
    }
    job->completion(std::move(outcome));
}

bool ServerSentenceSaver::holdsRow(std::string_view body, const SentenceWork& work) {
    const auto parsed = json::parse(body);
    if (!parsed) {
        return false;
    }
    if (parsed->is_array()) {
        return !parsed->empty() && parsed->front().is_object() && matches(parsed->front(), work);
    }
    return parsed->is_object() && matches(*parsed, work);
}

bool ServerSentenceSaver::matches(const Json& row, const SentenceWork& work) {
    const auto sentenceID = json::string(row, "sentence_id");
    const auto sourceID = json::string(row, "source_id");
    const auto original = json::string(row, "original");
    return sentenceID && sourceID && original && PyText::lower(*sentenceID) == work.rowID() &&
           PyText::lower(*sourceID) == PyText::lower(work.sourceID) && *original == work.original;
}

}  // namespace parlendo
