#include "server/ServerContract.h"

#include "foundation/Regex.h"
#include "foundation/Text.h"

#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>

namespace parlendo {

namespace ServerContract {

namespace {

struct CodeKind {
    std::string_view code;
    Kind kind;
};
constexpr std::array<CodeKind, 4> codes = {{
    {"app_update_required", Kind::updateRequired},
    {"feature_disabled", Kind::featureOff},
    {"service_paused", Kind::busy},
    {"global_budget_exceeded", Kind::busy},
}};

struct FunctionFeature {
    std::string_view function;
    std::string_view feature;
};
constexpr std::array<FunctionFeature, 6> edgeFunctions = {{
    {"generate-sense", "generate"},
    {"translate-sentence", "translate"},
    {"embed-title", "embed"},
    {"ask-document", "ask"},
    {"send-feedback", "feedback"},
    {"delete-account", "account"},
}};

template <size_t N>
bool contains(const std::array<std::string_view, N>& list, std::string_view value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

// The contract code of a body: `code`, then `error`, then the message of a wrapper code.
std::optional<std::string> contractCode(const Json& body) {
    auto code = json::string(body, "code");
    if (code && kindOfCode(*code)) {
        return code;
    }
    auto error = json::string(body, "error");
    if (error && kindOfCode(*error)) {
        return error;
    }
    if (code && contains(wrapperCodes, *code)) {
        auto message = json::string(body, "message");
        if (message && kindOfCode(*message)) {
            return message;
        }
    }
    return std::nullopt;
}

std::optional<std::string> noticeOf(const Json& body) {
    for (auto key : {"notice", "hint"}) {
        auto value = json::string(body, key);
        if (value && isNoticeKey(*value)) {
            return value;
        }
    }
    return std::nullopt;
}

std::optional<std::string> featureOf(const Json& body) {
    for (auto key : {"feature", "details"}) {
        auto value = json::string(body, key);
        if (value && isFeature(*value)) {
            return value;
        }
    }
    return std::nullopt;
}

std::optional<double> clampRetry(double seconds) {
    if (std::isnan(seconds) || seconds < 0) {
        return std::nullopt;
    }
    if (seconds <= retryMin) {
        return retryMin;
    }
    return std::min(seconds, retryMax);
}

std::string_view trimSpaceTab(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) {
        s.remove_suffix(1);
    }
    return s;
}

bool allDigits(std::string_view s, size_t minCount, size_t maxCount) {
    if (s.size() < minCount || s.size() > maxCount) {
        return false;
    }
    return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

Verdict onlyRetry(Kind kind, std::optional<double> retry) {
    Verdict verdict;
    verdict.kind = kind;
    verdict.retryAfter = retry;
    return verdict;
}

}  // namespace

std::optional<Kind> kindOfCode(std::string_view code) {
    for (const auto& entry : codes) {
        if (entry.code == code) {
            return entry.kind;
        }
    }
    return std::nullopt;
}

std::optional<std::string> featureOfFunction(std::string_view name) {
    for (const auto& entry : edgeFunctions) {
        if (entry.function == name) {
            return std::string(entry.feature);
        }
    }
    return std::nullopt;
}

std::optional<double> defaultWait(Kind kind) {
    switch (kind) {
        case Kind::busy:
            return 60.0;
        case Kind::featureOff:
            return 300.0;
        case Kind::ok:
        case Kind::updateRequired:
        case Kind::authRateLimited:
        case Kind::other:
            return std::nullopt;
    }
    return std::nullopt;
}

bool isFeature(std::string_view name) {
    return contains(features, name);
}
bool isNoticeKey(std::string_view key) {
    return contains(noticeKeys, key);
}

Json parseBody(std::string_view data) {
    if (data.size() > maxParsedBody) {
        return nullptr;
    }
    auto parsed = json::parse(data);
    return parsed ? std::move(*parsed) : Json(nullptr);
}

std::optional<Verdict> classify(std::optional<int> status, std::string_view data,
                                const HttpHeaders& headers, std::string_view path, double now) {
    Endpoint end = endpoint(path);
    if (!end.scope) {
        return std::nullopt;
    }
    return classify(status, parseBody(data), headers, *end.scope, end.feature, now);
}

Verdict classify(std::optional<int> status, const Json& parsed, const HttpHeaders& headers,
                 Scope scope, const std::optional<std::string>& feature, double now) {
    if (status && *status >= 200 && *status <= 399) {
        return Verdict{};
    }
    static const Json emptyObject = Json::object();
    const Json& body = parsed.is_object() ? parsed : emptyObject;

    auto retry = retryAfter(header(headers, "Retry-After"), now);
    if (!retry) {
        auto it = body.find("retry_after");
        retry = retryAfter(it == body.end() ? Json(nullptr) : *it, now);
    }

    switch (scope) {
        case Scope::edge:
        case Scope::rest: {
            auto code = contractCode(body);
            if (code) {
                Kind kind = *kindOfCode(*code);
                Verdict verdict{kind, code, std::nullopt, retry, noticeOf(body)};
                switch (kind) {
                    case Kind::featureOff: {
                        auto named = featureOf(body);
                        verdict.feature = named ? named : feature;
                        break;
                    }
                    case Kind::busy:
                        verdict.feature = feature;
                        break;
                    case Kind::updateRequired:
                    case Kind::ok:
                    case Kind::authRateLimited:
                    case Kind::other:
                        break;
                }
                return verdict;
            }
            if (status && (*status == 429 || *status == 503) && retry) {
                return Verdict{Kind::busy, std::nullopt, feature, retry, std::nullopt};
            }
            return onlyRetry(Kind::other, retry);
        }
        case Scope::auth: {
            auto code = json::string(body, "code");
            if (!code) {
                code = json::string(body, "error_code");
            }
            bool rateCode = code && contains(authRateCodes, *code);
            if (status && *status == 429) {
                return Verdict{Kind::authRateLimited, rateCode ? code : std::nullopt, std::nullopt,
                               retry, std::nullopt};
            }
            if (rateCode) {
                return Verdict{Kind::authRateLimited, code, std::nullopt, retry, std::nullopt};
            }
            return onlyRetry(Kind::other, retry);
        }
    }
    return onlyRetry(Kind::other, retry);
}

Endpoint endpoint(std::string_view path) {
    std::string_view work = path;
    // A full URL: work on its path only.
    size_t colon = work.find(':');
    if (colon != std::string_view::npos && colon > 0) {
        std::string_view scheme = work.substr(0, colon);
        bool isScheme = std::isalpha(static_cast<unsigned char>(scheme[0])) &&
                        std::all_of(scheme.begin(), scheme.end(), [](char c) {
                            return std::isalnum(static_cast<unsigned char>(c)) || c == '+' ||
                                   c == '-' || c == '.';
                        });
        if (isScheme) {
            work.remove_prefix(colon + 1);
            if (text::startsWith(work, "//")) {
                work.remove_prefix(2);
                size_t end = work.find_first_of("/?#");
                work = end == std::string_view::npos ? std::string_view{} : work.substr(end);
            }
            work = work.substr(0, work.find('#'));
        }
    }
    work = work.substr(0, work.find('?'));

    std::vector<std::string_view> pieces;
    size_t start = 0;
    while (start <= work.size()) {
        size_t slash = work.find('/', start);
        size_t end = slash == std::string_view::npos ? work.size() : slash;
        if (end > start) {
            pieces.push_back(work.substr(start, end - start));
        }
        if (slash == std::string_view::npos) {
            break;
        }
        start = slash + 1;
    }

    if (pieces.size() > 2 && pieces[0] == "functions" && pieces[1] == "v1") {
        return Endpoint{Scope::edge, featureOfFunction(pieces[2])};
    }
    if (pieces.size() >= 2 && pieces[1] == "v1") {
        if (pieces[0] == "auth") {
            return Endpoint{Scope::auth, std::nullopt};
        }
        if (pieces[0] == "rest") {
            return Endpoint{Scope::rest, std::string("rest")};
        }
    }
    return Endpoint{};
}

std::optional<std::string> header(const HttpHeaders& headers, std::string_view name) {
    for (const auto& [key, value] : headers) {
        if (text::asciiIEquals(key, name)) {
            return value;
        }
    }
    return std::nullopt;
}

std::optional<double> retryAfter(const Json& value, double now) {
    if (value.is_number()) {
        double seconds = value.get<double>();
        if (!std::isfinite(seconds)) {
            return std::nullopt;
        }
        return clampRetry(seconds);
    }
    if (value.is_string()) {
        return retryAfter(std::optional<std::string>(value.get<std::string>()), now);
    }
    return std::nullopt;
}

std::optional<double> retryAfter(const std::optional<std::string>& value, double now) {
    if (!value) {
        return std::nullopt;
    }
    std::string_view textValue = trimSpaceTab(*value);
    if (allDigits(textValue, 1, 10)) {
        return clampRetry(std::stod(std::string(textValue)));
    }
    if (textValue.empty()) {
        return std::nullopt;
    }
    auto when = date(textValue);
    if (!when) {
        return std::nullopt;
    }
    return clampRetry(*when - now);
}

std::optional<double> date(std::string_view httpDate) {
    // One shared formatter; ICU formatters are not safe for concurrent use, hence the lock.
    static std::mutex mutex;
    static std::unique_ptr<icu::SimpleDateFormat> formatter = [] {
        UErrorCode status = U_ZERO_ERROR;
        auto f = std::make_unique<icu::SimpleDateFormat>(
            icu::UnicodeString("EEE, dd MMM yyyy HH:mm:ss zzz"), icu::Locale("en_US_POSIX"),
            status);
        if (U_FAILURE(status)) {
            return std::unique_ptr<icu::SimpleDateFormat>();
        }
        f->adoptTimeZone(icu::TimeZone::createTimeZone("GMT"));
        f->setLenient(false);
        return f;
    }();
    if (!formatter) {
        return std::nullopt;
    }
    std::string_view trimmed = trimSpaceTab(httpDate);
    icu::UnicodeString input = icu::UnicodeString::fromUTF8(
        icu::StringPiece(trimmed.data(), static_cast<int32_t>(trimmed.size())));
    std::lock_guard lock(mutex);
    icu::ParsePosition position(0);
    UDate parsed = formatter->parse(input, position);
    if (position.getErrorIndex() >= 0 || position.getIndex() != input.length()) {
        return std::nullopt;
    }
    return parsed / 1000.0;
}

bool versionBelow(std::string_view version, const std::optional<std::string>& minimum) {
    static const Regex pattern(
        R"(^([0-9]{1,3})\.([0-9]{1,3})\.([0-9]{1,3})(?:\+([0-9]{8})\.([0-9]{2}))?$)");
    if (!minimum) {
        return false;
    }
    auto mine = pattern.firstMatch(version);
    auto theirs = pattern.firstMatch(*minimum);
    if (!mine || !theirs || mine->size() < 6 || theirs->size() < 6) {
        return false;
    }
    for (int i = 1; i <= 3; ++i) {
        long a = std::stol((*mine)[i]);
        long b = std::stol((*theirs)[i]);
        if (a != b) {
            return a < b;
        }
    }
    const std::string& myDate = (*mine)[4];
    const std::string& theirDate = (*theirs)[4];
    if (myDate.empty() || theirDate.empty()) {
        return false;
    }
    if (myDate != theirDate) {
        return myDate < theirDate;
    }
    return (*mine)[5] < (*theirs)[5];
}

GateDecision gate(const Json& replyValue, std::string_view appVersion, std::string_view platform,
                  double now) {
    const Json* reply = &replyValue;
    if (reply->is_array() && reply->size() == 1) {
        reply = &(*reply)[0];
    }
    if (!reply->is_object()) {
        return GateDecision{};
    }
    std::optional<std::string> minimum;
    if (const Json* supported = json::object(*reply, "min_supported")) {
        minimum = json::string(*supported, platform);
    }
    GateDecision decision;
    decision.updateRequired = versionBelow(appVersion, minimum);
    if (decision.updateRequired) {
        decision.notice = "update_required";
    } else {
        auto notice = json::string(*reply, "notice");
        if (notice && isNoticeKey(*notice)) {
            decision.notice = notice;
        }
    }
    const Json* flags = json::object(*reply, "flags");
    if (flags == nullptr) {
        return decision;
    }
    auto retry = reply->find("retry_after");
    decision.retryAfter = retryAfter(retry == reply->end() ? Json(nullptr) : *retry, now);
    for (auto name : features) {
        auto flag = flags->find(name);
        if (flag != flags->end() && flag->is_boolean() && !flag->get<bool>()) {
            decision.off.emplace_back(name);
        }
    }
    return decision;
}

}  // namespace ServerContract

const char* toString(ServerContract::Kind kind) {
    using K = ServerContract::Kind;
    switch (kind) {
        case K::ok:
            return "ok";
        case K::updateRequired:
            return "update_required";
        case K::featureOff:
            return "feature_off";
        case K::busy:
            return "busy";
        case K::authRateLimited:
            return "auth_rate_limited";
        case K::other:
            return "other";
    }
    return "other";
}

std::optional<ServerContract::Kind> contractKindFromString(std::string_view text) {
    using K = ServerContract::Kind;
    for (K kind :
         {K::ok, K::updateRequired, K::featureOff, K::busy, K::authRateLimited, K::other}) {
        if (text == toString(kind)) {
            return kind;
        }
    }
    return std::nullopt;
}

const char* toString(ServerContract::Scope scope) {
    using S = ServerContract::Scope;
    switch (scope) {
        case S::edge:
            return "edge";
        case S::rest:
            return "rest";
        case S::auth:
            return "auth";
    }
    return "rest";
}

std::optional<ServerContract::Scope> contractScopeFromString(std::string_view text) {
    using S = ServerContract::Scope;
    for (S scope : {S::edge, S::rest, S::auth}) {
        if (text == toString(scope)) {
            return scope;
        }
    }
    return std::nullopt;
}

}  // namespace parlendo
