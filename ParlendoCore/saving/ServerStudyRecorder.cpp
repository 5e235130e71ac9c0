#include "saving/ServerStudyRecorder.h"

#include "foundation/Log.h"
#include "foundation/Overloaded.h"
#include "foundation/Uuid.h"
#include "server/PostgRESTFilter.h"

#include <cmath>

namespace parlendo {

namespace {

std::string id8(const std::string& id) {
    return id.substr(0, 8);
}

StudySave orphan(const std::string& operationID) {
    StudySave save;
    save.operationID = operationID;
    save.state = StudySaveState::failedTerminal;
    save.attemptCount = 0;
    save.errorCode = std::string(ServerStudyRecorder::ErrorCode::unknown);
    return save;
}

// Equal strings, or missing (or not a string) on both sides.
bool sameString(const Json& a, const Json& b, std::string_view key) {
    return json::string(a, key) == json::string(b, key);
}

}  // namespace

std::shared_ptr<ServerStudyRecorder> ServerStudyRecorder::make(
    std::shared_ptr<ServerCalling> server, std::shared_ptr<SessionProviding> session, MakeID newID,
    std::shared_ptr<const MonotonicClock> clock) {
    return std::shared_ptr<ServerStudyRecorder>(new ServerStudyRecorder(
        std::move(server), std::move(session), std::move(newID), std::move(clock)));
}

ServerStudyRecorder::ServerStudyRecorder(std::shared_ptr<ServerCalling> server,
                                         std::shared_ptr<SessionProviding> session, MakeID newID,
                                         std::shared_ptr<const MonotonicClock> clock)
    : server_(std::move(server)),
      session_(std::move(session)),
      newID_(newID ? std::move(newID) : MakeID([] { return uuid::makeLower(); })),
      clock_(clock ? std::move(clock) : SystemClock::shared()) {}

void ServerStudyRecorder::saveReview(std::optional<bool> isKnown, std::string wordID,
                                     Completion<void(StudySave)> completion) {
    const std::string operationID = newID_();
    if (!isKnown || wordID.empty()) {
        Log::write("study", "save_review 거절 id=" + id8(operationID) +
                                " reason=" + std::string(ErrorCode::invalidPayload));
        StudySave save;
        save.operationID = operationID;
        save.state = StudySaveState::failedTerminal;
        save.errorCode = std::string(ErrorCode::invalidPayload);
        completion(std::move(save));
        return;
    }
    const auto userID = session_->userID();
    if (!userID) {
        StudySave save;
        save.operationID = operationID;
        save.state = StudySaveState::failedTerminal;
        save.errorCode = std::string(ErrorCode::authentication);
        save.authRequired = true;
        completion(std::move(save));
        return;
    }
    Record record;
    record.userID = *userID;
    record.row = Json{{"review_id", operationID},
                      {"user_id", *userID},
                      {"word_id", wordID},
                      {"is_known", *isKnown}};
    record.save.operationID = operationID;
    record.save.state = StudySaveState::inFlight;
    record.save.transportActive = true;
    {
        std::lock_guard lock(mutex_);
        records_[operationID] = std::move(record);
        order_.push_back(operationID);
        trimLocked();
    }
    attempt(operationID, std::move(completion));
}

void ServerStudyRecorder::attempt(const std::string& operationID,
                                  Completion<void(StudySave)> completion) {
    Record copy;
    bool found = false;
    {
        std::lock_guard lock(mutex_);
        auto it = records_.find(operationID);
        if (it != records_.end()) {
            it->second.save.attemptCount += 1;
            it->second.save.transportActive = true;
            it->second.save.state = StudySaveState::inFlight;
            copy = it->second;
            found = true;
        }
    }
    // The caller's completion runs outside the lock: it may call the recorder again.
    if (!found) {
        completion(orphan(operationID));
        return;
    }
    const double start = clock_->uptime();
    std::string path = std::string(table) + "?select=" + std::string(columns);
    Json body = copy.row;
    server_->call(
        std::move(path), "POST", std::move(body), HttpHeaders{{"Prefer", "return=representation"}},
        timeout,
        [self = shared_from_this(), copy = std::move(copy), start,
         completion = std::move(completion)](CallResult result) mutable {
            const std::string& id = copy.save.operationID;
            std::optional<CallFailure> insertFailure;
            bool duplicate = false;
            if (result) {
                auto rows = ServerCalling::parseRows(*result);
                if (rows && rows->size() == 1 && matches(rows->front(), copy.row)) {
                    completion(self->log(self->finish(id, Confirmed{rows->front()}, false),
                                         "insert", start));
                    return;
                }
                insertFailure = CallFailure::badShape();
            } else {
                const CallFailure& failure = result.error();
                const auto* detail = failure.as<CallFailure::RejectedDetail>();
                const bool final = failure.is<CallFailure::Rejected>() ||
                                   (detail && detail->rejection.code != "23505") ||
                                   failure.is<CallFailure::AuthRequired>() ||
                                   failure.is<CallFailure::Stale>();
                if (final) {
                    completion(
                        self->log(self->finish(id, Failed{failure}, false), "insert", start));
                    return;
                }
                duplicate = detail != nullptr;
                insertFailure = failure;
            }
            self->readBack(copy, [self, id, start, duplicate, insertFailure = *insertFailure,
                                  completion = std::move(completion)](Outcome outcome) mutable {
                StudySave save = std::visit(
                    overloaded{[&](const Confirmed& c) { return self->finish(id, c, false); },
                               [&](const Conflict& c) { return self->finish(id, c, false); },
                               [&](const Absent&) {
                                   return duplicate
                                              ? self->finish(id, Failed{CallFailure::badShape()},
                                                             false)
                                              : self->finish(id, Failed{insertFailure}, false);
                               },
                               [&](const Failed&) {
                                   return self->finish(id, Failed{insertFailure}, true);
                               }},
                    outcome);
                completion(self->log(std::move(save), "insert+readback", start));
            });
        });
}

void ServerStudyRecorder::readBack(const Record& record, Completion<void(Outcome)> completion) {
    const std::string reviewID = json::string(record.row, "review_id").value_or("");
    std::string path = std::string(table) + "?select=" + std::string(columns) + "&user_id=eq." +
                       PostgRESTFilter::value(record.userID) + "&review_id=eq." +
                       PostgRESTFilter::value(reviewID) + "&limit=1";
    server_->rows(
        std::move(path), timeout,
        [expected = record.row, completion = std::move(completion)](RowsResult result) mutable {
            if (!result) {
                completion(Failed{result.error()});
            } else if (result->empty()) {
                completion(Absent{});
            } else if (matches(result->front(), expected)) {
                completion(Confirmed{result->front()});
            } else {
                completion(Conflict{});
            }
        });
}

StudySave ServerStudyRecorder::finish(const std::string& operationID, const Outcome& outcome,
                                      bool readback) {
    std::lock_guard lock(mutex_);
    auto it = records_.find(operationID);
    if (it == records_.end()) {
        return orphan(operationID);
    }
    StudySave& save = it->second.save;
    save.transportActive = false;
    save.stale = false;
    save.authRequired = false;
    auto set = [&](StudySaveState state, std::optional<std::string_view> code) {
        save.state = state;
        save.errorCode = code ? std::optional<std::string>(std::string(*code)) : std::nullopt;
    };
    std::visit(
        overloaded{
            [&](const Confirmed& c) {
                set(StudySaveState::confirmed, std::nullopt);
                save.evidence = c.row;
            },
            [&](const Conflict&) { set(StudySaveState::failedTerminal, ErrorCode::conflict); },
            [&](const Absent&) { set(StudySaveState::commitUnknown, ErrorCode::unknown); },
            [&](const Failed& f) {
                std::visit(
                    overloaded{
                        [&](const CallFailure::AuthRequired&) {
                            if (readback) {
                                set(StudySaveState::commitUnknown, ErrorCode::readbackUnavailable);
                            } else {
                                set(StudySaveState::failedTerminal, ErrorCode::authentication);
                            }
                            save.authRequired = true;
                        },
                        [&](const CallFailure::Stale&) {
                            set(StudySaveState::commitUnknown, ErrorCode::unknown);
                            save.stale = true;
                        },
                        [&](const CallFailure::Rejected&) {
                            if (readback) {
                                set(StudySaveState::commitUnknown, ErrorCode::readbackUnavailable);
                            } else {
                                set(StudySaveState::failedTerminal, ErrorCode::rejected);
                            }
                        },
                        [&](const CallFailure::RejectedDetail& d) {
                            if (readback) {
                                set(StudySaveState::commitUnknown, ErrorCode::readbackUnavailable);
                            } else if (d.rejection.code == "PGRST202") {
                                set(StudySaveState::failedTerminal, ErrorCode::contractUnavailable);
                            } else {
                                set(StudySaveState::failedTerminal, ErrorCode::rejected);
                            }
                        },
                        [&](const auto&) {
                            // timeout, unavailable, quota, badShape
                            set(StudySaveState::commitUnknown,
                                readback ? ErrorCode::readbackUnavailable : ErrorCode::unknown);
                        }},
                    f.failure.value());
            }},
        outcome);
    return save;
}

void ServerStudyRecorder::status(std::string operationID,
                                 Completion<void(std::optional<StudySave>)> completion) {
    const auto userID = session_->userID();
    Record copy;
    // What to answer at once, without a read-back; answered outside the lock, because the
    // completion may call the recorder again (a reconcile asks for the next operation).
    std::optional<std::optional<StudySave>> answer;
    {
        std::lock_guard lock(mutex_);
        auto it = records_.find(operationID);
        if (it == records_.end() || !userID || *userID != it->second.userID) {
            answer.emplace(std::nullopt);
        } else if (Record& record = it->second;
                   record.save.state != StudySaveState::commitUnknown ||
                   record.save.transportActive) {
            answer.emplace(record.save);
        } else {
            // Checked and marked in one step: a second status or reconcile now sees it running.
            record.save.transportActive = true;
            copy = record;
        }
    }
    if (answer) {
        completion(std::move(*answer));
        return;
    }
    const double start = clock_->uptime();
    readBack(copy, [self = shared_from_this(), operationID, start,
                    completion = std::move(completion)](Outcome outcome) mutable {
        const std::string head = "save_status id=" + id8(operationID);
        if (const auto* failed = std::get_if<Failed>(&outcome)) {
            StudySave save = self->finish(operationID, *failed, true);
            Log::write("study",
                       head + " → " + std::string(toString(save.state)) +
                           " path=readback_failed ms=" + std::to_string(self->elapsedMs(start)));
            completion(std::move(save));
            return;
        }
        if (std::holds_alternative<Absent>(outcome)) {
            Log::write("study", head + " 서버에 없음 → 같은 id 로 다시 보냄");
            self->attempt(operationID,
                          [completion = std::move(completion)](StudySave save) mutable {
                              completion(std::move(save));
                          });
            return;
        }
        StudySave save = self->finish(operationID, outcome, false);
        Log::write("study", head + " → " + std::string(toString(save.state)) +
                                " path=readback ms=" + std::to_string(self->elapsedMs(start)));
        completion(std::move(save));
    });
}

void ServerStudyRecorder::reset() {
    std::lock_guard lock(mutex_);
    records_.clear();
    order_.clear();
}

void ServerStudyRecorder::reconcileUnknown(Completion<void(Reconciled)> completion) {
    const auto userID = session_->userID();
    auto ids = std::make_shared<std::deque<std::string>>();
    if (userID) {
        std::lock_guard lock(mutex_);
        for (const auto& id : order_) {
            const auto it = records_.find(id);
            if (it != records_.end() && it->second.save.state == StudySaveState::commitUnknown &&
                !it->second.save.transportActive && it->second.userID == *userID) {
                ids->push_back(id);
            }
        }
    }
    if (ids->empty()) {
        completion(Reconciled{});
        return;
    }
    Reconciled counts;
    counts.checked = static_cast<int>(ids->size());
    reconcileNext(std::move(ids), counts, std::move(completion));
}

void ServerStudyRecorder::reconcileNext(std::shared_ptr<std::deque<std::string>> ids,
                                        Reconciled counts,
                                        Completion<void(Reconciled)> completion) {
    if (ids->empty()) {
        Log::write("study", "미확인 저장 다시 확인 checked=" + std::to_string(counts.checked) +
                                " confirmed=" + std::to_string(counts.confirmed));
        completion(counts);
        return;
    }
    std::string id = std::move(ids->front());
    ids->pop_front();
    status(std::move(id),
           [self = shared_from_this(), ids = std::move(ids), counts,
            completion = std::move(completion)](std::optional<StudySave> save) mutable {
               if (save && save->state == StudySaveState::confirmed) {
                   ++counts.confirmed;
               }
               self->reconcileNext(std::move(ids), counts, std::move(completion));
           });
}

void ServerStudyRecorder::trimLocked() {
    if (order_.size() <= recordLimit) {
        return;
    }
    size_t excess = order_.size() - recordLimit;
    std::deque<std::string> kept;
    for (auto& id : order_) {
        auto it = records_.find(id);
        const bool settled = it == records_.end() ||
                             it->second.save.state == StudySaveState::confirmed ||
                             it->second.save.state == StudySaveState::failedTerminal;
        if (excess > 0 && settled) {
            if (it != records_.end()) {
                records_.erase(it);
            }
            --excess;
            continue;
        }
        kept.push_back(std::move(id));
    }
    order_ = std::move(kept);
}

bool ServerStudyRecorder::matches(const Json& row, const Json& expected) {
    const auto known = json::boolean(row, "is_known");
    const auto expectedKnown = json::boolean(expected, "is_known");
    return sameString(row, expected, "review_id") && sameString(row, expected, "user_id") &&
           sameString(row, expected, "word_id") && known && expectedKnown &&
           *known == *expectedKnown;
}

StudySave ServerStudyRecorder::log(StudySave save, std::string_view path, double since) const {
    Log::write("study", "save_review id=" + id8(save.operationID) +
                            " state=" + std::string(toString(save.state)) +
                            " attempt=" + std::to_string(save.attemptCount) +
                            " path=" + std::string(path) + " code=" + save.errorCode.value_or("-") +
                            " ms=" + std::to_string(elapsedMs(since)));
    return save;
}

int ServerStudyRecorder::elapsedMs(double since) const {
    const double ms = (clock_->uptime() - since) * 1000.0;
    return ms > 0 ? static_cast<int>(std::floor(ms)) : 0;
}

}  // namespace parlendo
