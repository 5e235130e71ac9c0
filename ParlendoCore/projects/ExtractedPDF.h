#pragma once

#include "foundation/Result.h"
#include "projects/DriveFailure.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace parlendo {

// One kept outline item: its label as the PDF gives it, the depth it was found at (1 for the
// children of the outline root) and the 1-based page it points to.
struct OutlineEntry {
    std::string title;
    int level = 1;
    int page = 1;
    bool operator==(const OutlineEntry&) const = default;
};

// What is read from a PDF before it is uploaded.
struct ExtractedPDF {
    std::string fileName;                 // DriveText::fileName of sourcePath
    std::optional<std::string> docTitle;  // cleaned, trimmed, at most docTitleMax scalars
    std::vector<std::string> pages;       // page 1 first
    std::vector<OutlineEntry> outline;    // depth first, parents before their children
    std::string sourcePath;               // the absolute, standardised path that was read
};

// Reads a PDF's page texts, title and outline. Synchronous and stateless; called off the main
// thread, from any thread. Fails with file_not_found, pdf_unreadable, page_count_out_of_range,
// page_text_too_long or user_text_quota_exceeded.
class PDFExtracting {
  public:
    virtual ~PDFExtracting() = default;
    virtual Result<ExtractedPDF, DriveFailure> extract(const std::string& path) const = 0;
};

// One item of a PDF outline as the outline walk sees it. Called on the extracting thread.
class OutlineNode {
  public:
    virtual ~OutlineNode() = default;
    virtual int childCount() const = 0;
    // The child at `index`, or nullptr when the document gives none.
    virtual std::unique_ptr<OutlineNode> child(int index) const = 0;
    virtual std::string label() const = 0;
    // The 1-based page the item points to; nullopt when it points to no page of its document.
    virtual std::optional<int> page() const = 0;
};

}  // namespace parlendo
