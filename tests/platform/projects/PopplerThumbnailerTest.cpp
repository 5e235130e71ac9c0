#include "FakeClock.h"
#include "FakeServerCalling.h"
#include "FakeSession.h"
#include "LogCapture.h"
#include "ManualExecutor.h"
#include "TempDir.h"
#include "TestPdf.h"
#include "foundation/Base64.h"
#include "projects/DriveThumbnails.h"
#include "projects/FileBookmarks.h"
#include "projects/PopplerExtractor.h"
#include "projects/PopplerThumbnailer.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fstream>

namespace parlendo {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;
namespace TestPdf = testing::TestPdf;

// A decoded PNG: its size and how dark its regions are.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;  // 0x00RRGGBB

    static Picture decode(const std::string& png) {
        struct Reader {
            const std::string* data;
            size_t at = 0;
        } reader{&png};
        auto read = [](void* closure, unsigned char* out, unsigned int length) {
            auto* r = static_cast<Reader*>(closure);
            if (r->at + length > r->data->size()) {
                return CAIRO_STATUS_READ_ERROR;
            }
            std::memcpy(out, r->data->data() + r->at, length);
            r->at += length;
            return CAIRO_STATUS_SUCCESS;
        };
        cairo_surface_t* surface = cairo_image_surface_create_from_png_stream(read, &reader);
        Picture picture;
        if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
            picture.width = cairo_image_surface_get_width(surface);
            picture.height = cairo_image_surface_get_height(surface);
            const int stride = cairo_image_surface_get_stride(surface);
            const unsigned char* data = cairo_image_surface_get_data(surface);
            for (int y = 0; y < picture.height; ++y) {
                const auto* row = reinterpret_cast<const uint32_t*>(data + y * stride);
                for (int x = 0; x < picture.width; ++x) {
                    picture.pixels.push_back(row[x] & 0xFFFFFF);
                }
            }
        }
        cairo_surface_destroy(surface);
        return picture;
    }

    // Pixels of the region (fractions of the picture) that are not white.
    int marked(double x0, double y0, double x1, double y1, uint32_t colour = 0xFFFFFFFF) const {
        int count = 0;
        for (int y = static_cast<int>(y0 * height); y < static_cast<int>(y1 * height); ++y) {
            for (int x = static_cast<int>(x0 * width); x < static_cast<int>(x1 * width); ++x) {
                const uint32_t p = pixels[static_cast<size_t>(y * width + x)];
                count += colour == 0xFFFFFFFF ? p != 0xFFFFFF : p == colour;
            }
        }
        return count;
    }
};

struct PopplerThumbnailerTest : ::testing::Test {
    TempDir dir;
    PopplerThumbnailer thumbnailer;

    // Keeps a picture in the test's output folder, for a look by eye.
    static void keep(const std::string& name, const std::string& png) {
        const fs::path folder = fs::current_path() / "test-output" / "projects";
        fs::create_directories(folder);
        std::ofstream(folder / name, std::ios::binary | std::ios::trunc) << png;
    }

    Picture draw(const fs::path& pdf, const std::string& name) {
        auto png = thumbnailer.firstPagePNG(pdf.string(), 240);
        EXPECT_TRUE(png) << name;
        if (!png) {
            return {};
        }
        keep(name, *png);
        Picture picture = Picture::decode(*png);
        EXPECT_GT(picture.marked(0, 0, 1, 1), 0) << name << " is blank";
        return picture;
    }
};

TEST_F(PopplerThumbnailerTest, PortraitAndLandscapePagesFitTheWidth) {
    TestPdf::Document portrait;
    portrait.pages = {{595, 842, {"First page 첫 쪽", "with some text"}, std::nullopt}};
    ASSERT_TRUE(TestPdf::write(dir.path() / "a4.pdf", portrait));
    const Picture a4 = draw(dir.path() / "a4.pdf", "a4.png");
    EXPECT_EQ(a4.width, 240);
    EXPECT_EQ(a4.height, 340);
    EXPECT_GT(a4.marked(0, 0, 0.5, 0.2), 0);  // the text is at the top left
    EXPECT_EQ(a4.marked(0, 0.5, 1, 1), 0);

    TestPdf::Document landscape;
    landscape.pages = {{842, 595, {"Landscape"}, std::nullopt}};
    ASSERT_TRUE(TestPdf::write(dir.path() / "wide.pdf", landscape));
    const Picture wide = draw(dir.path() / "wide.pdf", "landscape.png");
    EXPECT_EQ(wide.width, 240);
    EXPECT_EQ(wide.height, 170);
}

