#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace parlendo {

// Where the manage web view may go and whom it trusts: only the page itself. Every link, form,
// redirect or dropped file that would leave the page is refused; a link the user clicked to a web
// address is handed to the browser instead. Pure functions over URL texts.
namespace ManageNavigation {

struct Verdict {
    bool allow = false;
    std::string kind;  // of the refused target
    static Verdict allowed() { return {true, ""}; }
    static Verdict deny(std::string kind) { return {false, std::move(kind)}; }
    bool operator==(const Verdict&) const = default;
};

// With a page: allowed only to the page itself. Without one (the placeholder text was loaded):
// allowed only to "about:blank".
Verdict decide(const std::optional<std::string>& target, const std::optional<std::string>& page);

// Whether a message may reach the bridge: it came from the main frame (on this platform: it
// carried the window's nonce), and the web view shows the page.
bool trusts(const std::optional<std::string>& current, const std::optional<std::string>& page,
            bool mainFrame);

// Both are file URLs, `url` has no query, and their paths, decoded and without "." and ".."
// segments, are equal. A fragment is allowed.
bool isPage(const std::optional<std::string>& url, const std::string& page);

// A short word for logs: "none", "http", "https", "data", "blob", "about", "javascript",
// "file_pdf", "file_other" or "other".
std::string kind(const std::optional<std::string>& url);

// Whether a refused navigation should open in the browser: a link the user clicked, to a web
// address.
bool opensOutside(const std::optional<std::string>& target, bool linkClicked);

}  // namespace ManageNavigation
}  // namespace parlendo
