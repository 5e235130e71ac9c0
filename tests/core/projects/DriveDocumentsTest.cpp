#include "DriveRig.h"

namespace parlendo {
namespace {

using testing::DriveRig;
using testing::textPages;

constexpr const char* kDocuments = "/rest/v1/drive_documents";

struct DriveDocumentsTest : ::testing::Test {
    DriveRig rig;
    DriveService& service() { return *rig.service; }

    // A document whose source is linked to a real file; answers the file's path.
    std::string linked(const std::string& document, const std::string& name) {
        const std::string path = rig.dir.write(name, "%PDF").string();
        EXPECT_TRUE(rig.local->setSource(document, *rig.links->bookmark(path), "user-1"));
        return path;
    }
};

TEST_F(DriveDocumentsTest, TheListShowsEachDocumentsSourceState) {
    rig.server->ok("GET", "/rest/v1/drive_drives", R"([{"id":"s1","kind":"study"}])");
    rig.server->ok("GET", kDocuments, R"([
        {"id":"d-ok","file_name":"a.pdf","doc_title":"제목","page_count":12,"toc_source":"outline",
         "status":"ready","created_at":"2026-01-01T00:00:00Z","drive_toc":[{"count":4}]},
        {"id":"d-gone","file_name":7,"page_count":"x","status":1,"drive_toc":[]},
        {"id":"d-none","drive_toc":[{"count":0}]}])");
    linked("d-ok", "a.pdf");
    const std::string gone = linked("d-gone", "gone.pdf");
    std::filesystem::remove(gone);

    const Json list = rig.value([&](auto done) { service().listDocuments("s1", std::move(done)); });
    const Json& docs = list["documents"];
    EXPECT_EQ(docs[0], (Json{{"document_id", "d-ok"},
                             {"file_name", "a.pdf"},
                             {"doc_title", "제목"},
                             {"page_count", 12},
                             {"toc_source", "outline"},
                             {"status", "ready"},
                             {"toc_count", 4},
                             {"created_at", "2026-01-01T00:00:00Z"},
                             {"source_state", "ok"}}));
    EXPECT_EQ(docs[1]["file_name"], "");
    EXPECT_EQ(docs[1]["page_count"], 0);
    EXPECT_EQ(docs[1]["status"], "");
    EXPECT_EQ(docs[1]["doc_title"], nullptr);
    EXPECT_EQ(docs[1]["source_state"], "missing");
    EXPECT_EQ(docs[2]["source_state"], "unknown");
    EXPECT_EQ(rig.server->calls().back().path,
              "/rest/v1/drive_documents?select=id,file_name,doc_title,page_count,toc_source,status,"
              "created_at,drive_toc(count)&drive_id=eq.s1&deleted_at=is.null&order=created_at.asc");

    rig.session->setUser(std::nullopt);
    const Json signedOut =
        rig.value([&](auto done) { service().listDocuments("s1", std::move(done)); });
    EXPECT_EQ(signedOut["documents"][0]["source_state"], "unknown");

    rig.server->ok("GET", kDocuments, R"([{"id":"d","drive_toc":[{"count":1},{"count":2}]}])");
    EXPECT_EQ(rig.failure([&](auto done) { service().listDocuments("s1", std::move(done)); }),
              "server_error");
    rig.server->ok("GET", "/rest/v1/drive_drives", "[]");
    EXPECT_EQ(rig.failure([&](auto done) { service().listDocuments("s1", std::move(done)); }),
              "drive_not_found");
}

TEST_F(DriveDocumentsTest, SourcePathsOnlyForUsableLinks) {
    const std::string a = linked("d1", "a.pdf");
    linked("d2", "b.txt.pdf");
    std::filesystem::remove(rig.dir.path() / "b.txt.pdf");
    ASSERT_TRUE(rig.local->setSource("d3", "garbage", "user-1"));
    EXPECT_EQ(service().sourcePaths({"d1", "d2", "d3", "d4", "d1"}),
              (std::map<std::string, std::string>{{"d1", a}}));
    rig.session->setUser(std::nullopt);
    EXPECT_TRUE(service().sourcePaths({"d1"}).empty());
}

TEST_F(DriveDocumentsTest, OpeningASourceAnswersThePathOnlyWhenItIsThere) {
    const std::string a = linked("d1", "a.pdf");
    rig.server->ok("GET", kDocuments, R"([{"id":"d1","file_name":"a.pdf"}])");
    std::optional<DriveResult<DriveService::DocumentSource>> found;
    service().documentSource("d1", [&](auto r) { found = std::move(r); });
    rig.settle();
    ASSERT_TRUE(found && *found);
    EXPECT_EQ((*found)->payload,
              (Json{{"document_id", "d1"}, {"file_name", "a.pdf"}, {"state", "ok"}}));
    EXPECT_EQ((*found)->path, a);

    // Annotated and saved in the viewer, which writes a new file and renames it over the old.
    rig.dir.write("a.pdf.tmp", "%PDF saved again");
    std::filesystem::rename(rig.dir.path() / "a.pdf.tmp", a);
    service().documentSource("d1", [&](auto r) { found = std::move(r); });
    rig.settle();
    EXPECT_EQ((*found)->payload["state"], "ok");
    EXPECT_EQ((*found)->path, a);

    std::filesystem::remove(a);
    service().documentSource("d1", [&](auto r) { found = std::move(r); });
    rig.settle();
    EXPECT_EQ((*found)->payload["state"], "missing");
    EXPECT_EQ((*found)->path, std::nullopt);

    rig.server->ok("GET", kDocuments, "[]");
    service().documentSource("d1", [&](auto r) { found = std::move(r); });
    rig.settle();
    ASSERT_FALSE(*found);
    EXPECT_EQ(DriveRig::code(found->error()), "not_found");
}

// A document saved again in its viewer has its link written anew, so that the next look needs no
// search of its folder; a link made anew meanwhile stays.
TEST_F(DriveDocumentsTest, ALinkThatNoLongerDescribesItsFileIsWrittenAnew) {
    const std::string a = linked("d1", "a.pdf");
    const auto saveAgain = [&] {
        rig.dir.write("a.pdf.tmp", "%PDF saved again");
        std::filesystem::rename(rig.dir.path() / "a.pdf.tmp", a);
    };
    saveAgain();
    EXPECT_EQ(service().sourcePaths({"d1"}), (std::map<std::string, std::string>{{"d1", a}}));
    rig.settle();
    EXPECT_TRUE(rig.log.has("drive", "원본 연결 새로 씀"));
    const auto stored = rig.local->source("d1", "user-1");
    ASSERT_TRUE(stored);
    EXPECT_EQ(*stored, *rig.links->bookmark(a));
    EXPECT_EQ(rig.links->resolve(*stored), (SourceLink{a, std::nullopt}));

    saveAgain();
    EXPECT_EQ(service().sourcePaths({"d1"}).size(), 1u);
    const std::string b = rig.dir.write("b.pdf", "%PDF").string();
    ASSERT_TRUE(rig.local->setSource("d1", *rig.links->bookmark(b), "user-1"));
    rig.settle();
    EXPECT_EQ(rig.links->resolve(*rig.local->source("d1", "user-1")),
              (SourceLink{b, std::nullopt}));
}

TEST_F(DriveDocumentsTest, RelinkNeedsTheSameText) {
    const auto pages = textPages(2);
    const std::string copy = rig.dir.write("Renamed Copy.PDF", "%PDF").string();
    rig.extractor->document(copy, pages);
    rig.server->ok("GET", kDocuments,
                   R"([{"id":"d1","text_sha256":")" + DriveText::sha(pages) + "\"}]");
    EXPECT_EQ(rig.value([&](auto done) { service().relink("d1", Json(copy), std::move(done)); }),
              (Json{{"document_id", "d1"}, {"relinked", true}}));
    EXPECT_EQ(rig.links->resolve(*rig.local->source("d1", "user-1")),
              (SourceLink{copy, std::nullopt}));
    EXPECT_TRUE(rig.log.has("drive", "다시 연결 ok"));

