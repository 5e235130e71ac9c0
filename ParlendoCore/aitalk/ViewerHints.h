#pragma once

#include <optional>
#include <string>
#include <vector>

namespace parlendo {

// What the viewer probe saw of the front application at the moment of a question.
struct ViewerHints {
    std::optional<std::string> bundleID;
    std::optional<std::string> title;
    // The file-system path of the document it shows.
    std::optional<std::string> documentPath;
    // 1-based pages that hold the selection, and those on screen.
    std::vector<int> selectionPages;
    std::vector<int> visiblePages;
    // How far the probe got: "none", "document_only", "page_frames", "preview_lines".
    std::string route = "none";
    // How long the probe took, in milliseconds.
    double ms = 0;
    bool operator==(const ViewerHints&) const = default;
};

}  // namespace parlendo
