#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace parlendo {

// The components of an absolute URL (RFC 3986): scheme ":" ["//" authority] path ["?" query]
// ["#" fragment], authority = [userinfo "@"] host [":" port].
//
// The parser is strict where identity lives: the scheme, the user information, the host (a
// registered name of RFC 3986's characters without percent escapes, an IPv4 address or a
// bracketed IPv6 literal) and the port (at most five digits, up to 65535) must follow RFC 3986
// exactly. Path, query and fragment may hold any byte except control characters, space and the
// delimiters that end them, so that a request address whose filter text is not yet encoded still
// parses. Components are kept as written (no case folding, no decoding). A component that is
// absent from the text is nullopt; one that is present but empty ("https://host:/",
// "https://@host", "https://host/?") is an empty string.
struct Url {
    std::string scheme;
    std::optional<std::string> userInfo;  // "user" or "user:password"
    std::optional<std::string> host;      // present whenever the URL has an authority
    std::optional<std::string> port;      // decimal digits as written
    std::string path;                     // "" or starting with "/" when there is an authority
    std::optional<std::string> query;     // without the "?"
    std::optional<std::string> fragment;  // without the "#"

    static std::optional<Url> parse(std::string_view text);

    // Strict percent-decoding: nothing when a "%" is not followed by two hex digits or the decoded
    // bytes are not UTF-8.
    static std::optional<std::string> percentDecode(std::string_view text);
    // The value of one hex digit, or -1.
    static int hexDigit(char c);
    // Whether a path segment may hold `c` as it is (RFC 3986 pchar without escapes: unreserved,
    // sub-delimiters, ":" and "@").
    static bool isPathCharacter(char c);

    // The user part of the user information (before the first ":"), when there is one.
    std::optional<std::string> user() const;

    bool operator==(const Url&) const = default;
};

}  // namespace parlendo
