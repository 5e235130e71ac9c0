#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace parlendo::testing {

// PDFs made by the tests themselves: with cairo's PDF surface (text in any script, outlines with
// page links and named destinations, a title), or object by object (crop boxes, page rotation,
// outline actions, loops and other damage), and changed with qpdf.
namespace TestPdf {

struct Page {
    double width = 595;
    double height = 842;
    std::vector<std::string> lines;
    // A named destination placed on this page.
    std::optional<std::string> destination;
};

struct OutlineItem {
    std::string title;
    int parent = 0;    // 1-based index of the parent item in the list, 0 for the top level
    std::string link;  // cairo link attributes: "page=3" or "dest='name'"
};

struct Document {
    std::vector<Page> pages;
    std::vector<OutlineItem> outline;
    std::optional<std::string> title;
    std::string font = "Noto Sans CJK KR";
    double fontSize = 11;
};

// Writes the document with cairo; false when cairo reports an error.
bool write(const std::filesystem::path& path, const Document& document);

// `count` pages of English prose, `lines` lines each; page n starts with "Page n.".
Document prose(int count, int lines = 40);

// A PDF written object by object. Objects are numbered from 1 in the order they are added.
class Raw {
  public:
    int add(std::string body);
    // Reserves a number whose body is set later.
    int reserve();
    void set(int number, std::string body);
    // A stream object's text: the dictionary entries (without << >>) and the data.
    static std::string stream(const std::string& entries, const std::string& data);
    // The whole file, with a correct cross-reference table, for the catalog `root`.
    std::string bytes(int root, int info = 0) const;
    bool write(const std::filesystem::path& path, int root, int info = 0) const;

  private:
    std::vector<std::string> objects_;
};

// A raw document of `count` pages sharing one content stream that shows `text` in Helvetica;
// `pageExtra` is added to every page dictionary (a /CropBox, a /Rotate) and `catalogExtra` to the
// catalog (an /Outlines, /Names).
struct RawDocument {
    Raw raw;
    int catalog = 0;
    int pages = 0;
    std::vector<int> pageObjects;
};
RawDocument rawDocument(int count, const std::string& text, const std::string& pageExtra = "",
                        const std::string& mediaBox = "[0 0 612 792]");
// The same with a content stream of its own (font /F1 is Helvetica).
RawDocument rawDocumentDrawing(int count, const std::string& content,
                               const std::string& pageExtra = "",
                               const std::string& mediaBox = "[0 0 612 792]");
// Finishes the catalog with `catalogExtra` and writes the file.
bool writeRaw(RawDocument& document, const std::filesystem::path& path,
              const std::string& catalogExtra = "");

// Runs qpdf with these arguments; its exit status (0 success, 3 success with warnings).
int qpdf(const std::vector<std::string>& arguments);

}  // namespace TestPdf
}  // namespace parlendo::testing
