#include "DriveRig.h"
#include "foundation/Base64.h"
#include "projects/DriveThumbnails.h"
#include "projects/ThumbnailSize.h"

#include <sys/stat.h>
#include <unistd.h>

namespace parlendo {
namespace {

using testing::DriveRig;

// Draws "png:<path>" and counts its calls; can fail or run a hook while drawing.
struct FakeRenderer final : PDFThumbnailing {
    mutable int calls = 0;
    bool failing = false;
    std::function<void()> whileDrawing;
    Result<std::string, DriveFailure> firstPagePNG(const std::string& path,
                                                   int width) const override {
        ++calls;
        if (whileDrawing) {
            whileDrawing();
        }
        if (failing) {
            return fail(DriveFailure("pdf_unreadable"));
        }
        return "png:" + path + ":" + std::to_string(width);
    }
};

struct DriveThumbnailsTest : ::testing::Test {
    DriveRig rig;
    std::shared_ptr<FakeRenderer> renderer = std::make_shared<FakeRenderer>();
    std::shared_ptr<DriveThumbnails> thumbnails = make(DriveThumbnails::maxPDFBytes);
    std::string pdf;

    std::shared_ptr<DriveThumbnails> make(std::int64_t maxBytes) {
        return std::make_shared<DriveThumbnails>(rig.service, rig.copies, rig.session, renderer,
                                                 maxBytes, rig.work, rig.clock);
    }

    void link(const std::string& document, const std::string& content = "%PDF") {
        pdf = rig.dir.write("source.pdf", content).string();
        ASSERT_TRUE(rig.local->setSource(document, *rig.links->bookmark(pdf), "user-1"));
    }

    Result<Json, CallFailure> ask(const std::string& document,
                                  const std::shared_ptr<DriveThumbnails>& maker = nullptr) {
        std::optional<Result<Json, CallFailure>> answer;
        (maker ? maker : thumbnails)->thumbnail(document, [&](auto r) { answer = std::move(r); });
        rig.settle();
        EXPECT_TRUE(answer.has_value());
        return answer ? *answer : fail(CallFailure::badShape());
    }
    std::string state(const std::string& document) {
        auto answer = ask(document);
        return answer ? answer->at("state").get<std::string>() : "thrown";
    }
};

TEST(ThumbnailSizeTest, PagesFitTheBoxKeepingTheirShape) {
    using ThumbnailSize::Fit;
    auto size = [](double w, double h) {
        auto fit = ThumbnailSize::fit(w, h, 240, 480);
        return fit ? std::make_pair(fit->width, fit->height) : std::make_pair(0, 0);
    };
    EXPECT_EQ(size(595, 842), std::make_pair(240, 340));
    EXPECT_EQ(size(842, 595), std::make_pair(240, 170));
    EXPECT_EQ(size(100, 1000), std::make_pair(48, 480));
    EXPECT_EQ(size(10000, 1), std::make_pair(240, 1));
    EXPECT_EQ(ThumbnailSize::fit(0, 10, 240, 480), std::nullopt);
    EXPECT_EQ(ThumbnailSize::fit(10, 10, 0, 480), std::nullopt);
    EXPECT_DOUBLE_EQ(ThumbnailSize::fit(100, 1000, 240, 480)->scale, 0.48);
}

TEST_F(DriveThumbnailsTest, ADrawnPictureIsCachedUntilThePDFIsNewer) {
    link("d1");
    auto first = ask("d1");
    ASSERT_TRUE(first);
    EXPECT_EQ(first->at("state"), "ok");
    EXPECT_EQ(Base64::decode(first->at("png").get<std::string>()), "png:" + pdf + ":240");
    EXPECT_TRUE(rig.log.contains("drive", "표지 state=ok cached=false ms="));
    ASSERT_TRUE(std::filesystem::exists(*rig.copies->thumbnailPath("user-1", "d1")));

    auto second = ask("d1");
    EXPECT_EQ(*second, *first);
    EXPECT_EQ(renderer->calls, 1);
    EXPECT_TRUE(rig.log.contains("drive", "표지 state=ok cached=true ms="));

    // The PDF changes after the picture was made: drawn again.
    const auto later =
        std::filesystem::last_write_time(*rig.copies->thumbnailPath("user-1", "d1")) +
        std::chrono::seconds(5);
    std::filesystem::last_write_time(pdf, later);
    ask("d1");
    EXPECT_EQ(renderer->calls, 2);
}

TEST_F(DriveThumbnailsTest, StatesForEveryMissingPiece) {
    EXPECT_EQ(state(""), "error");
    EXPECT_EQ(state("no-link"), "unknown");
    ASSERT_TRUE(rig.local->setSource("bad-mark", "garbage", "user-1"));
    EXPECT_EQ(state("bad-mark"), "missing");
    link("d1");
    std::filesystem::remove(pdf);
    EXPECT_EQ(state("d1"), "missing");
    rig.session->setUser(std::nullopt);
    EXPECT_EQ(state("d1"), "error");
    EXPECT_EQ(renderer->calls, 0);
    EXPECT_TRUE(rig.log.contains("drive", "표지 state=unknown cached=false"));
}

TEST_F(DriveThumbnailsTest, FailuresOfTheFileOrTheDrawing) {
    link("d1", std::string(100, 'x'));
    EXPECT_EQ(state("d1"), "ok");
    EXPECT_EQ(ask("d1", make(99))->at("state"), "failed");  // one byte over the limit
    std::filesystem::last_write_time(
        pdf, std::filesystem::file_time_type::clock::now() + std::chrono::hours(1));
    EXPECT_EQ(ask("d1", make(100))->at("state"), "ok");  // exactly at the limit
    renderer->failing = true;
    std::filesystem::last_write_time(
        pdf, std::filesystem::file_time_type::clock::now() + std::chrono::hours(2));
    EXPECT_EQ(state("d1"), "failed");
}

TEST_F(DriveThumbnailsTest, AnAccountSwitchWhileDrawingSavesNothing) {
    link("d1");
    renderer->whileDrawing = [&] {
        rig.session->setUser("user-2");
    };
    auto answer = ask("d1");
    ASSERT_FALSE(answer);
    EXPECT_EQ(answer.error(), CallFailure::stale());
    EXPECT_FALSE(std::filesystem::exists(*rig.copies->thumbnailPath("user-1", "d1")));

    // Switched away while drawing and back before the answer: still dropped, and logged.
    renderer->whileDrawing = nullptr;
    rig.session->setUser("user-1");
    std::filesystem::last_write_time(
        pdf, std::filesystem::file_time_type::clock::now() + std::chrono::hours(1));
    int first = -1;
    rig.session->setOnRead([&first](int read, std::optional<std::string>& user) {
        first = first < 0 ? read : first;
        if (read - first == 1) {
            user = "user-2";  // read after drawing
        } else if (read - first == 2) {
            user = "user-1";  // read before answering
        }
    });
    auto again = ask("d1");
    EXPECT_FALSE(again);
    EXPECT_TRUE(rig.log.has("drive", "표지 버림 — 그리는 사이 계정이 바뀜"));
    EXPECT_FALSE(std::filesystem::exists(*rig.copies->thumbnailPath("user-1", "d1")));
}

}  // namespace
}  // namespace parlendo