TEST_F(PopplerThumbnailerTest, TheCropBoxAndTheRotationAreApplied) {
    // A black square at the bottom left of the crop box, a red one outside it.
    const std::string content = "0 0 0 rg 0 0 100 100 re f 1 0 0 rg 400 700 100 50 re f";
    auto cropped = TestPdf::rawDocumentDrawing(1, content, "/CropBox [0 0 300 600]");
    ASSERT_TRUE(TestPdf::writeRaw(cropped, dir.path() / "cropped.pdf"));
    const Picture crop = draw(dir.path() / "cropped.pdf", "cropped.png");
    EXPECT_EQ(crop.width, 240);
    EXPECT_EQ(crop.height, 480);
    EXPECT_EQ(crop.marked(0, 0, 1, 1, 0xFF0000), 0);
    EXPECT_GT(crop.marked(0, 0.85, 0.3, 1), 1000);  // bottom left

    // The same page turned by 90 degrees: the bottom left comes to the top left.
    auto turned = TestPdf::rawDocumentDrawing(1, content, "/CropBox [0 0 300 600] /Rotate 90");
    ASSERT_TRUE(TestPdf::writeRaw(turned, dir.path() / "turned.pdf"));
    const Picture rotated = draw(dir.path() / "turned.pdf", "rotated.png");
    EXPECT_EQ(rotated.width, 240);
    EXPECT_EQ(rotated.height, 120);
    EXPECT_GT(rotated.marked(0, 0, 0.15, 0.3), 300);
    EXPECT_EQ(rotated.marked(0.5, 0.5, 1, 1), 0);

    auto backwards = TestPdf::rawDocumentDrawing(1, content, "/Rotate -90");
    ASSERT_TRUE(TestPdf::writeRaw(backwards, dir.path() / "minus.pdf"));
    const Picture minus = draw(dir.path() / "minus.pdf", "rotated-minus.png");
    EXPECT_EQ(minus.width, 240);
    EXPECT_EQ(minus.height, 185);  // 792 × 612 turned: 240 × 185.45
}

TEST_F(PopplerThumbnailerTest, UnreadableFilesFail) {
    auto plain = TestPdf::rawDocument(1, "secret");
    ASSERT_TRUE(TestPdf::writeRaw(plain, dir.path() / "plain.pdf"));
    ASSERT_EQ(
        TestPdf::qpdf({"--encrypt", "pw", "owner", "256", "--", (dir.path() / "plain.pdf").string(),
                       (dir.path() / "locked.pdf").string()}),
        0);
    EXPECT_EQ(thumbnailer.firstPagePNG((dir.path() / "locked.pdf").string(), 240).error(),
              DriveFailure("pdf_unreadable"));
    auto none = TestPdf::rawDocument(0, "");
    ASSERT_TRUE(TestPdf::writeRaw(none, dir.path() / "none.pdf"));
    EXPECT_FALSE(thumbnailer.firstPagePNG((dir.path() / "none.pdf").string(), 240));
    auto flat = TestPdf::rawDocument(1, "x", "", "[0 0 612 0]");
    ASSERT_TRUE(TestPdf::writeRaw(flat, dir.path() / "flat.pdf"));
    EXPECT_FALSE(thumbnailer.firstPagePNG((dir.path() / "flat.pdf").string(), 240));
    dir.write("text.pdf", "not a pdf");
    EXPECT_FALSE(thumbnailer.firstPagePNG((dir.path() / "text.pdf").string(), 240));
}

// The thumbnail maker over the real renderer: drawn once, then answered from the cache.
TEST_F(PopplerThumbnailerTest, TheMakerCachesTheDrawnPicture) {
    testing::LogCapture log;
    auto clock = std::make_shared<testing::FakeClock>();
    auto work = std::make_shared<testing::ManualExecutor>(clock);
    auto session = std::make_shared<testing::FakeSession>("user-1");
    auto local = std::make_shared<DriveLocalStore>(dir.path());
    auto copies = std::make_shared<PageCopyStore>(dir.path(), clock);
    auto links = std::make_shared<FileBookmarks>(dir.path() / "Trash");
    auto service =
        std::make_shared<DriveService>(std::make_shared<testing::FakeServerCalling>(), session,
                                       local, copies, links, std::make_shared<PopplerExtractor>(),
                                       std::nullopt, DriveService::Runtime{work, work, clock});
    auto maker = std::make_shared<DriveThumbnails>(service, copies, session,
                                                   std::make_shared<PopplerThumbnailer>(),
                                                   DriveThumbnails::maxPDFBytes, work, clock);
    ASSERT_TRUE(TestPdf::write(dir.path() / "doc.pdf", TestPdf::prose(2, 20)));
    ASSERT_TRUE(
        local->setSource("d1", *links->bookmark((dir.path() / "doc.pdf").string()), "user-1"));
    auto ask = [&] {
        std::optional<Result<Json, CallFailure>> answer;
        maker->thumbnail("d1", [&](auto r) { answer = std::move(r); });
        work->runAll();
        return answer;
    };
    auto first = ask();
    ASSERT_TRUE(first && *first);
    EXPECT_EQ((*first)->at("state"), "ok");
    auto png = Base64::decode((*first)->at("png").get<std::string>());
    ASSERT_TRUE(png);
    keep("maker.png", *png);
    EXPECT_EQ(Picture::decode(*png).width, 240);
    auto second = ask();
    EXPECT_EQ(**second, **first);
    EXPECT_TRUE(log.contains("drive", "표지 state=ok cached=true"));
}

}  // namespace
}  // namespace parlendo
