#include "foundation/Regex.h"

#include "foundation/IcuText.h"

#include <unicode/regex.h>

#include <cassert>

namespace parlendo {

struct Regex::Impl {
    std::unique_ptr<icu::RegexPattern> pattern;
};

namespace {
using icutext::toUnicode;
using icutext::toUtf8;

// A pattern's matcher over one UTF-8 text, with the status of the calls made on it. Tests false
// when ICU could not make the matcher.
class Matching {
  public:
    Matching(const icu::RegexPattern& pattern, std::string_view text) : input_(toUnicode(text)) {
        matcher_.reset(pattern.matcher(input_, status));
        if (U_FAILURE(status)) {
            matcher_.reset();
        }
    }
    explicit operator bool() const { return matcher_ != nullptr; }
    icu::RegexMatcher* operator->() const { return matcher_.get(); }
    const icu::UnicodeString& input() const { return input_; }

    UErrorCode status = U_ZERO_ERROR;

  private:
    icu::UnicodeString input_;
    std::unique_ptr<icu::RegexMatcher> matcher_;
};

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
    Matching m(*impl_->pattern, text);
    const bool found = m && m->find(m.status);
    return U_SUCCESS(m.status) && found;
}

bool Regex::matches(std::string_view text) const {
    if (!impl_) {
        return false;
    }
    Matching m(*impl_->pattern, text);
    const bool found = m && m->matches(m.status);
    return U_SUCCESS(m.status) && found;
}

std::optional<std::vector<std::string>> Regex::firstMatch(std::string_view text) const {
    if (!impl_) {
        return std::nullopt;
    }
    Matching m(*impl_->pattern, text);
    if (!m || !m->find(m.status) || U_FAILURE(m.status)) {
        return std::nullopt;
    }
    std::vector<std::string> groups;
    for (int32_t g = 0; g <= m->groupCount(); ++g) {
        groups.push_back(toUtf8(m->group(g, m.status)));
    }
    if (U_FAILURE(m.status)) {
        return std::nullopt;
    }
    return groups;
}

std::string Regex::replaceAll(std::string_view text, std::string_view replacement) const {
    if (!impl_) {
        return std::string(text);
    }
    Matching m(*impl_->pattern, text);
    if (!m) {
        return toUtf8(m.input());
    }
    const icu::UnicodeString out = m->replaceAll(toUnicode(replacement), m.status);
    return toUtf8(U_SUCCESS(m.status) ? out : m.input());
}

std::vector<std::string> Regex::allMatches(std::string_view text) const {
    std::vector<std::string> out;
    if (!impl_) {
        return out;
    }
    Matching m(*impl_->pattern, text);
    while (m && m->find(m.status) && U_SUCCESS(m.status)) {
        out.push_back(toUtf8(m->group(m.status)));
    }
    return out;
}

}  // namespace parlendo
