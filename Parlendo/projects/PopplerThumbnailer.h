#pragma once

#include "projects/PDFThumbnailing.h"

#include <string>

namespace parlendo {

// Draws page 1 of a PDF with poppler-glib on a white cairo RGB24 surface (no alpha): the crop box,
// turned by the page's rotation, fitted into `width` × ThumbnailSize::maxHeight, as PNG bytes.
// Stateless; any thread.
class PopplerThumbnailer final : public PDFThumbnailing {
  public:
    Result<std::string, DriveFailure> firstPagePNG(const std::string& path,
                                                   int width) const override;
};

}  // namespace parlendo
