#include "foundation/Url.h"

#include "foundation/Text.h"

namespace parlendo {

namespace {

bool isAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isHex(char c) {
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool isUnreserved(char c) {
    return isAlpha(c) || isDigit(c) || c == '-' || c == '.' || c == '_' || c == '~';
}

bool isSubDelim(char c) {
    switch (c) {
        case '!':
        case '$':
        case '&':
        case '\'':
        case '(':
        case ')':
        case '*':
        case '+':
        case ',':
        case ';':
        case '=':
            return true;
        default:
            return false;
    }
}

// Percent escapes must be "%" and two hex digits.
bool validEscapes(std::string_view s) {
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%') {
            if (i + 2 >= s.size() || !isHex(s[i + 1]) || !isHex(s[i + 2])) {
                return false;
            }
            i += 2;
        }
    }
    return true;
}

bool validScheme(std::string_view s) {
    if (s.empty() || !isAlpha(s[0])) {
        return false;
    }
    for (char c : s) {
        if (!isAlpha(c) && !isDigit(c) && c != '+' && c != '-' && c != '.') {
            return false;
        }
    }
    return true;
}

bool validUserInfo(std::string_view s) {
    for (char c : s) {
        if (!isUnreserved(c) && !isSubDelim(c) && c != ':' && c != '%') {
            return false;
        }
    }
    return validEscapes(s);
}

bool validRegName(std::string_view s) {
    for (char c : s) {
        if (!isUnreserved(c) && !isSubDelim(c)) {
            return false;
        }
    }
    return true;
}

// "[" IPv6address or IPvFuture "]": only the characters are checked.
bool validIpLiteral(std::string_view s) {
    if (s.size() < 3 || s.front() != '[' || s.back() != ']') {
        return false;
    }
    for (char c : s.substr(1, s.size() - 2)) {
        if (!isHex(c) && c != ':' && c != '.' && c != 'v' && c != 'V') {
            return false;
        }
    }
    return true;
}

bool validPort(std::string_view s) {
    if (s.size() > 5) {
        return false;
    }
    unsigned value = 0;
    for (char c : s) {
        if (!isDigit(c)) {
            return false;
        }
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return value <= 65535;
}

// Path, query and fragment: anything visible, and bytes outside ASCII.
bool validTail(std::string_view s) {
    for (char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u == 0x7F) {
            return false;
        }
    }
    return true;
}

bool parseAuthority(std::string_view authority, Url& url) {
    const size_t at = authority.find('@');
    if (at != std::string_view::npos) {
        const std::string_view info = authority.substr(0, at);
        if (!validUserInfo(info)) {
            return false;
        }
        url.userInfo = std::string(info);
        authority.remove_prefix(at + 1);
    }
    std::string_view host = authority;
    std::optional<std::string_view> port;
    if (!authority.empty() && authority.front() == '[') {
        const size_t close = authority.find(']');
        if (close == std::string_view::npos) {
            return false;
        }
        host = authority.substr(0, close + 1);
        const std::string_view rest = authority.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') {
                return false;
            }
            port = rest.substr(1);
        }
        if (!validIpLiteral(host)) {
            return false;
        }
    } else {
        const size_t colon = authority.find(':');
        if (colon != std::string_view::npos) {
            host = authority.substr(0, colon);
            port = authority.substr(colon + 1);
        }
        if (!validRegName(host)) {
            return false;
        }
    }
    if (port && !validPort(*port)) {
        return false;
    }
    url.host = std::string(host);
    if (port) {
        url.port = std::string(*port);
    }
    return true;
}

}  // namespace

std::optional<Url> Url::parse(std::string_view text) {
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos || !validScheme(text.substr(0, colon))) {
        return std::nullopt;
    }
    Url url;
    url.scheme = std::string(text.substr(0, colon));
    std::string_view rest = text.substr(colon + 1);

    const size_t hash = rest.find('#');
    if (hash != std::string_view::npos) {
        const std::string_view fragment = rest.substr(hash + 1);
        if (!validTail(fragment) || fragment.find('#') != std::string_view::npos) {
            return std::nullopt;
        }
        url.fragment = std::string(fragment);
        rest = rest.substr(0, hash);
    }
    const size_t question = rest.find('?');
    if (question != std::string_view::npos) {
        const std::string_view query = rest.substr(question + 1);
        if (!validTail(query)) {
            return std::nullopt;
        }
        url.query = std::string(query);
        rest = rest.substr(0, question);
    }
    if (rest.starts_with("//")) {
        rest.remove_prefix(2);
        const size_t slash = rest.find('/');
        const std::string_view authority = rest.substr(0, slash);
        if (!parseAuthority(authority, url)) {
            return std::nullopt;
        }
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
    }
    if (!validTail(rest)) {
        return std::nullopt;
    }
    url.path = std::string(rest);
    return url;
}

std::optional<std::string> Url::user() const {
    if (!userInfo) {
        return std::nullopt;
    }
    return userInfo->substr(0, userInfo->find(':'));
}

bool Url::isPathCharacter(char c) {
    return isUnreserved(c) || isSubDelim(c) || c == ':' || c == '@';
}

int Url::hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::optional<std::string> Url::percentDecode(std::string_view text) {
    if (text.find('%') == std::string_view::npos) {
        return text::isValidUtf8(text) ? std::optional<std::string>(text) : std::nullopt;
    }
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out.push_back(text[i]);
            continue;
        }
        if (i + 2 >= text.size()) {
            return std::nullopt;
        }
        const int hi = hexDigit(text[i + 1]);
        const int lo = hexDigit(text[i + 2]);
        if (hi < 0 || lo < 0) {
            return std::nullopt;
        }
        out.push_back(static_cast<char>(hi * 16 + lo));
        i += 2;
    }
    if (!text::isValidUtf8(out)) {
        return std::nullopt;
    }
    return out;
}

}  // namespace parlendo
