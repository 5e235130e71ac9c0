#include "TestPdf.h"

#include <cairo-pdf.h>
#include <cairo.h>
#include <spawn.h>
#include <sys/wait.h>

#include <fstream>
#include <sstream>

extern char** environ;

namespace parlendo::testing::TestPdf {

bool write(const std::filesystem::path& path, const Document& document) {
    if (document.pages.empty()) {
        return false;  // cairo always writes at least one page
    }
    const Page& first = document.pages.front();
    cairo_surface_t* surface = cairo_pdf_surface_create(path.c_str(), first.width, first.height);
    if (document.title) {
        cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_TITLE, document.title->c_str());
    }
    cairo_t* cr = cairo_create(surface);
    for (size_t n = 0; n < document.pages.size(); ++n) {
        const Page& page = document.pages[n];
        cairo_pdf_surface_set_size(surface, page.width, page.height);
        if (page.destination) {
            const std::string attributes = "name='" + *page.destination + "'";
            cairo_tag_begin(cr, CAIRO_TAG_DEST, attributes.c_str());
            cairo_tag_end(cr, CAIRO_TAG_DEST);
        }
        cairo_select_font_face(cr, document.font.c_str(), CAIRO_FONT_SLANT_NORMAL,
                               CAIRO_FONT_WEIGHT_NORMAL);
        cairo_set_font_size(cr, document.fontSize);
        cairo_set_source_rgb(cr, 0, 0, 0);
        double y = 48;
        for (const auto& line : page.lines) {
            cairo_move_to(cr, 40, y);
            cairo_show_text(cr, line.c_str());
            y += document.fontSize * 1.6;
        }
        cairo_show_page(cr);
    }
    std::vector<int> ids;
    for (const auto& item : document.outline) {
        const int parent =
            item.parent > 0 ? ids.at(static_cast<size_t>(item.parent - 1)) : CAIRO_PDF_OUTLINE_ROOT;
        ids.push_back(cairo_pdf_surface_add_outline(
            surface, parent, item.title.c_str(), item.link.c_str(), CAIRO_PDF_OUTLINE_FLAG_OPEN));
    }
    cairo_destroy(cr);
    cairo_surface_finish(surface);
    const bool ok = cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    return ok;
}

Document prose(int count, int lines) {
    static const char* sentences[] = {
        "The committee reviewed the proposal and asked for a clearer budget.",
        "Reading a paper slowly is often faster than reading it twice.",
        "Each experiment was repeated three times under the same conditions.",
        "The results suggest a modest but consistent improvement over the baseline.",
        "Further work is needed before the method can be used in practice.",
    };
    Document document;
    document.font = "DejaVu Sans";
    for (int p = 1; p <= count; ++p) {
        Page page;
        page.lines.push_back("Page " + std::to_string(p) + ".");
        for (int l = 1; l < lines; ++l) {
            page.lines.push_back(sentences[(p + l) % 5]);
        }
        document.pages.push_back(std::move(page));
    }
    return document;
}

int Raw::add(std::string body) {
    objects_.push_back(std::move(body));
    return static_cast<int>(objects_.size());
}

int Raw::reserve() {
    return add("null");
}

void Raw::set(int number, std::string body) {
    objects_.at(static_cast<size_t>(number - 1)) = std::move(body);
}

std::string Raw::stream(const std::string& entries, const std::string& data) {
    return "<< " + entries + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data +
           "\nendstream";
}

std::string Raw::bytes(int root, int info) const {
    std::string out = "%PDF-1.7\n%\xe2\xe3\xcf\xd3\n";
    std::vector<size_t> offsets;
    for (size_t i = 0; i < objects_.size(); ++i) {
        offsets.push_back(out.size());
        out += std::to_string(i + 1) + " 0 obj\n" + objects_[i] + "\nendobj\n";
    }
    const size_t xref = out.size();
    out += "xref\n0 " + std::to_string(objects_.size() + 1) + "\n0000000000 65535 f \n";
    for (size_t offset : offsets) {
        char line[32];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
        out += line;
    }
    out += "trailer\n<< /Size " + std::to_string(objects_.size() + 1) + " /Root " +
           std::to_string(root) + " 0 R";
    if (info > 0) {
        out += " /Info " + std::to_string(info) + " 0 R";
    }
    out += " >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return out;
}

bool Raw::write(const std::filesystem::path& path, int root, int info) const {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << bytes(root, info);
    return static_cast<bool>(file);
}

RawDocument rawDocument(int count, const std::string& text, const std::string& pageExtra,
                        const std::string& mediaBox) {
    return rawDocumentDrawing(count, "BT /F1 12 Tf 72 700 Td (" + text + ") Tj ET", pageExtra,
                              mediaBox);
}

RawDocument rawDocumentDrawing(int count, const std::string& contentData,
                               const std::string& pageExtra, const std::string& mediaBox) {
    RawDocument document;
    document.catalog = document.raw.reserve();
    document.pages = document.raw.reserve();
    const int font = document.raw.add("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    const int content = document.raw.add(Raw::stream("", contentData));
    std::string kids;
    for (int i = 0; i < count; ++i) {
        const int page = document.raw.add(
            "<< /Type /Page /Parent " + std::to_string(document.pages) + " 0 R /MediaBox " +
            mediaBox + " " + pageExtra + " /Resources << /Font << /F1 " + std::to_string(font) +
            " 0 R >> >> /Contents " + std::to_string(content) + " 0 R >>");
        document.pageObjects.push_back(page);
        kids += std::to_string(page) + " 0 R ";
    }
    document.raw.set(document.pages, "<< /Type /Pages /Kids [" + kids + "] /Count " +
                                         std::to_string(count) + " >>");
    return document;
}

bool writeRaw(RawDocument& document, const std::filesystem::path& path,
              const std::string& catalogExtra) {
    document.raw.set(document.catalog, "<< /Type /Catalog /Pages " +
                                           std::to_string(document.pages) + " 0 R " + catalogExtra +
                                           " >>");
    return document.raw.write(path, document.catalog);
}

int qpdf(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    std::string program = "qpdf";
    argv.push_back(program.data());
    std::vector<std::string> copies = arguments;
    for (auto& argument : copies) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, "qpdf", nullptr, nullptr, argv.data(), environ) != 0) {
        return -1;
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

}  // namespace parlendo::testing::TestPdf
