#pragma once

#include "foundation/Result.h"
#include "projects/DriveFailure.h"

#include <string>

namespace parlendo {

// Draws page 1 of a PDF as a PNG of the given pixel width (the height follows the page, at most
// ThumbnailSize::maxHeight). Fails with pdf_unreadable. Called off the main thread, any thread.
class PDFThumbnailing {
  public:
    virtual ~PDFThumbnailing() = default;
    virtual Result<std::string, DriveFailure> firstPagePNG(const std::string& path,
                                                           int width) const = 0;
};

}  // namespace parlendo
