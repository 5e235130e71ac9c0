#include "aitalk/AITalkSession.h"

#include "aitalk/AITalkText.h"
#include "foundation/Log.h"
#include "foundation/Overloaded.h"
#include "foundation/PyText.h"
#include "projects/DriveLimits.h"

namespace parlendo {

namespace {

constexpr const char* kTag = "ai_talk";

const char* flag(bool value) {
    return value ? "true" : "false";
}

std::string failureReason(const DriveFailure& failure) {
    std::string out = failure.code;
    if (failure.scope) {
        out += " scope=" + *failure.scope;
    }
    return out;
}

}  // namespace

const char* toString(AnswerState::Turn::Role role) {
    switch (role) {
        case AnswerState::Turn::Role::user:
            return "user";
        case AnswerState::Turn::Role::assistant:
            return "assistant";
    }
    return "user";
}

std::optional<AnswerState::Turn::Role> turnRoleFromString(std::string_view text) {
    if (text == "user") {
        return AnswerState::Turn::Role::user;
    }
    if (text == "assistant") {
        return AnswerState::Turn::Role::assistant;
    }
    return std::nullopt;
}

AITalkSession::AITalkSession(std::shared_ptr<Asking> asking, std::weak_ptr<AnswerScreen> screen,
                             Notice notice, Locate locate,
                             std::shared_ptr<const MonotonicClock> clock)
    : asking_(std::move(asking)),
      screen_(std::move(screen)),
      notice_(std::move(notice)),
      locate_(std::move(locate)),
      clock_(clock ? std::move(clock) : SystemClock::shared()) {}

long long AITalkSession::millisSince(double started) const {
    return static_cast<long long>((clock_->uptime() - started) * 1000);
}

void AITalkSession::show() {
    if (auto screen = screen_.lock()) {
        screen->show(state_);
    }
}

void AITalkSession::start(std::optional<std::string> text) {
    if (busy_) {
        if (notice_) {
            notice_(AITalkText::busy);
        }
        Log::write(kTag, "무시 reason=busy");
        return;
    }
    std::string selection = PyText::prefix(PyText::strip(text.value_or("")),
                                           static_cast<size_t>(DriveLimits::selectionMax));
    if (selection.empty()) {
        if (notice_) {
            notice_(AITalkText::noText);
        }
        Log::write(kTag, "무시 reason=no_text");
        return;
    }
    busy_ = true;
    std::weak_ptr<AITalkSession> weak = weak_from_this();
    asking_->activePopup([weak, selection = std::move(selection)](PopupLookup lookup) mutable {
        auto self = weak.lock();
        if (!self) {
            return;
        }
        if (!lookup) {
            self->busy_ = false;
            Log::write(kTag, "켜진 팝업 확인 실패 reason=" + lookup.error().code);
            if (self->notice_) {
                self->notice_(AITalkText::error(lookup.error()));
            }
            return;
        }
        if (self->onServerChecked) {
            self->onServerChecked(lookup->has_value());
        }
        if (!*lookup) {
            self->busy_ = false;
            Log::write(kTag, "무시 reason=no_popup");
            if (self->notice_) {
                self->notice_(AITalkText::noPopup);
            }
            return;
        }
        self->sid_ += 1;
        self->open_ = true;
        self->popup_ = std::move(**lookup);
        self->selection_ = std::move(selection);
        self->threadID_.reset();
        self->state_ = AnswerState{};
        self->show();
        Log::write(kTag, "질문 시작 sid=" + std::to_string(self->sid_) +
                             " selection_len=" + std::to_string(PyText::count(self->selection_)));
        self->first(AskMode::document);
    });
}

void AITalkSession::first(AskMode mode) {
    if (!popup_) {
        busy_ = false;
        return;
    }
    const double started = clock_->uptime();
    const int startSid = sid_;
    lastMode_ = mode;
    std::weak_ptr<AITalkSession> weak = weak_from_this();
    auto askWith = [weak, startSid, started, mode](std::optional<PageHint> hint) {
        auto self = weak.lock();
        if (!self || self->sid_ != startSid || !self->popup_) {
            return;
        }
        const bool hinted = hint.has_value();
        self->asking_->ask(*self->popup_, self->selection_, mode, std::move(hint),
                           [weak, startSid, started, mode, hinted](AskResult result) {
                               if (auto session = weak.lock()) {
                                   session->asked(startSid, started, mode, hinted,
                                                  std::move(result));
                               }
                           });
    };
    if (mode == AskMode::document && locate_) {
        locate_(selection_, *popup_,
                [askWith](std::optional<PageHint> hint) { askWith(std::move(hint)); });
        return;
    }
    askWith(std::nullopt);
}

void AITalkSession::asked(int startSid, double started, AskMode mode, bool hinted,
                          AskResult result) {
    const long long ms = millisSince(started);
    if (sid_ != startSid) {
        Log::write(kTag,
                   "늦은 답 버림 sid=" + std::to_string(startSid) + " ms=" + std::to_string(ms));
        return;
    }
    busy_ = false;
    state_.pending = false;
    const std::string sid = std::to_string(sid_);
    const std::string tail = " ms=" + std::to_string(ms);
    if (!result) {
        state_.phase = AnswerState::Phase::failed;
        state_.notice = AITalkText::error(result.error());
        Log::write(kTag, "답 실패 sid=" + sid + " reason=" + failureReason(result.error()) + tail);
        show();
        return;
    }
    std::visit(
        overloaded{
            [&](AskOutcomes::Answer& answer) {
                threadID_ = answer.threadID;
                state_.hasThread = threadID_.has_value();
                state_.phase = AnswerState::Phase::answered;
                Log::write(
                    kTag, "답 ok sid=" + sid + " mode=" + toString(mode) + " hint=" + flag(hinted) +
                              " answer_len=" + std::to_string(PyText::count(answer.text)) + tail);
                state_.turns = {{AnswerState::Turn::Role::assistant, std::move(answer.text)}};
                state_.notice.reset();
                state_.answerSeq += 1;
            },
            [&](AskOutcomes::Rejected& rejected) {
                state_.phase = AnswerState::Phase::failed;
                state_.notice = AITalkText::rejected(rejected.reason);
                Log::write(kTag, "답 rejected sid=" + sid + " reason=" + rejected.reason + tail);
            },
            [&](AskOutcomes::NotFound&) {
                state_.phase = AnswerState::Phase::notFound;
                state_.notice = AITalkText::notFound;
                Log::write(kTag, "답 not_found sid=" + sid + " mode=" + toString(mode) +
                                     " hint=" + flag(hinted) + tail);
            },
        },
        *result);
    show();
}

void AITalkSession::selectionOnly() {
    if (open_ && state_.phase == AnswerState::Phase::notFound && !busy_) {
        again(AskMode::selectionOnly);
    }
}

void AITalkSession::retry() {
    if (open_ && state_.phase == AnswerState::Phase::failed && !busy_) {
        again(lastMode_);
    }
}

void AITalkSession::again(AskMode mode) {
    busy_ = true;
    state_.phase = AnswerState::Phase::loading;
    state_.notice.reset();
    state_.turns.clear();
    show();
    first(mode);
}

void AITalkSession::followup(const std::string& text) {
    std::string message =
        PyText::prefix(PyText::strip(text), static_cast<size_t>(DriveLimits::messageMax));
    if (!open_ || state_.phase != AnswerState::Phase::answered || !state_.hasThread ||
        state_.pending || busy_ || message.empty() || !threadID_) {
        return;
    }
    const double started = clock_->uptime();
    const int startSid = sid_;
    busy_ = true;
    state_.turns.push_back({AnswerState::Turn::Role::user, message});
    state_.pending = true;
    state_.notice.reset();
    show();
    const size_t messageLength = PyText::count(message);
    std::weak_ptr<AITalkSession> weak = weak_from_this();
    asking_->followup(
        *threadID_, std::move(message), [weak, startSid, started, messageLength](AskResult result) {
            auto self = weak.lock();
            if (!self) {
                return;
            }
            const long long ms = self->millisSince(started);
            if (self->sid_ != startSid) {
                Log::write(kTag, "늦은 답 버림 sid=" + std::to_string(startSid) +
                                     " ms=" + std::to_string(ms));
                return;
            }
            self->busy_ = false;
            self->state_.pending = false;
            const std::string sid = std::to_string(self->sid_);
            const std::string tail = " ms=" + std::to_string(ms);
            if (!result) {
                self->state_.notice = AITalkText::error(result.error());
                Log::write(kTag, "이어 묻기 실패 sid=" + sid +
                                     " reason=" + failureReason(result.error()) + tail);
                self->show();
                return;
            }
            std::visit(
                overloaded{
                    [&](AskOutcomes::Answer& answer) {
                        Log::write(kTag, "이어 묻기 ok sid=" + sid + " message_len=" +
                                             std::to_string(messageLength) + " answer_len=" +
                                             std::to_string(PyText::count(answer.text)) + tail);
                        self->state_.turns.push_back(
                            {AnswerState::Turn::Role::assistant, std::move(answer.text)});
                    },
                    [&](AskOutcomes::Rejected& rejected) {
                        self->state_.notice = AITalkText::rejected(rejected.reason);
                        Log::write(kTag, "이어 묻기 rejected sid=" + sid +
                                             " reason=" + rejected.reason + tail);
                    },
                    [&](AskOutcomes::NotFound&) {
                        self->state_.notice = AITalkText::retry;
                        Log::write(kTag, "이어 묻기 실패 sid=" + sid + " reason=not_found" + tail);
                    },
                },
                *result);
            self->show();
        });
}

void AITalkSession::close(const std::string& reason) {
    if (!open_) {
        return;
    }
    Log::write(kTag, "창 닫힘 sid=" + std::to_string(sid_) + " reason=" + reason +
                         " waiting=" + flag(busy_));
    sid_ += 1;
    open_ = false;
    busy_ = false;
    threadID_.reset();
    popup_.reset();
    selection_.clear();
    state_ = AnswerState{};
    if (auto screen = screen_.lock()) {
        screen->hide();
    }
}

}  // namespace parlendo
