#include "projects/PageBatchLadder.h"

#include "foundation/Text.h"

#include <algorithm>

namespace parlendo {

const char* toString(PageBatchLadder::Retry kind) {
    using R = PageBatchLadder::Retry;
    switch (kind) {
        case R::timeout:
            return "timeout";
        case R::unreachable:
            return "unreachable";
        case R::http502:
            return "http_502";
        case R::http503:
            return "http_503";
        case R::http504:
            return "http_504";
    }
    return "timeout";
}

const char* toString(PageBatchLadder::Stop stop) {
    using S = PageBatchLadder::Stop;
    switch (stop) {
        case S::streak:
            return "streak";
        case S::total:
            return "total";
        case S::retryAfterLong:
            return "retry_after_long";
        case S::contract:
            return "contract";
        case S::server:
            return "server";
        case S::other:
            return "other";
    }
    return "other";
}

bool shrinks(PageBatchLadder::Retry kind) {
    using R = PageBatchLadder::Retry;
    switch (kind) {
        case R::timeout:
        case R::unreachable:
        case R::http504:
            return true;
        case R::http502:
        case R::http503:
            return false;
    }
    return false;
}

std::string PageBatchLadder::Next::logValue() const {
    if (giveUp) {
        return "give_up";
    }
    return same ? "same" : std::to_string(batch);
}

PageBatchLadder::Verdict PageBatchLadder::verdict(const CallFailureDetail& detail) {
    if (detail.contractCode()) {
        return Stop::contract;
    }
    if (detail.status) {
        switch (*detail.status) {
            case 502:
                return RetryVerdict{Retry::http502, std::nullopt};
            case 503:
                return RetryVerdict{Retry::http503, detail.retryAfter};
            case 504:
                return RetryVerdict{Retry::http504, std::nullopt};
            default:
                return Stop::server;
        }
    }
    if (detail.failure.is<CallFailure::Timeout>()) {
        return RetryVerdict{Retry::timeout, std::nullopt};
    }
    if (detail.failure.is<CallFailure::Unavailable>()) {
        return RetryVerdict{Retry::unreachable, std::nullopt};
    }
    return Stop::other;
}

std::string PageBatchLadder::kind(const CallFailureDetail& detail) {
    if (detail.status) {
        return "http_" + std::to_string(*detail.status);
    }
    if (detail.failure.is<CallFailure::AuthRequired>()) {
        return "auth";
    }
    if (detail.failure.is<CallFailure::Stale>()) {
        return "stale";
    }
    if (detail.failure.is<CallFailure::Timeout>()) {
        return "timeout";
    }
    if (detail.failure.is<CallFailure::Unavailable>()) {
        return "unreachable";
    }
    return "other";
}

PageBatchLadder::Next PageBatchLadder::failed(const CallFailureDetail& detail) {
    const Verdict v = verdict(detail);
    if (const auto* stop = std::get_if<Stop>(&v)) {
        ++failures;
        ++streak;
        return Next::giveUpFor(*stop);
    }
    const auto& retry = std::get<RetryVerdict>(v);
    return failed(retry.kind, retry.retryAfter);
}

PageBatchLadder::Next PageBatchLadder::failed(Retry kind, std::optional<double> retryAfter) {
    ++failures;
    ++streak;
    if (streak > maxStreak - 1) {
        return Next::giveUpFor(Stop::streak);
    }
    if (retries > maxRetries - 1) {
        return Next::giveUpFor(Stop::total);
    }
    double wait = serverPause;
    bool same = true;
    switch (kind) {
        case Retry::timeout:
        case Retry::unreachable:
            wait = pause;
            break;
        case Retry::http504:
            wait = serverPause;
            break;
        case Retry::http502:
            wait = serverPause;
            break;
        case Retry::http503:
            if (retryAfter) {
                if (*retryAfter > maxRetryAfter) {
                    return Next::giveUpFor(Stop::retryAfterLong);
                }
                wait = std::max(0.0, *retryAfter);
            }
            break;
    }
    if (shrinks(kind)) {
        rung = std::min<std::int64_t>(rung + 1, static_cast<std::int64_t>(sizes.size()) - 1);
        same = false;
    }
    ++retries;
    return Next::retry(batch(), wait, same);
}

size_t PageBatchLadder::end(const std::vector<std::string>& pages, size_t from, int batch,
                            std::int64_t maxChars) {
    if (from >= pages.size()) {
        return from;
    }
    size_t index = from;
    std::int64_t sum = 0;
    while (index < pages.size() && index - from < static_cast<size_t>(std::max(batch, 1))) {
        const auto n = static_cast<std::int64_t>(text::codePointCount(pages[index]));
        if (index > from && sum + n > maxChars) {
            break;
        }
        sum += n;
        ++index;
    }
    return index;
}

}  // namespace parlendo
