#include "LogCapture.h"
#include "TempDir.h"
#include "TestPdf.h"
#include "projects/DriveToc.h"
#include "projects/PopplerExtractor.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <fstream>

namespace parlendo {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;
namespace TestPdf = testing::TestPdf;

struct PopplerExtractorTest : ::testing::Test {
    TempDir dir;
    PopplerExtractor extractor;
    testing::LogCapture log;

    fs::path path(const std::string& name) const { return dir.path() / name; }

    Result<ExtractedPDF, DriveFailure> extract(const fs::path& file) const {
        return extractor.extract(file.string());
    }
    static std::string code(const Result<ExtractedPDF, DriveFailure>& result) {
        return result ? "ok" : result.error().code;
    }
};

TEST_F(PopplerExtractorTest, KoreanAndEnglishTextTitleAndNestedOutline) {
    TestPdf::Document document;
    document.title = "  논문 제목 — A Study  ";
    document.pages = {{595, 842, {"Introduction to reading", "읽기의 시작"}, "intro"},
                      {595, 842, {"Second page: 두 번째 쪽"}, std::nullopt},
                      {595, 842, {"Methods"}, "methods"},
                      {595, 842, {"Results 결과"}, std::nullopt}};
    document.outline = {{"서론", 0, "dest='intro'"},
                        {"Background", 1, "page=2"},
                        {"Methods", 0, "dest='methods'"},
                        {"Detail", 3, "page=4"},
                        {"Deeper", 4, "page=4"}};
    ASSERT_TRUE(TestPdf::write(path("paper.pdf"), document));

    auto pdf = extract(path("paper.pdf"));
    ASSERT_TRUE(pdf) << pdf.error().code;
    ASSERT_EQ(pdf->pages.size(), 4u);
    EXPECT_NE(pdf->pages[0].find("Introduction to reading"), std::string::npos) << pdf->pages[0];
    EXPECT_NE(pdf->pages[0].find("읽기의 시작"), std::string::npos) << pdf->pages[0];
    EXPECT_NE(pdf->pages[1].find("두 번째 쪽"), std::string::npos) << pdf->pages[1];
    EXPECT_EQ(pdf->docTitle, "논문 제목 — A Study");
    EXPECT_EQ(pdf->fileName, "paper.pdf");
    EXPECT_EQ(pdf->sourcePath, path("paper.pdf").string());
    EXPECT_EQ(pdf->outline, (std::vector<OutlineEntry>{{"서론", 1, 1},
                                                       {"Background", 2, 2},
                                                       {"Methods", 1, 3},
                                                       {"Detail", 2, 4},
                                                       {"Deeper", 3, 4}}));
    const auto toc = DriveToc::build(pdf->outline, 4);
    ASSERT_TRUE(std::holds_alternative<DriveToc::Items>(toc));
}

// A raw document whose outline items point to pages through a named destination, a go-to action,
// a plain destination, nothing at all (with a child) and a page outside the document.
TEST_F(PopplerExtractorTest, OutlineDestinationsActionsAndNames) {
    auto document = TestPdf::rawDocument(3, "Outline test");
    auto& raw = document.raw;
    const auto ref = [](int n) {
        return std::to_string(n) + " 0 R";
    };
    const int outlines = raw.reserve();
    const int named = raw.reserve();
    const int action = raw.reserve();
    const int plain = raw.reserve();
    const int none = raw.reserve();
    const int orphan = raw.reserve();
    const int outside = raw.reserve();
    const std::string page2 = ref(document.pageObjects[1]);
    const std::string page3 = ref(document.pageObjects[2]);
    raw.set(outlines,
            "<< /Type /Outlines /First " + ref(named) + " /Last " + ref(outside) + " /Count 5 >>");
    raw.set(named, "<< /Title (Named) /Parent " + ref(outlines) + " /Next " + ref(action) +
                       " /Dest (chapter-3) >>");
    raw.set(action, "<< /Title (Action) /Parent " + ref(outlines) + " /Prev " + ref(named) +
                        " /Next " + ref(plain) + " /A << /S /GoTo /D [" + page2 + " /Fit] >> >>");
    raw.set(plain, "<< /Title (Plain) /Parent " + ref(outlines) + " /Prev " + ref(action) +
                       " /Next " + ref(none) + " /Dest [" + page3 + " /XYZ 0 0 0] >>");
    raw.set(none, "<< /Title (No page) /Parent " + ref(outlines) + " /Prev " + ref(plain) +
                      " /Next " + ref(outside) + " /First " + ref(orphan) + " /Last " +
                      ref(orphan) + " /Count 1 >>");
    raw.set(orphan, "<< /Title (Orphan) /Parent " + ref(none) + " /Dest [" + page2 + " /Fit] >>");
    raw.set(outside, "<< /Title (Outside) /Parent " + ref(outlines) + " /Prev " + ref(none) +
                         " /Dest [9 /Fit] >>");
    const int dests = raw.add("<< /Names [(chapter-3) [" + page3 + " /Fit]] >>");
    ASSERT_TRUE(TestPdf::writeRaw(
        document, path("outline.pdf"),
        "/Outlines " + ref(outlines) + " /Names << /Dests " + ref(dests) + " >>"));
    auto pdf = extract(path("outline.pdf"));
    ASSERT_TRUE(pdf) << pdf.error().code;
    EXPECT_EQ(pdf->outline,
              (std::vector<OutlineEntry>{
                  {"Named", 1, 3}, {"Action", 1, 2}, {"Plain", 1, 3}, {"Orphan", 2, 2}}));
    EXPECT_EQ(pdf->docTitle, std::nullopt);
    EXPECT_NE(pdf->pages[2].find("Outline test"), std::string::npos);
}

TEST_F(PopplerExtractorTest, PathsThatAreNotLocalPDFFiles) {
    ASSERT_TRUE(TestPdf::write(path("UPPER.PDF"), TestPdf::prose(1, 3)));
    EXPECT_EQ(code(extract(path("UPPER.PDF"))), "ok");
    EXPECT_EQ(code(extractor.extract("relative.pdf")), "file_not_found");
    EXPECT_EQ(code(extractor.extract("/" + path("UPPER.PDF").string())), "file_not_found");
    fs::copy(path("UPPER.PDF"), path("copy.pdf.txt"));
    EXPECT_EQ(code(extract(path("copy.pdf.txt"))), "file_not_found");
    fs::create_directory(path("folder.pdf"));
    EXPECT_EQ(code(extract(path("folder.pdf"))), "file_not_found");
    EXPECT_EQ(code(extract(path("missing.pdf"))), "file_not_found");
    // A pipe named like a PDF is refused rather than read (it would never end).
    ASSERT_EQ(::mkfifo(path("pipe.pdf").c_str(), 0600), 0);
    EXPECT_EQ(code(extract(path("pipe.pdf"))), "file_not_found");
}

TEST_F(PopplerExtractorTest, APathThatIsNotUTF8IsReadByItsBytes) {
    const fs::path odd = dir.path() / std::string("caf\xe9 \xff.pdf");
    ASSERT_TRUE(TestPdf::write(odd, TestPdf::prose(2, 3)));
    auto pdf = extract(odd);
    ASSERT_TRUE(pdf) << pdf.error().code;
    EXPECT_EQ(pdf->sourcePath, odd.string());
    EXPECT_EQ(pdf->pages.size(), 2u);
}

TEST_F(PopplerExtractorTest, EncryptedDamagedAndForeignFiles) {
    ASSERT_TRUE(TestPdf::write(path("plain.pdf"), TestPdf::prose(2, 5)));
    const std::string plain = path("plain.pdf").string();
    ASSERT_EQ(TestPdf::qpdf(
                  {"--encrypt", "", "owner-secret", "256", "--", plain, path("open.pdf").string()}),
              0);
    ASSERT_EQ(TestPdf::qpdf({"--encrypt", "user-secret", "owner-secret", "256", "--", plain,
                             path("locked.pdf").string()}),
              0);
    auto open = extract(path("open.pdf"));
    ASSERT_TRUE(open) << open.error().code;
    EXPECT_NE(open->pages[1].find("Page 2."), std::string::npos);
    EXPECT_EQ(code(extract(path("locked.pdf"))), "pdf_unreadable");

    // A cross-reference table whose offsets are all wrong: the file is rebuilt and read.
    std::string bytes = TempDir::read(plain);
    const size_t xref = bytes.rfind("\nxref\n");
    ASSERT_NE(xref, std::string::npos);
    // Every entry "oooooooooo ggggg n" points to offset 1.
    for (size_t at = bytes.find(" 00000 n", xref); at != std::string::npos;
         at = bytes.find(" 00000 n", at + 8)) {
        bytes.replace(at - 10, 10, "0000000001");
    }
    dir.write("damaged.pdf", bytes);
    auto damaged = extract(path("damaged.pdf"));
    ASSERT_TRUE(damaged) << damaged.error().code;
    EXPECT_NE(damaged->pages[0].find("Page 1."), std::string::npos);

    dir.write("text.pdf", "This is a plain text file, not a PDF.\n");
    EXPECT_EQ(code(extract(path("text.pdf"))), "pdf_unreadable");
    dir.write("empty.pdf", "");
    EXPECT_EQ(code(extract(path("empty.pdf"))), "pdf_unreadable");

    // Half a file: whatever poppler makes of it, a clear answer and no crash.
    dir.write("truncated.pdf", TempDir::read(plain).substr(0, bytes.size() / 2));
    const auto truncated = code(extract(path("truncated.pdf")));
    EXPECT_TRUE(truncated == "ok" || truncated == "pdf_unreadable" ||
                truncated == "page_count_out_of_range")
        << truncated;
}

TEST_F(PopplerExtractorTest, PageCountLimits) {
    auto empty = TestPdf::rawDocument(0, "");
    ASSERT_TRUE(TestPdf::writeRaw(empty, path("zero.pdf")));
    EXPECT_EQ(code(extract(path("zero.pdf"))), "page_count_out_of_range");

    auto most = TestPdf::rawDocument(3000, "p");
    ASSERT_TRUE(TestPdf::writeRaw(most, path("3000.pdf")));
    auto read = extract(path("3000.pdf"));
    ASSERT_TRUE(read) << read.error().code;
    EXPECT_EQ(read->pages.size(), 3000u);

    auto over = TestPdf::rawDocument(3001, "p");
    ASSERT_TRUE(TestPdf::writeRaw(over, path("3001.pdf")));
    EXPECT_EQ(code(extract(path("3001.pdf"))), "page_count_out_of_range");

    // A page tree that claims a million pages.
    auto claims = TestPdf::rawDocument(1, "p");
    claims.raw.set(claims.pages, "<< /Type /Pages /Kids [" + std::to_string(claims.pageObjects[0]) +
                                     " 0 R] /Count 1000000 >>");
    ASSERT_TRUE(TestPdf::writeRaw(claims, path("claims.pdf")));
    const auto claimed = code(extract(path("claims.pdf")));
    EXPECT_TRUE(claimed == "ok" || claimed == "page_count_out_of_range") << claimed;

    ASSERT_TRUE(TestPdf::write(path("2000.pdf"), TestPdf::prose(2000, 2)));
    auto many = extract(path("2000.pdf"));
    ASSERT_TRUE(many) << many.error().code;
    EXPECT_EQ(many->pages.size(), 2000u);
    EXPECT_NE(many->pages[1999].find("Page 2000."), std::string::npos);
}

TEST_F(PopplerExtractorTest, EnormousPageTextIsRefused) {
    // 250 lines of 100 letters in a tiny font, all on the page.
    std::string content = "BT /F1 1 Tf 1.2 TL 20 700 Td ";
    for (int line = 0; line < 250; ++line) {
        content += "(" + std::string(100, 'a') + ") Tj T* ";
    }
    content += "ET";
    auto document = TestPdf::rawDocumentDrawing(1, content);
    ASSERT_TRUE(TestPdf::writeRaw(document, path("long.pdf")));
    EXPECT_EQ(code(extract(path("long.pdf"))), "page_text_too_long");

    // Just under the limit is read.
    std::string shorter = "BT /F1 1 Tf 1.2 TL 20 700 Td ";
    for (int line = 0; line < 150; ++line) {
        shorter += "(" + std::string(100, 'a') + ") Tj T* ";
    }
    shorter += "ET";
    auto fits = TestPdf::rawDocumentDrawing(1, shorter);
    ASSERT_TRUE(TestPdf::writeRaw(fits, path("fits.pdf")));
    auto read = extract(path("fits.pdf"));
    ASSERT_TRUE(read) << read.error().code;
    EXPECT_GE(read->pages[0].size(), 15000u);
}

// An outline whose every item lists the same chain of items as its children: a small file that
// unfolds into far more items than it holds. The walk ends, and quickly.
TEST_F(PopplerExtractorTest, OutlineLoopsAndRepeatedListsAreBounded) {
    auto document = TestPdf::rawDocument(1, "bomb");
    auto& raw = document.raw;
    const auto ref = [](int n) {
        return std::to_string(n) + " 0 R";
    };
    const int outlines = raw.reserve();
    const int count = 3000;
    std::vector<int> items;
    for (int i = 0; i < count; ++i) {
        items.push_back(raw.reserve());
    }
    const std::string page = ref(document.pageObjects[0]);
    for (int i = 0; i < count; ++i) {
        std::string body = "<< /Title (Item " + std::to_string(i) + ") /Parent " + ref(outlines) +
                           " /Dest [" + page + " /Fit] /First " + ref(items.front()) + " /Last " +
                           ref(items.back()) + " /Count 3000";
        // The last item's /Next loops back to the first.
        body += " /Next " + ref(items[static_cast<size_t>((i + 1) % count)]) + " >>";
        raw.set(items[static_cast<size_t>(i)], body);
    }
    raw.set(outlines, "<< /Type /Outlines /First " + ref(items.front()) + " /Last " +
                          ref(items.back()) + " /Count 3000 >>");
    ASSERT_TRUE(TestPdf::writeRaw(document, path("bomb.pdf"), "/Outlines " + ref(outlines)));

    const auto start = std::chrono::steady_clock::now();
    auto pdf = extract(path("bomb.pdf"));
    const auto seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_TRUE(pdf) << pdf.error().code;
    EXPECT_LT(seconds, 30.0);
    EXPECT_LE(pdf->outline.size(), 20000u);
    EXPECT_FALSE(pdf->outline.empty());
    EXPECT_TRUE(log.contains("drive", "책갈피 읽기 줄임 reason=item_budget")) << log.all();
    EXPECT_TRUE(log.contains("drive", "책갈피 모으기 멈춤 reason=too_many")) << log.all();
    const auto toc = DriveToc::build(pdf->outline, 1);
    EXPECT_FALSE(std::holds_alternative<DriveToc::None>(toc) &&
                 std::get<DriveToc::None>(toc).reason == "none");
}

}  // namespace
}  // namespace parlendo
