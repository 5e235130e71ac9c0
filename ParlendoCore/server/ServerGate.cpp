#include "server/ServerGate.h"

#include "foundation/Clock.h"
#include "foundation/Log.h"

#include <algorithm>
#include <cmath>

namespace parlendo {

namespace {

using ServerContract::Kind;
using ServerContract::Verdict;

struct NoticeTexts {
    std::string_view key;
    std::string_view notice;
    std::string_view menu;
};
constexpr std::array<NoticeTexts, 4> noticeTable = {{
    {"update_required",
     "새 버전으로 업데이트해 주세요. 지금 버전은 곧(또는 이미) 서버가 받지 않아요.",
     "⚠️ 새 버전으로 업데이트해 주세요"},
    {"update_recommended", "새 버전이 나왔어요. 업데이트해 주세요.",
     "새 버전이 나왔어요 — 업데이트해 주세요"},
    {"maintenance", "서버 점검 중이에요. 일부 기능이 잠시 멈출 수 있어요.",
     "서버 점검 중 — 일부 기능이 잠시 멈출 수 있어요"},
    {"service_paused", "사용량이 많아 일부 기능을 잠시 쉬고 있어요. 잠시 뒤 다시 시도해 주세요.",
     "사용량이 많아 일부 기능을 잠시 쉬는 중"},
}};

std::string statusText(std::optional<int> status) {
    return status ? std::to_string(*status) : std::string("-");
}

std::string wholeSeconds(double seconds) {
    return std::to_string(static_cast<long long>(std::trunc(seconds)));
}

}  // namespace

Json ServerGate::Notice::screen() const {
    return Json{{"key", key}, {"text", text}, {"update_required", updateRequired}};
}

std::optional<std::string> ServerGate::noticeText(std::string_view key) {
    for (const auto& entry : noticeTable) {
        if (entry.key == key) {
            return std::string(entry.notice);
        }
    }
    return std::nullopt;
}

std::optional<std::string> ServerGate::menuText(std::string_view key) {
    for (const auto& entry : noticeTable) {
        if (entry.key == key) {
            return std::string(entry.menu);
        }
    }
    return std::nullopt;
}

ServerGate::ServerGate(std::function<double()> clock, std::function<double()> wallNow)
    : clock_(clock ? std::move(clock) : [] { return SystemClock::shared()->uptime(); }),
      wallNow_(wallNow ? std::move(wallNow) : [] { return SystemClock::shared()->now(); }) {}

const ServerGate::Block* ServerGate::liveBlockLocked(const std::string& feature, double now) {
    auto it = blocked_.find(feature);
    if (it == blocked_.end()) {
        return nullptr;
    }
    if (!(it->second.until > now)) {
        blocked_.erase(it);
        return nullptr;
    }
    return &it->second;
}

void ServerGate::noticeChanged() {
    std::function<void()> callback;
    {
        std::lock_guard lock(mutex_);
        callback = onNoticeChange_;
    }
    if (callback) {
        callback();
    }
}

void ServerGate::setOnNoticeChange(std::function<void()> onNoticeChange) {
    std::lock_guard lock(mutex_);
    onNoticeChange_ = std::move(onNoticeChange);
}

Verdict ServerGate::observe(const Verdict& verdict, const std::optional<std::string>& feature,
                            std::optional<int> status, std::optional<CallFailureDetail> replay,
                            std::string_view source) {
    if (verdict.kind == Kind::ok || verdict.kind == Kind::other) {
        return verdict;
    }
    double now = clock_();
    std::optional<std::string> line;
    bool changed = false;
    {
        std::lock_guard lock(mutex_);
        switch (verdict.kind) {
            case Kind::updateRequired:
                if (!updateRequiredFlag_) {
                    line = "reason=app_update_required where=" + std::string(source) +
                           " http_status=" + statusText(status);
                }
                updateRequiredFlag_ = true;
                changed = noticeKey_ != "update_required";
                noticeKey_ = "update_required";
                break;
            case Kind::authRateLimited:
                if (verdict.retryAfter) {
                    authUntil_ = now + *verdict.retryAfter;
                }
                line = "reason=auth_rate_limited http_status=" + statusText(status) +
                       " retry_after_s=" +
                       (verdict.retryAfter ? wholeSeconds(*verdict.retryAfter) : "-");
                break;
            case Kind::featureOff:
            case Kind::busy: {
                std::optional<std::string> name = verdict.feature ? verdict.feature : feature;
                if (!name || !ServerContract::isFeature(*name)) {
                    break;
                }
                double wait = verdict.retryAfter
                                  ? *verdict.retryAfter
                                  : ServerContract::defaultWait(verdict.kind).value_or(60.0);
                wait = std::clamp(wait, ServerContract::retryMin, ServerContract::retryMax);
                if (verdict.code) {
                    const Block* existing = liveBlockLocked(*name, now);
                    Block block;
                    block.kind = verdict.kind;
                    block.until = now + wait;
                    if (replay) {
                        block.replay = std::move(*replay);
                    } else if (existing) {
                        block.replay = existing->replay;
                    } else {
                        block.replay = replayFailure(verdict, status);
                    }
                    if (existing) {
                        block.until = std::max(block.until, existing->until);
                    } else {
                        line = "reason=" + *verdict.code + " where=" + *name +
                               " http_status=" + statusText(status) +
                               " retry_after_s=" + wholeSeconds(wait);
                    }
                    blocked_[*name] = std::move(block);
                    if (verdict.notice && *verdict.notice != "update_required" && !noticeKey_ &&
                        ServerContract::isNoticeKey(*verdict.notice)) {
                        noticeKey_ = verdict.notice;
                        noticeFeatures_ = {*name};
                        changed = true;
                    } else if (noticeKey_ && noticeKey_ == verdict.notice &&
                               !noticeFeatures_.empty()) {
                        noticeFeatures_.insert(*name);
                    }
                } else {
                    auto hint = hints_.find(*name);
                    double h = hint == hints_.end() ? 0.0 : hint->second;
                    if (!(now < h)) {
                        line = "reason=busy where=" + *name + " http_status=" + statusText(status) +
                               " retry_after_s=" + wholeSeconds(wait);
                        h = 0;
                    }
                    hints_[*name] = std::max(now + wait, h);
                }
                break;
            }
            case Kind::ok:
            case Kind::other:
                break;
        }
    }
    if (line) {
        Log::write("server_gate", *line);
    }
    if (changed) {
        noticeChanged();
    }
    return verdict;
}

std::optional<CallFailureDetail> ServerGate::replay(std::string_view path) {
    auto end = ServerContract::endpoint(path);
    if (end.scope != ServerContract::Scope::edge || !end.feature) {
        return std::nullopt;
    }
    double now = clock_();
    std::lock_guard lock(mutex_);
    const Block* block = liveBlockLocked(*end.feature, now);
    if (block == nullptr) {
        return std::nullopt;
    }
    return block->replay;
}

CallFailureDetail ServerGate::replayFailure(const Verdict& verdict, std::optional<int> status) {
    CallFailureDetail detail;
    detail.verdict = verdict;
    if (verdict.kind == Kind::updateRequired) {
        int answered = status.value_or(403);
        std::string code = verdict.code.value_or("service_paused");
        detail.failure = CallFailure::rejectedDetail(ServerRejection{answered, code, code});
        detail.status = answered;
    } else {
        detail.failure = CallFailure::unavailable();
        detail.status = status.value_or(503);
    }
    return detail;
}

bool ServerGate::backgroundAllowed(const std::vector<std::string>& names) {
    double now = clock_();
    std::lock_guard lock(mutex_);
    if (updateRequiredFlag_) {
        return false;
    }
    if (liveBlockLocked("rest", now) != nullptr) {
        return false;
    }
    for (const auto& name : names) {
        if (liveBlockLocked(name, now) != nullptr) {
            return false;
        }
    }
    return true;
}

std::optional<double> ServerGate::authRetryAfter() {
    double now = clock_();
    std::lock_guard lock(mutex_);
    if (authUntil_ && now < *authUntil_) {
        return *authUntil_ - now;
    }
    authUntil_.reset();
    return std::nullopt;
}

bool ServerGate::updateRequired() const {
    std::lock_guard lock(mutex_);
    return updateRequiredFlag_;
}

std::optional<ServerGate::Notice> ServerGate::notice() {
    double now = clock_();
    bool cleared = false;
    std::optional<Notice> result;
    {
        std::lock_guard lock(mutex_);
        if (!noticeFeatures_.empty()) {
            bool live = false;
            for (const auto& name : noticeFeatures_) {
                if (liveBlockLocked(name, now) != nullptr) {
                    live = true;
                    break;
                }
            }
            if (!live) {
                noticeKey_.reset();
                noticeFeatures_.clear();
                cleared = true;
            }
        }
        std::optional<std::string> key =
            updateRequiredFlag_ ? std::optional<std::string>("update_required") : noticeKey_;
        if (key) {
            result = Notice{*key, noticeText(*key).value_or(""), updateRequiredFlag_};
        }
    }
    if (cleared) {
        Log::write("server_gate", "알림 지움 — 쉬는 기간이 끝남");
        noticeChanged();
    }
    return result;
}

std::optional<std::string> ServerGate::menuLine() {
    auto current = notice();
    if (!current) {
        return std::nullopt;
    }
    return menuText(current->key);
}

double ServerGate::remaining(std::string_view feature) {
    double now = clock_();
    std::lock_guard lock(mutex_);
    const Block* block = liveBlockLocked(std::string(feature), now);
    return block ? std::max(0.0, block->until - now) : 0.0;
}

double ServerGate::retryHint(std::string_view feature) {
    double now = clock_();
    std::lock_guard lock(mutex_);
    double left = 0;
    if (const Block* block = liveBlockLocked(std::string(feature), now)) {
        left = block->until - now;
    }
    auto hint = hints_.find(feature);
    if (hint != hints_.end()) {
        if (hint->second > now) {
            left = std::max(left, hint->second - now);
        } else {
            hints_.erase(hint);
        }
    }
    return std::max(0.0, left);
}

bool ServerGate::beginAppGateRead() {
    std::lock_guard lock(mutex_);
    if (gateState_ != "not_started") {
        return false;
    }
    gateState_ = "pending";
    return true;
}

std::string ServerGate::appGateState() const {
    std::lock_guard lock(mutex_);
    return gateState_;
}

void ServerGate::readAppGate(std::string appVersion, std::string platform, GateCall call,
                             Completion<void(std::string)> completion) {
    // A gate owned by a shared pointer may be gone when the answer arrives; one that is not is
    // kept alive by its owner until then.
    std::weak_ptr<ServerGate> weak = weak_from_this();
    const bool shared = !weak.expired();
    call([this, weak = std::move(weak), shared, appVersion = std::move(appVersion),
          platform = std::move(platform), completion = std::move(completion)](
             Result<std::string, CallFailureDetail> result) mutable {
        std::shared_ptr<ServerGate> keep = weak.lock();
        if (shared && !keep) {
            completion("error");
            return;
        }
        std::string state;
        int off = 0;
        if (result) {
            Json reply = json::parse(*result).value_or(Json(nullptr));
            off = applyAppGate(reply, appVersion, platform);
            state = "ok";
        } else {
            state = functionMissing(result.error()) ? "not_found" : "error";
        }
        bool flag = false;
        {
            std::lock_guard lock(mutex_);
            gateState_ = state;
            flag = updateRequiredFlag_;
        }
        Log::write("server_gate", "app_gate status=" + state + " off=" + std::to_string(off) +
                                      " update_required=" + (flag ? "true" : "false"));
        completion(std::move(state));
    });
}

int ServerGate::applyAppGate(const Json& reply, std::string_view appVersion,
                             std::string_view platform) {
    auto decision = ServerContract::gate(reply, appVersion, platform, wallNow_());
    if (decision.updateRequired) {
        observe(Verdict{Kind::updateRequired, "app_update_required", std::nullopt, std::nullopt,
                        "update_required"},
                std::nullopt, std::nullopt, std::nullopt, "app_gate");
    }
    if (decision.notice && *decision.notice != "update_required") {
        bool changed = false;
        {
            std::lock_guard lock(mutex_);
            if (!updateRequiredFlag_ && noticeKey_ != decision.notice) {
                noticeKey_ = decision.notice;
                noticeFeatures_.clear();
                changed = true;
            }
        }
        if (changed) {
            noticeChanged();
        }
    }
    for (const auto& name : decision.off) {
        observe(
            Verdict{Kind::featureOff, "feature_disabled", name, decision.retryAfter, std::nullopt});
    }
    return static_cast<int>(decision.off.size());
}

bool ServerGate::functionMissing(const CallFailure& error) {
    if (const auto* rejected = error.as<CallFailure::Rejected>()) {
        return rejected->status == 404;
    }
    if (const auto* detail = error.as<CallFailure::RejectedDetail>()) {
        return detail->rejection.status == 404 || detail->rejection.code == "PGRST202";
    }
    return false;
}

bool ServerGate::functionMissing(const CallFailureDetail& error) {
    return functionMissing(error.failure) || error.status == 404;
}

}  // namespace parlendo
