#include "saving/CaptureSnapshot.h"

#include "foundation/Text.h"
#include "lookup/SourceURL.h"

#include <utility>

namespace parlendo {

WindowIdentity::WindowIdentity(std::int32_t pid, std::string bundleID,
                               std::optional<std::string> title)
    : pid(pid), bundleID(std::move(bundleID)), title(std::move(title)) {}

CaptureSnapshot::CaptureSnapshot(std::string id, std::string text, double capturedAt,
                                 std::optional<WindowIdentity> window,
                                 std::optional<std::string> title,
                                 std::optional<std::string> documentURL,
                                 std::optional<std::string> webURL)
    : id(std::move(id)),
      text(std::move(text)),
      capturedAt(capturedAt),
      window(std::move(window)),
      title(acceptTitle(title)),
      documentURL(std::move(documentURL)),
      webURL(std::move(webURL)) {}

std::optional<std::string> CaptureSnapshot::acceptTitle(const std::optional<std::string>& title) {
    if (!title) {
        return std::nullopt;
    }
    return text::nfc(*title);
}

std::optional<std::string> CaptureSnapshot::sourceURL() const {
    const std::string* raw = nullptr;
    if (webURL && !webURL->empty()) {
        raw = &*webURL;
    } else if (documentURL && !documentURL->empty()) {
        raw = &*documentURL;
    }
    if (raw == nullptr) {
        return std::nullopt;
    }
    // A local file gets its one standard file URL; any other address stays as cleaned.
    return SourceURL::standardFile(SourceURL::clean(*raw));
}

std::optional<std::string> SourceStability::stableURL(const std::optional<WindowIdentity>& before,
                                                      const std::optional<WindowIdentity>& after,
                                                      const std::optional<std::string>& url) {
    if (!url || !before || !after) {
        return std::nullopt;
    }
    if (before->pid != after->pid || before->bundleID != after->bundleID ||
        before->title != after->title) {
        return std::nullopt;
    }
    return url;
}

}  // namespace parlendo
