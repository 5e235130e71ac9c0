#include "auth/AuthCallback.h"

#include "foundation/Url.h"

#include "foundation/Overloaded.h"
#include "foundation/Text.h"

#include <map>
#include <optional>
#include <set>

namespace parlendo {
namespace {

struct UrlParts {
    std::string scheme;
    std::string host;
    std::optional<std::string_view> query;
    std::optional<std::string_view> fragment;
};

bool isSchemeChar(char c, bool first) {
    const bool alpha = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (first) {
        return alpha;
    }
    return alpha || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

UrlParts split(std::string_view url) {
    UrlParts parts;
    if (auto hash = url.find('#'); hash != std::string_view::npos) {
        parts.fragment = url.substr(hash + 1);
        url = url.substr(0, hash);
    }
    if (auto question = url.find('?'); question != std::string_view::npos) {
        parts.query = url.substr(question + 1);
        url = url.substr(0, question);
    }
    auto colon = url.find(':');
    if (colon == std::string_view::npos || colon == 0) {
        return parts;
    }
    for (size_t i = 0; i < colon; ++i) {
        if (!isSchemeChar(url[i], i == 0)) {
            return parts;
        }
    }
    parts.scheme = std::string(url.substr(0, colon));
    std::string_view rest = url.substr(colon + 1);
    if (!text::startsWith(rest, "//")) {
        return parts;
    }
    rest = rest.substr(2);
    std::string_view authority = rest.substr(0, rest.find('/'));
    if (auto at = authority.rfind('@'); at != std::string_view::npos) {
        authority = authority.substr(at + 1);
    }
    if (auto port = authority.rfind(':'); port != std::string_view::npos) {
        authority = authority.substr(0, port);
    }
    parts.host = std::string(authority);
    return parts;
}

// The "key=value" pairs of one part of the link. A key that appears again with another value
// in the same part is noted in `conflicts`; the last value is kept.
void collect(std::string_view text, std::map<std::string, std::string>& into,
             std::set<std::string>& conflicts) {
    std::map<std::string, std::string> part;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('&', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view piece = text.substr(start, end - start);
        start = end + 1;
        if (piece.empty()) {
            continue;
        }
        auto equals = piece.find('=');
        if (equals == std::string_view::npos) {
            continue;
        }
        std::string_view key = piece.substr(0, equals);
        std::string_view raw = piece.substr(equals + 1);
        if (key.empty() || raw.empty()) {
            continue;
        }
        std::string value = Url::percentDecode(raw).value_or(std::string(raw));
        auto [at, added] = part.try_emplace(std::string(key), value);
        if (!added && at->second != value) {
            conflicts.insert(at->first);
            at->second = std::move(value);
        }
    }
    for (auto& [key, value] : part) {
        into[key] = std::move(value);
    }
}

}  // namespace

AuthCallback AuthCallback::parse(std::string_view url) {
    UrlParts parts = split(url);
    if (text::asciiLower(parts.scheme) != "parlendo" ||
        text::asciiLower(parts.host) != "auth-callback") {
        return Ignored{};
    }
    // The fragment's values win over the query's, but a link that names two different refresh
    // tokens, or one part that gives a key two values, cannot say which it means.
    std::map<std::string, std::string> params;
    std::set<std::string> conflicts;
    if (parts.query) {
        collect(*parts.query, params, conflicts);
    }
    std::optional<std::string> queryToken;
    if (auto token = params.find("refresh_token"); token != params.end()) {
        queryToken = token->second;
    }
    if (parts.fragment) {
        collect(*parts.fragment, params, conflicts);
    }
    if (auto token = params.find("refresh_token");
        queryToken && token != params.end() && token->second != *queryToken) {
        conflicts.insert("refresh_token");
    }
    if (params.empty()) {
        return Ignored{};
    }
    if (conflicts.count("type") || conflicts.count("refresh_token")) {
        return Failed{};
    }
    if (params.count("error") || params.count("error_code") || params.count("error_description")) {
        return Failed{};
    }
    auto type = params.find("type");
    if (type == params.end()) {
        return Ignored{};
    }
    if (type->second == "signup" || type->second == "email") {
        return EmailConfirmed{};
    }
    if (type->second == "recovery") {
        auto token = params.find("refresh_token");
        if (token != params.end() && !token->second.empty()) {
            return Recovery{token->second};
        }
        return Failed{};
    }
    return Ignored{};
}

std::string AuthCallback::kind() const {
    return std::visit(overloaded{
                          [](const Recovery&) { return std::string("recovery"); },
                          [](const EmailConfirmed&) { return std::string("email_confirmed"); },
                          [](const Failed&) { return std::string("failed"); },
                          [](const Ignored&) { return std::string("ignored"); },
                      },
                      value_);
}

}  // namespace parlendo
