#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace parlendo {

// An ICU regular expression, compiled once and usable from any thread. Patterns carry their own
// anchors; `search` looks for a match anywhere in the text, as the platform's string search does.
class Regex {
  public:
    enum class Flags { none = 0, caseInsensitive = 1 };

    // nullopt when the pattern does not compile.
    static std::optional<Regex> make(std::string_view pattern, Flags flags = Flags::none);
    // For patterns written in the code: a pattern that does not compile is a programming error
    // (asserted) and then matches nothing.
    explicit Regex(std::string_view pattern, Flags flags = Flags::none);

    bool search(std::string_view text) const;
    // The whole text matches.
    bool matches(std::string_view text) const;
    // The first match and its capture groups (group 0 first); nullopt when nothing matches.
    std::optional<std::vector<std::string>> firstMatch(std::string_view text) const;
    // Every match replaced by `replacement` ($1 refers to a group).
    std::string replaceAll(std::string_view text, std::string_view replacement) const;
    // The texts of every match (group 0).
    std::vector<std::string> allMatches(std::string_view text) const;

    bool valid() const { return impl_ != nullptr; }

  private:
    struct Impl;
    Regex() = default;
    std::shared_ptr<const Impl> impl_;
};

}  // namespace parlendo
