#include <gtest/gtest.h>

#include "saving/CaptureSnapshot.h"

#include <optional>
#include <string>

namespace parlendo {
namespace {

CaptureSnapshot snapshotWith(std::optional<std::string> documentURL,
                             std::optional<std::string> webURL,
                             std::optional<std::string> title = std::nullopt) {
    return CaptureSnapshot("ID", " text ", 100.0, WindowIdentity(7, "org.example", "T"),
                           std::move(title), std::move(documentURL), std::move(webURL));
}

TEST(SourceStability, KeepsTheAddressOnlyWhenTheWindowStayedTheSame) {
    const WindowIdentity window(42, "com.google.Chrome", "Page");
    const std::optional<std::string> url = "https://example.com/";
    struct Case {
        const char* name;
        std::optional<WindowIdentity> before;
        std::optional<WindowIdentity> after;
        std::optional<std::string> url;
        bool kept;
    };
    const Case cases[] = {
        {"same window", window, window, url, true},
        {"no titles on both sides", WindowIdentity(42, "b", std::nullopt),
         WindowIdentity(42, "b", std::nullopt), url, true},
        {"title changed", window, WindowIdentity(42, "com.google.Chrome", "Other"), url, false},
        {"title went missing", window, WindowIdentity(42, "com.google.Chrome", std::nullopt), url,
         false},
        {"other process", window, WindowIdentity(43, "com.google.Chrome", "Page"), url, false},
        {"other application", window, WindowIdentity(42, "org.mozilla.firefox", "Page"), url,
         false},
        {"no window before", std::nullopt, window, url, false},
        {"no window after", window, std::nullopt, url, false},
        {"no address", window, window, std::nullopt, false},
    };
    for (const Case& c : cases) {
        const auto got = SourceStability::stableURL(c.before, c.after, c.url);
        EXPECT_EQ(got, c.kept ? c.url : std::nullopt) << c.name;
    }
}

TEST(CaptureSnapshot, StoresTheTitleComposed) {
    // 한 written as conjoining jamo, then a decomposed e-acute.
    const auto snapshot = snapshotWith(std::nullopt, std::nullopt, "\u1112\u1161\u11ABe\u0301");
    EXPECT_EQ(snapshot.title, "\uD55C\u00E9");
    EXPECT_EQ(snapshot.text, " text ");
    EXPECT_EQ(snapshotWith(std::nullopt, std::nullopt).title, std::nullopt);
    // Invalid UTF-8 in a title is stored as replacement characters, never as broken bytes.
    EXPECT_EQ(CaptureSnapshot::acceptTitle(std::string("a\xFF\xC3")), "a\uFFFD\uFFFD");
}

TEST(CaptureSnapshot, SourceURLPrefersTheWebAddressAndStandardisesLocalFiles) {
    struct Case {
        const char* name;
        std::optional<std::string> documentURL;
        std::optional<std::string> webURL;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {"nothing", std::nullopt, std::nullopt, std::nullopt},
        {"both empty", "", "", std::nullopt},
        {"web address wins", "file:///tmp/a.pdf", "https://example.com/a?utm_source=x#top",
         "https://example.com/a"},
        {"empty web address falls back", "file:///tmp/a.pdf", "", "file:///tmp/a.pdf"},
        {"plain file path", "file:///Users/me/My%20Doc.pdf", std::nullopt,
         "file:///Users/me/My%20Doc.pdf"},
        {"file URL in any spelling", "FILE:///tmp/a%2Db%20c.pdf#page=3", std::nullopt,
         "file:///tmp/a-b%20c.pdf"},
        {"Korean file name", "file:///tmp/\uD55C.pdf", std::nullopt, "file:///tmp/%ED%95%9C.pdf"},
        {"directory", "file:///tmp/dir/", std::nullopt, "file:///tmp/dir/"},
        {"file URL with a host stays cleaned", "file://host/a.pdf#x", std::nullopt,
         "file://host/a.pdf"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(snapshotWith(c.documentURL, c.webURL).sourceURL(), c.expected) << c.name;
    }
}

}  // namespace
}  // namespace parlendo