    auto changed = pages;
    changed[1][0] = 'P';
    const std::string other = rig.dir.write("other.pdf", "%PDF").string();
    rig.extractor->document(other, changed);
    EXPECT_EQ(rig.failure([&](auto done) { service().relink("d1", Json(other), std::move(done)); }),
              "different_file");
    EXPECT_TRUE(rig.log.has("drive", "다시 연결 거절 reason=different_file"));
    EXPECT_EQ(rig.links->resolve(*rig.local->source("d1", "user-1")),
              (SourceLink{copy, std::nullopt}));

    for (const Json& bad : {Json(other + ".zip"), Json(3), Json("relative.pdf")}) {
        EXPECT_EQ(rig.failure([&](auto done) { service().relink("d1", bad, std::move(done)); }),
                  "not_pdf");
    }
    rig.server->ok("GET", kDocuments, "[]");
    EXPECT_EQ(rig.failure([&](auto done) { service().relink("d1", Json(copy), std::move(done)); }),
              "not_found");
}

TEST_F(DriveDocumentsTest, RelinkDuringAnAccountChangeStoresNothing) {
    const auto pages = textPages(1);
    const std::string copy = rig.dir.write("a.pdf", "%PDF").string();
    rig.extractor->document(copy, pages);
    rig.server->ok("GET", kDocuments,
                   R"([{"id":"d1","text_sha256":")" + DriveText::sha(pages) + "\"}]");
    rig.extractor->onExtract([&](const std::string&) { rig.session->setUser("user-2"); });
    EXPECT_EQ(rig.failure([&](auto done) { service().relink("d1", Json(copy), std::move(done)); }),
              "stale");
    EXPECT_TRUE(rig.log.has("drive", "다시 연결 그만둠 — 계정이 바뀜"));
    EXPECT_FALSE(rig.local->source("d1", "user-1"));
    EXPECT_FALSE(rig.local->source("d1", "user-2"));

    rig.extractor->onExtract(nullptr);
    rig.session->setUser(std::nullopt);
    EXPECT_EQ(rig.failure([&](auto done) { service().relink("d1", Json(copy), std::move(done)); }),
              "setting_write_failed");
}

TEST_F(DriveDocumentsTest, DeletingTwiceFindsNothingTheSecondTime) {
    ASSERT_TRUE(rig.copies->write("user-1", "d1", {"p"}, "sha"));
    rig.server->ok("PATCH", kDocuments, R"([{"id":"d1"}])");
    EXPECT_EQ(rig.value([&](auto done) { service().deleteDocument("d1", std::move(done)); }),
              (Json{{"document_id", "d1"}, {"deleted", true}}));
    const auto call = rig.server->calls().back();
    EXPECT_EQ(call.path, "/rest/v1/drive_documents?id=eq.d1&deleted_at=is.null");
    EXPECT_EQ(call.json, (Json{{"deleted_at", "2026-05-28T20:26:40.000Z"}}));
    EXPECT_EQ(rig.copies->pages("user-1", "d1", "sha"), nullptr);
    EXPECT_EQ(rig.changes, 1);

    rig.server->ok("PATCH", kDocuments, "[]");
    EXPECT_EQ(rig.failure([&](auto done) { service().deleteDocument("d1", std::move(done)); }),
              "not_found");
    EXPECT_EQ(rig.changes, 1);
}

}  // namespace
}  // namespace parlendo
