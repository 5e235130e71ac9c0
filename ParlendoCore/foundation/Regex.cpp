#include "foundation/Regex.h"

#include <unicode/regex.h>
#include <unicode/unistr.h>

#include <cassert>

namespace parlendo {

struct Regex::Impl {
    std::unique_ptr<icu::RegexPattern> pattern;
};

namespace {
icu::UnicodeString toUnicode(std::string_view s) {
    return icu::UnicodeString::fromUTF8(icu::StringPiece(s.data(), static_cast<int32_t>(s.size())));
}

std::string toUtf8(const icu::UnicodeString& u) {
    std::string out;
    u.toUTF8String(out);
    return out;
}

std::unique_ptr<icu::RegexPattern> compile(std::string_view pattern, Regex::Flags flags) {
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError{};
    uint32_t icuFlags = flags == Regex::Flags::caseInsensitive ? UREGEX_CASE_INSENSITIVE : 0;
    std::unique_ptr<icu::RegexPattern> p(
        icu::RegexPattern::compile(toUnicode(pattern), icuFlags, parseError, status));
    if (U_FAILURE(status)) {
        return nullptr;
    }
    return p;
}
}  // namespace

std::optional<Regex> Regex::make(std::string_view pattern, Flags flags) {
    auto compiled = compile(pattern, flags);
    if (!compiled) {
        return std::nullopt;
    }
    Regex r;
    r.impl_ = std::make_shared<Impl>(Impl{std::move(compiled)});
    return r;
}

Regex::Regex(std::string_view pattern, Flags flags) {
    auto compiled = compile(pattern, flags);
    assert(compiled && "invalid regular expression");
    if (compiled) {
        impl_ = std::make_shared<Impl>(Impl{std::move(compiled)});
    }
}

bool Regex::search(std::string_view text) const {
    if (!impl_) {
        return false;
    }
    UErrorCode status = U_ZERO_ERROR;
    icu::UnicodeString input = toUnicode(text);
    std::unique_ptr<icu::RegexMatcher> m(impl_->pattern->matcher(input, status));
    if (U_FAILURE(status)) {
        return false;
    }
    const bool found = m->find(status);
    return U_SUCCESS(status) && found;
}

bool Regex::matches(std::string_view text) const {
    if (!impl_) {
        return false;
    }
    UErrorCode status = U_ZERO_ERROR;
    icu::UnicodeString input = toUnicode(text);
    std::unique_ptr<icu::RegexMatcher> m(impl_->pattern->matcher(input, status));
    if (U_FAILURE(status)) {
        return false;
    }
    const bool found = m->matches(status);
    return U_SUCCESS(status) && found;
}

std::optional<std::vector<std::string>> Regex::firstMatch(std::string_view text) const {
    if (!impl_) {
        return std::nullopt;
    }
    UErrorCode status = U_ZERO_ERROR;
    icu::UnicodeString input = toUnicode(text);
    std::unique_ptr<icu::RegexMatcher> m(impl_->pattern->matcher(input, status));
    if (U_FAILURE(status) || !m->find(status) || U_FAILURE(status)) {
        return std::nullopt;
    }
    std::vector<std::string> groups;
    for (int32_t g = 0; g <= m->groupCount(); ++g) {
        groups.push_back(toUtf8(m->group(g, status)));
    }
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    return groups;
}

std::string Regex::replaceAll(std::string_view text, std::string_view replacement) const {
    if (!impl_) {
        return std::string(text);
    }
    UErrorCode status = U_ZERO_ERROR;
    icu::UnicodeString input = toUnicode(text);
    std::unique_ptr<icu::RegexMatcher> m(impl_->pattern->matcher(input, status));
    if (U_FAILURE(status)) {
        return toUtf8(input);
    }
    icu::UnicodeString out = m->replaceAll(toUnicode(replacement), status);
    if (U_FAILURE(status)) {
        return toUtf8(input);
    }
    return toUtf8(out);
}

std::vector<std::string> Regex::allMatches(std::string_view text) const {
    std::vector<std::string> out;
    if (!impl_) {
        return out;
    }
    UErrorCode status = U_ZERO_ERROR;
    icu::UnicodeString input = toUnicode(text);
    std::unique_ptr<icu::RegexMatcher> m(impl_->pattern->matcher(input, status));
    if (U_FAILURE(status)) {
        return out;
    }
    while (m->find(status) && U_SUCCESS(status)) {
        out.push_back(toUtf8(m->group(status)));
    }
    return out;
}

}  // namespace parlendo
