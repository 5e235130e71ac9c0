#include "projects/PopplerThumbnailer.h"

#include "projects/PopplerDocument.h"
#include "projects/ThumbnailSize.h"

#include <cairo.h>

#include <memory>

namespace parlendo {
namespace {

struct SurfaceDestroy {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
struct ContextDestroy {
    void operator()(cairo_t* cr) const { cairo_destroy(cr); }
};

cairo_status_t appendBytes(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

}  // namespace

Result<std::string, DriveFailure> PopplerThumbnailer::firstPagePNG(const std::string& path,
                                                                   int width) const {
    const auto unreadable = [] {
        return fail(DriveFailure("pdf_unreadable"));
    };
    auto document = openPopplerDocument(path);
    if (!document) {
        return unreadable();
    }
    PopplerPagePtr page(poppler_document_get_page(document.get(), 0));
    if (!page) {
        return unreadable();
    }
    // The crop box's size, width and height swapped for a page turned by 90 or 270 degrees.
    double pageWidth = 0;
    double pageHeight = 0;
    poppler_page_get_size(page.get(), &pageWidth, &pageHeight);
    auto fit = ThumbnailSize::fit(pageWidth, pageHeight, width, ThumbnailSize::maxHeight);
    if (!fit) {
        return unreadable();
    }
    std::unique_ptr<cairo_surface_t, SurfaceDestroy> surface(
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, fit->width, fit->height));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) {
        return unreadable();
    }
    {
        std::unique_ptr<cairo_t, ContextDestroy> cr(cairo_create(surface.get()));
        if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS) {
            return unreadable();
        }
        cairo_set_source_rgb(cr.get(), 1, 1, 1);
        cairo_paint(cr.get());
        cairo_scale(cr.get(), fit->scale, fit->scale);
        poppler_page_render(page.get(), cr.get());
        if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS) {
            return unreadable();
        }
    }
    cairo_surface_flush(surface.get());
    std::string png;
    if (cairo_surface_write_to_png_stream(surface.get(), appendBytes, &png) !=
            CAIRO_STATUS_SUCCESS ||
        png.empty()) {
        return unreadable();
    }
    return png;
}

}  // namespace parlendo
