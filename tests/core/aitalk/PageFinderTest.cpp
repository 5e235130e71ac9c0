#include "AITalkRig.h"
#include "aitalk/PageFinder.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace parlendo {
namespace {

using testing::AITalkRig;
using testing::documentRow;

constexpr const char* kDocuments = "/rest/v1/drive_documents";
const ActivePopup popup{"pop-1", "d1", "설명", "물리"};

const std::vector<std::string> tenPages = [] {
    std::vector<std::string> pages;
    for (int p = 1; p <= 10; ++p) {
        pages.push_back("page " + std::to_string(p) + " holds the sentence number " +
                        std::to_string(p * 7919) + " and more");
    }
    return pages;
}();

struct FinderRig : AITalkRig {
    std::shared_ptr<PageLocator> locator = std::make_shared<PageLocator>(copies, clock);
    std::shared_ptr<PageCopySync> sync = std::make_shared<PageCopySync>(drive, work);
    std::shared_ptr<PageFinder> finder =
        std::make_shared<PageFinder>(drive, locator, sync, work, clock);

    void list(const std::vector<Json>& rows) { server->ok("GET", kDocuments, Json(rows).dump()); }
    size_t listings() const {
        size_t n = 0;
        for (const auto& call : calls(kDocuments)) {
            n += call.path.find("drive_id=eq.") != std::string::npos;
        }
        return n;
    }
    std::optional<PageHint> find(const std::string& selection, ViewerHints viewer = {}) {
        std::optional<std::optional<PageHint>> out;
        finder->find(selection, popup, viewer, [&](std::optional<PageHint> hint) { out = hint; });
        settle();
        EXPECT_TRUE(out.has_value()) << "find never answered";
        return out.value_or(std::nullopt);
    }
    void keep(const Json& row, const std::vector<std::string>& pages) {
        copies->write("user-1", row["id"], pages, row["text_sha256"]);
    }
    std::string linkedFile(const std::string& id, const std::string& name = "book.pdf") {
        const auto path = dir.write(name, "%PDF-1.4");
        local->setSource(id, *links->bookmark(path.string()), "user-1");
        return path.string();
    }
};

TEST(PageFinder, NobodySignedInFindsNothingSilently) {
    FinderRig rig;
    rig.session->setUser(std::nullopt);
    EXPECT_EQ(rig.find("some selection text"), std::nullopt);
    EXPECT_EQ(rig.server->count(), 0u);
    EXPECT_TRUE(rig.log.messages("drive").empty());
}

TEST(PageFinder, ASearchHitIsLoggedAndTheListIsKeptThirtySeconds) {
    FinderRig rig;
    auto row = documentRow("doc-1", tenPages);
    rig.list({row});
    rig.keep(row, tenPages);
    EXPECT_EQ(rig.find("holds the sentence number 39595"), (PageHint{"doc-1", 5}));
    const auto line = rig.log.startingWith("drive", "쪽 찾기 ok");
    EXPECT_TRUE(
        line.starts_with("쪽 찾기 ok route=exact viewer=none app=- doc_matched=false "
                         "sel_pages=0 visible=0 docs=1 missing=0 checked=5 viewer_ms=0 "
                         "search_ms="))
        << line;
    EXPECT_EQ(rig.find("holds the sentence number 7919 "), (PageHint{"doc-1", 1}));
    EXPECT_EQ(rig.listings(), 1u);
    rig.finder->invalidate(false);
    rig.find("holds the sentence number 7919 ");
    EXPECT_EQ(rig.listings(), 2u);
    rig.clock->advance(30);
    rig.find("holds the sentence number 7919 ");
    EXPECT_EQ(rig.listings(), 3u);
    EXPECT_TRUE(rig.calls(kDocuments).back().path.find("drive_id=eq.d1&deleted_at=is.null") !=
                std::string::npos);
}

TEST(PageFinder, OnlyReadyRowsWithIdAndHashBecomeDocuments) {
    FinderRig rig;
    Json notReady = documentRow("a", {"x"});
    notReady["status"] = "processing";
    Json noHash = documentRow("b", {"x"});
    noHash.erase("text_sha256");
    Json noCount = documentRow("c", {"x"});
    noCount.erase("page_count");
    rig.list({notReady, noHash, noCount});
    std::optional<PageFinder::DocumentsResult> out;
    rig.finder->readyDocuments("user-1", "d1", false,
                               [&](PageFinder::DocumentsResult r) { out = std::move(r); });
    ASSERT_TRUE(out && *out);
    ASSERT_EQ((*out)->first.size(), 1u);
    EXPECT_EQ((*out)->first[0].id, "c");
    EXPECT_EQ((*out)->first[0].pageCount, 0);
    EXPECT_FALSE((*out)->second);
}

TEST(PageFinder, TheFirstQuestionOfAUserPrunesOtherUsersCopies) {
    FinderRig rig;
    rig.list({});
    rig.copies->write("user-2", "theirs", {"x"}, "sha");
    rig.find("some selection text");
    EXPECT_FALSE(std::filesystem::exists(rig.dir.path() / "drive_cache" / "user-2"));
    rig.copies->write("user-2", "theirs", {"x"}, "sha");
    rig.find("some selection text");
    EXPECT_TRUE(std::filesystem::exists(rig.dir.path() / "drive_cache" / "user-2"));
    rig.finder->invalidate(true);
    rig.find("some selection text");
    EXPECT_FALSE(std::filesystem::exists(rig.dir.path() / "drive_cache" / "user-2"));
}

TEST(PageFinder, TheViewersOwnPageAnswersWhenItShowsALinkedFile) {
    FinderRig rig;
    auto row = documentRow("doc-1", tenPages);
    rig.list({row});
    ViewerHints viewer;
    viewer.documentPath = rig.linkedFile("doc-1");
    viewer.selectionPages = {3, 4};
    viewer.route = "preview_lines";
    viewer.bundleID = "org.gnome.Evince";
    EXPECT_EQ(rig.find("anything at all here", viewer), (PageHint{"doc-1", 3}));
    EXPECT_TRUE(rig.log.contains("drive",
                                 "쪽 찾기 ok route=viewer viewer=preview_lines "
                                 "app=org.gnome.Evince doc_matched=true sel_pages=2"));
    EXPECT_TRUE(rig.log.contains("drive", "missing=0 checked=0 viewer_ms=0 search_ms=0"));

    // A page outside the document falls through to the search (which has no copy here).
    viewer.selectionPages = {11};
    EXPECT_EQ(rig.find("anything at all here", viewer), std::nullopt);
    viewer.selectionPages = {0};
    EXPECT_EQ(rig.find("anything at all here", viewer), std::nullopt);
    EXPECT_EQ(rig.log.count("drive", "쪽 찾기 not_found route=no_copy"), 2u);
}

TEST(PageFinder, ADocumentWithoutPageCountTakesOnlyPageOne) {
    FinderRig rig;
    Json row = documentRow("doc-1", {"x"});
    row["page_count"] = 0;
    rig.list({row});
    ViewerHints viewer;
    viewer.documentPath = rig.linkedFile("doc-1");
    viewer.selectionPages = {1};
    EXPECT_EQ(rig.find("anything at all here", viewer), (PageHint{"doc-1", 1}));
    viewer.selectionPages = {2};
    EXPECT_EQ(rig.find("anything at all here", viewer), std::nullopt);
}

TEST(PageFinder, PathsCompareAsTheSameFile) {
    testing::TempDir dir;
    const auto file = dir.write("Caf\xC3\xA9/book.pdf", "%PDF");
    std::filesystem::create_directory_symlink(dir.path() / "Caf\xC3\xA9", dir.path() / "link");
    const std::map<std::string, std::string> linked{{"doc-1", file.string()}};
    const std::string base = dir.path().string();
    EXPECT_EQ(PageFinder::match(base + "/link/book.pdf", linked), "doc-1");
    EXPECT_EQ(PageFinder::match(base + "/Caf\xC3\xA9/./x/../book.pdf", linked), "doc-1");
    EXPECT_EQ(PageFinder::match(base + "/Cafe\xCC\x81/book.pdf", linked), "doc-1");
    EXPECT_EQ(PageFinder::match(base + "/other.pdf", linked), std::nullopt);
    EXPECT_EQ(PageFinder::match(std::string(), linked), std::nullopt);
    // A file that vanished still compares by its path.
    const std::map<std::string, std::string> gone{{"doc-2", base + "/gone/./a.pdf"}};
    EXPECT_EQ(PageFinder::match(base + "/gone/a.pdf", gone), "doc-2");
}

TEST(PageFinder, AnUnknownViewerFileOrAFruitlessSearchRefreshesACachedList) {
    FinderRig rig;
    auto row = documentRow("doc-1", tenPages);
    rig.list({row});
    rig.keep(row, tenPages);
    rig.find("holds the sentence number 7919 ");  // fills the cache
    ViewerHints viewer;
    viewer.documentPath = "/nowhere/else.pdf";
    // The fresh list has the same ids: the cached list is searched, and a miss asks once more.
    EXPECT_EQ(rig.find("no such sentence on any page", viewer), std::nullopt);
    EXPECT_EQ(rig.listings(), 3u);

    // A new document in the fresh list is searched at once.
    auto added = documentRow("doc-2", {"a brand new upload with its own words"});
    rig.keep(added, {"a brand new upload with its own words"});
    rig.list({row, added});
    rig.find("holds the sentence number 7919 ");  // cached again
    const size_t before = rig.listings();
    EXPECT_EQ(rig.find("brand new upload with its own", viewer), (PageHint{"doc-2", 1}));
    EXPECT_EQ(rig.listings(), before + 1);
}

TEST(PageFinder, MissingCopiesAreRequestedAfterTheSearch) {
    FinderRig rig;
    auto kept = documentRow("kept", {"some words"});
    auto missing1 = documentRow("miss-1", {"one"}, "d1", "2024-05");
    auto missing2 = documentRow("miss-2", {"two"}, "d1", "2024-01");
    rig.list({missing2, kept, missing1});
    rig.keep(kept, {"some words"});
    rig.server->hold(true);
    std::optional<std::optional<PageHint>> out;
    rig.finder->find("not on any page at all", popup, {}, [&](auto hint) { out = hint; });
    rig.settle();
    rig.server->releaseNext();  // the listing
    rig.settle();
    ASSERT_TRUE(out);
    EXPECT_TRUE(rig.log.contains("drive", "docs=3 missing=2"));
    EXPECT_EQ(rig.sync->running(), 2u);
    std::vector<std::string> requested;
    while (rig.server->heldCount() > 0) {
        requested.push_back(rig.server->calls().back().path);
        rig.server->releaseNext(fail(CallFailureDetail(CallFailure::timeout())));
        rig.settle();
    }
    EXPECT_EQ(requested.size(), 2u);
}

TEST(PageFinder, AFailedListingIsLoggedWithItsCode) {
    FinderRig rig;
    rig.server->failure("GET", kDocuments, CallFailureDetail(CallFailure::stale()));
    ViewerHints viewer;
    viewer.route = "page_frames";
    EXPECT_EQ(rig.find("some selection text", viewer), std::nullopt);
    EXPECT_TRUE(rig.log.has("drive", "쪽 찾기 실패 reason=stale viewer=page_frames"));
}

}  // namespace
}  // namespace parlendo
