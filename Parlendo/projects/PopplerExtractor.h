#pragma once

#include "projects/ExtractedPDF.h"

#include <string>

namespace parlendo {

// Reads a PDF with poppler-glib: page texts under the page and document limits, the title and
// the outline, whose go-to destinations (named ones included) are resolved to pages. Only regular
// files are opened. Stateless; any thread (the project service runs it off the main loop).
class PopplerExtractor final : public PDFExtracting {
  public:
    // The most outline items read from the file in all, however often the outline's lists
    // repeat; past it no further lists are opened.
    static constexpr int outlineItemBudget = 100000;

    Result<ExtractedPDF, DriveFailure> extract(const std::string& path) const override;
};

}  // namespace parlendo
