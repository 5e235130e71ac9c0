#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace parlendo {

// The stable, clean form of a window title, used as the saved source title, as the context that
// ranks a word's senses, and as the key of the title's vector: without the browser's or document
// viewer's name after a dash, without a page counter, without credentials carried by a URL in the
// title, without invisible characters, and cut to `maxLength` code points.
//
// Applications are named by their identifier: the bundle identifier on macOS, the desktop-file id
// (without ".desktop") on Linux, where Flatpak ids often equal the macOS bundle identifiers.
// Pure functions (the log line of `redact` excepted); the tables are built once, thread-safely.
class TitleKey {
  public:
    static constexpr size_t maxLength = 300;
    static constexpr std::string_view noTitle = "(제목 없음)";
    static constexpr std::string_view previewBundleID = "com.apple.Preview";

    // A browser and the names its window titles may end with. An identifier matches a row when it
    // equals `bundlePrefix` or begins with `bundlePrefix` and "." (related processes and variants).
    // `measured` and `note` record how the tail was learnt; the logic reads only the first two.
    struct BrowserTail {
        std::string bundlePrefix;
        std::vector<std::string> names;
        bool measured = false;
        std::string note;
    };

    // The browsers, in matching order (the first matching row wins).
    static const std::vector<BrowserTail>& browserTails();
    // The Linux document viewers and editors, which take Preview's role: their tails are their
    // names, and a known document gives its file name.
    static const std::vector<BrowserTail>& documentViewers();

    struct Redacted {
        std::string title;
        int count = 0;
    };
    // The title with every URL that carries a user (and password) removed, and how many went.
    // Addresses are found even when invisible characters split them; a title that loses one also
    // loses its invisible characters, any other comes back unchanged.
    static Redacted redact(std::string_view title);

    // The normalised title for display and sources; never empty. Invisible characters go before
    // credentials are looked for, so that none can hide an address.
    static std::string normalize(const std::optional<std::string>& title);

    // The normalised key; nothing when nothing is left.
    static std::optional<std::string> key(const std::optional<std::string>& title);

    // Invisible code points (zero-width and other format characters) removed, then whitespace and
    // newlines trimmed.
    static std::string stripForKey(std::string_view text);

    // Whether the application is one of the browsers.
    static bool isBrowser(const std::optional<std::string>& bundleID);

    // The window title without the application's tail; for Preview and the document viewers the
    // document's file name when its file URL is known.
    static std::optional<std::string> documentTitle(const std::optional<std::string>& title,
                                                    const std::optional<std::string>& bundleID,
                                                    const std::optional<std::string>& documentURL);

    // `documentTitle` without a document URL.
    static std::optional<std::string> contextTitle(const std::optional<std::string>& title,
                                                   const std::optional<std::string>& bundleID);

  private:
    // The file name of a local file URL, composed (NFC).
    static std::optional<std::string> fileName(const std::optional<std::string>& url);
};

}  // namespace parlendo
