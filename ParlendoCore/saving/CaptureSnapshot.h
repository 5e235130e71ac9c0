#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace parlendo {

// Names a window well enough to notice that the front window changed during a read.
struct WindowIdentity {
    std::int32_t pid = 0;
    // The application's identifier, "?" when it has none.
    std::string bundleID = "?";
    // The focused window's title.
    std::optional<std::string> title;

    WindowIdentity() = default;
    WindowIdentity(std::int32_t pid, std::string bundleID, std::optional<std::string> title);

    bool operator==(const WindowIdentity&) const = default;
};

// One captured selection: what was selected, when, and in which window, document or web page.
// Built once by the capture controller and read by the pipeline, the source resolver and the
// savers. Plain data, safe to copy between threads.
struct CaptureSnapshot {
    // Identity of this capture (an upper-case UUID).
    std::string id;
    // The selection exactly as fetched (not stripped).
    std::string text;
    // Wall-clock seconds at which the chord was accepted.
    double capturedAt = 0;
    // The window read before the fetch.
    std::optional<WindowIdentity> window;
    // The window title, in Unicode normalisation form C.
    std::optional<std::string> title;
    // File URL of the window's document, when the application reports one.
    std::optional<std::string> documentURL;
    // Web page address: only in browsers, and only when the window did not change during the read.
    std::optional<std::string> webURL;

    // Stores the fields, the title through `acceptTitle`.
    CaptureSnapshot(std::string id, std::string text, double capturedAt,
                    std::optional<WindowIdentity> window, std::optional<std::string> title,
                    std::optional<std::string> documentURL, std::optional<std::string> webURL);

    // Nothing for nothing, else the title composed (NFC).
    static std::optional<std::string> acceptTitle(const std::optional<std::string>& title);

    // The address to store as the capture's source: the web address, else the document URL,
    // without fragment and tracking parameters; a local file in its standard file URL form.
    std::optional<std::string> sourceURL() const;

    bool operator==(const CaptureSnapshot&) const = default;
};

// Decides whether an address read from a window can be trusted: only when the window was the same
// before and after the read.
struct SourceStability {
    // `url` when it, `before` and `after` are all present and both identities have the same pid,
    // application and title (two missing titles count as the same); otherwise nothing.
    static std::optional<std::string> stableURL(const std::optional<WindowIdentity>& before,
                                                const std::optional<WindowIdentity>& after,
                                                const std::optional<std::string>& url);
};

}  // namespace parlendo
