#include "DriveRig.h"
#include "projects/DriveRoutes.h"
#include "projects/DriveThumbnails.h"

namespace parlendo {
namespace {

using testing::DriveRig;
using testing::textPages;

struct FakeScreen final : DriveScreen {
    std::optional<std::vector<std::string>> chosen = std::vector<std::string>{};
    std::vector<bool> picks;
    std::vector<std::array<int, 4>> progress;
    std::vector<std::string> opened;

    void pickPDFs(bool multiple,
                  Completion<void(std::optional<std::vector<std::string>>)> done) override {
        picks.push_back(multiple);
        done(chosen);
    }
    void uploadProgress(int d, int t, int i, int n) override { progress.push_back({d, t, i, n}); }
    void open(const std::string& path, std::function<void(bool)> done) override {
        opened.push_back(path);
        done(opens);
    }
    bool opens = true;
};

struct DriveRoutesTest : ::testing::Test {
    DriveRig rig;
    std::shared_ptr<testing::ManualExecutor> main =
        std::make_shared<testing::ManualExecutor>(rig.clock);
    std::shared_ptr<FakeScreen> screen = std::make_shared<FakeScreen>();
    std::string math = "window.temml={};";
    DriveRoutes routes{rig.service,
                       screen,
                       [] {
                           return Json{{"enabled", true}, {"pid", 7}};
                       },
                       [this](Completion<void(std::string)> done) { done(math); },
                       nullptr,
                       main};

    BridgeReply call(const std::string& name, std::vector<Json> args = {}) {
        auto table = routes.routes();
        auto entry = table.find(name);
        EXPECT_NE(entry, table.end()) << name;
        std::optional<BridgeReply> reply;
        entry->second.handler()(BridgeArgs(std::move(args)),
                                [&](BridgeReply r) { reply = std::move(r); });
        for (int i = 0; i < 100 && !reply; ++i) {
            rig.settle();
            main->runAll();
        }
        EXPECT_TRUE(reply.has_value()) << name;
        return reply ? *reply : BridgeReply::requestFailed("none");
    }
    Json data(const std::string& name, std::vector<Json> args = {}) {
        auto reply = call(name, std::move(args));
        const auto* ok = reply.as<BridgeReply::Ok>();
        EXPECT_NE(ok, nullptr) << name;
        return ok ? ok->value : Json();
    }
};

TEST_F(DriveRoutesTest, ThirtyCallsAllServedAndOrdinarilyLogged) {
    EXPECT_EQ(DriveRoutes::names().size(), 30u);
    const auto table = routes.routes();
    EXPECT_EQ(table.size(), 30u);
    for (const auto& name : DriveRoutes::names()) {
        ASSERT_TRUE(table.count(name)) << name;
        EXPECT_TRUE(table.at(name).isImplemented()) << name;
    }
    EXPECT_TRUE(routes.logModes().empty());
    EXPECT_EQ(data("drive_enabled"), true);
    EXPECT_EQ(data("drive_capture_revive"), (Json{{"enabled", true}, {"pid", 7}}));
    EXPECT_EQ(data("drive_ai_status")["provider"], "server");
    EXPECT_EQ(data("drive_detect"), (Json{{"on", true}}));
}

TEST_F(DriveRoutesTest, FailuresArriveInsideASuccessfulReplyExceptStale) {
    rig.server->ok("GET", "/rest/v1/drive_documents", "[]");
    rig.server->failure("POST", "/rest/v1/rpc/drive_purge_drive_v1",
                        CallFailureDetail(testing::rejection(400, "P0001", "drive_not_found")));
    EXPECT_EQ(data("drive_purge", {Json("s1")}), (Json{{"error", "drive_not_found"}}));
    EXPECT_TRUE(rig.log.has("drive", "요청 실패 reason=drive_not_found"));

    rig.server->failure("POST", "/rest/v1/rpc/drive_restore_drive_v1",
                        CallFailureDetail(testing::rejection(403, "42501")));
    EXPECT_EQ(data("drive_restore", {Json("s1")}), (Json{{"error", "server_error"}}));

    rig.server->failure("POST", "/rest/v1/rpc/drive_restore_drive_v1",
                        CallFailureDetail(CallFailure::stale()));
    EXPECT_EQ(call("drive_restore", {Json("s1")}), BridgeReply::failed(CallFailure::stale()));
    EXPECT_EQ(rig.log.count("drive", "요청 실패"), 2u);
}

TEST_F(DriveRoutesTest, ArgumentsAreReadWithoutRefusingAnything) {
    // Rename with one argument: no name reaches the service, which refuses it itself.
    EXPECT_EQ(data("drive_rename", {Json("s1")}), (Json{{"error", "name_invalid"}}));
    EXPECT_EQ(data("drive_popup_create", {Json("s1"), Json("name")}),
              (Json{{"error", "prompt_invalid"}}));
    EXPECT_EQ(data("drive_upload_paths", {Json("s1"), Json("/a.pdf")}),
              (Json{{"error", "file_not_found"}}));
    EXPECT_EQ(data("drive_document_relink", {Json("d1"), Json(5)}), (Json{{"error", "not_pdf"}}));
    EXPECT_EQ(rig.server->count(), 0u);

    // An id that is not text becomes empty text.
    rig.server->ok("GET", "/rest/v1/drive_drives", "[]");
    data("drive_documents", {Json(12)});
    EXPECT_EQ(rig.server->calls().back().path,
              "/rest/v1/drive_drives?select=id,kind,name&id=eq.&deleted_at=is.null&limit=1");
}

TEST_F(DriveRoutesTest, TheDetectSwitchReadsBooleansAndNumbers) {
    EXPECT_EQ(data("drive_detect_set", {Json("true")}), (Json{{"on", false}}));
    EXPECT_EQ(data("drive_detect_set", {Json(2)}), (Json{{"on", true}}));
    EXPECT_EQ(data("drive_detect_set", {Json(0)}), (Json{{"on", false}}));
    EXPECT_EQ(data("drive_detect_set", {Json(true)}), (Json{{"on", true}}));
    EXPECT_EQ(data("drive_detect_set"), (Json{{"on", false}}));
    EXPECT_EQ(rig.log.count("ai_talk", "source=manage"), 5u);
    rig.session->setUser(std::nullopt);
    EXPECT_EQ(data("drive_detect_set", {Json(true)}), (Json{{"error", "setting_write_failed"}}));
}

// The switch is stored on the settings writer, never on the thread of the call (a busy disk holds
// a write for a tenth of a second and more), in the order the page flipped it; the page hears of
// each flip once it is written, and the reply and the switch follow what the write did.
TEST_F(DriveRoutesTest, TheDetectSwitchIsWrittenOnTheWriterAndAnsweredOnceWritten) {
    const auto file = rig.dir.path() / DriveLocalStore::fileName;
    std::vector<BridgeReply> replies;
    const auto flip = [&](bool on) {
        routes.routes()
            .at("drive_detect_set")
            .handler()(BridgeArgs(std::vector<Json>{Json(on)}),
                       [&](BridgeReply reply) { replies.push_back(std::move(reply)); });
    };
    flip(false);
    flip(true);
    main->runAll();
    rig.main->runAll();
    rig.work->runAll();
    EXPECT_TRUE(replies.empty());
    EXPECT_FALSE(std::filesystem::exists(file)) << "written on the thread of the call";
    EXPECT_TRUE(rig.service->aiDetectOn());

    ASSERT_TRUE(rig.writer->runOne());
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0], BridgeReply::ok(Json{{"on", false}}));
    EXPECT_FALSE(rig.service->aiDetectOn());
    EXPECT_EQ(rig.writer->runAll(), 1u);
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(replies[1], BridgeReply::ok(Json{{"on", true}}));
    EXPECT_TRUE(rig.service->aiDetectOn());
    EXPECT_EQ(DriveLocalStore(rig.dir.path()).setting("ai_detect", "user-1"), "on");

    // A folder where the file belongs: the write fails, the page is told, the switch stays on.
    std::filesystem::remove(file);
    std::filesystem::create_directories(file / "in-the-way");
    flip(false);
    EXPECT_EQ(rig.writer->runAll(), 1u);
    ASSERT_EQ(replies.size(), 3u);
    EXPECT_EQ(replies[2], BridgeReply::ok(Json{{"error", "setting_write_failed"}}));
    EXPECT_TRUE(rig.service->aiDetectOn());
    EXPECT_EQ(rig.detectChanges, 2);
}

TEST_F(DriveRoutesTest, PickersCancelAndMissingWindows) {
    screen->chosen = std::vector<std::string>{};
    EXPECT_EQ(data("drive_upload", {Json("s1")}), (Json{{"cancelled", true}}));
    EXPECT_EQ(data("drive_document_relink_pick", {Json("d1")}), (Json{{"cancelled", true}}));
    EXPECT_EQ(screen->picks, (std::vector<bool>{true, false}));
    screen->chosen = std::nullopt;
    EXPECT_EQ(data("drive_upload", {Json("s1")}), (Json{{"error", "no_window"}}));
    EXPECT_EQ(rig.server->count(), 0u);
}

TEST_F(DriveRoutesTest, AnUploadFromThePickerReportsProgressOnMain) {
    rig.server->respondWith([](const auto& call) -> DetailedCallResult {
        if (call.path.starts_with("/rest/v1/drive_drives")) {
            return std::string(R"([{"id":"s1","kind":"study"}])");
        }
        if (call.path.starts_with("/rest/v1/rpc/drive_upload_begin_v1")) {
            return std::string(R"({"document_id":"doc-1"})");
        }
        return std::string("{}");
    });
    const std::string path = rig.dir.write("a.pdf", "%PDF").string();
    rig.extractor->document(path, textPages(3));
    screen->chosen = std::vector<std::string>{path};
    const Json result = data("drive_upload", {Json("s1")});
    EXPECT_EQ(result["results"][0]["document_id"], "doc-1");
    main->runAll();
    EXPECT_EQ(screen->progress, (std::vector<std::array<int, 4>>{{0, 3, 1, 1}, {3, 3, 1, 1}}));
}

TEST_F(DriveRoutesTest, OpeningADocumentOpensItsLinkedFile) {
    const std::string path = rig.dir.write("a.pdf", "%PDF").string();
    ASSERT_TRUE(rig.local->setSource("d1", *rig.links->bookmark(path), "user-1"));
    rig.server->ok("GET", "/rest/v1/drive_documents", R"([{"id":"d1","file_name":"a.pdf"}])");
    EXPECT_EQ(data("drive_document_open", {Json("d1")}),
              (Json{{"document_id", "d1"}, {"state", "ok"}, {"opened", true}}));
    EXPECT_EQ(screen->opened, (std::vector<std::string>{path}));
    // No application took it: the page is told, to say so.
    screen->opens = false;
    EXPECT_EQ(data("drive_document_open", {Json("d1")}),
              (Json{{"document_id", "d1"}, {"state", "no_app"}, {"opened", false}}));
    screen->opened.clear();
    screen->opened.push_back(path);

    std::filesystem::remove(path);
    EXPECT_EQ(data("drive_document_open", {Json("d1")}),
              (Json{{"document_id", "d1"}, {"file_name", "a.pdf"}, {"state", "missing"}}));
    EXPECT_EQ(screen->opened.size(), 1u);
}

TEST_F(DriveRoutesTest, TheMathScriptIsTheWholeReply) {
    EXPECT_EQ(call("drive_math_lib"), BridgeReply::custom("window.temml={};"));
    EXPECT_TRUE(rig.log.has("drive", "수식 변환기 보냄 chars=16"));
    math.clear();
    EXPECT_EQ(call("drive_math_lib"), BridgeReply::custom(""));
    EXPECT_TRUE(rig.log.has("drive", "수식 변환기 없음 chars=0"));
}

// Counts the bookmarks resolved while a task of `main` runs.
struct WhereResolved final : SourceLinking {
    std::shared_ptr<SourceLinking> links;
    std::shared_ptr<testing::ManualExecutor> main;
    mutable int calls = 0;
    mutable int onMain = 0;

    std::optional<std::string> bookmark(const std::string& path) const override {
        return links->bookmark(path);
    }
    std::optional<SourceLink> resolve(const std::string& data) const override {
        ++calls;
        onMain += main->runningTask() ? 1 : 0;
        return links->resolve(data);
    }
};

struct NoDrawing final : PDFThumbnailing {
    Result<std::string, DriveFailure> firstPagePNG(const std::string&, int) const override {
        return fail(DriveFailure("pdf_unreadable"));
    }
};

// Resolving a link looks at its file and may read through the whole folder: the calls that show
// documents' links resolve them on the work executor, never on the main loop, where the page's
// calls and the server's answers arrive.
TEST(DriveRoutesLinksTest, LinksAreResolvedOffTheMainLoop) {
    DriveRig rig;
    rig.deliverOnMain();
    auto where = std::make_shared<WhereResolved>();
    where->links = rig.links;
    where->main = rig.main;
    auto service = std::make_shared<DriveService>(
        rig.server, rig.session, rig.local, rig.copies, where, rig.extractor, std::nullopt,
        DriveService::Runtime{rig.work, rig.timers, rig.clock, rig.writer});
    auto thumbnails = std::make_shared<DriveThumbnails>(
        service, rig.copies, rig.session, std::make_shared<NoDrawing>(),
        DriveThumbnails::maxPDFBytes, rig.work, rig.clock);
    DriveRoutes routes{service, std::make_shared<FakeScreen>(), nullptr, nullptr, thumbnails,
                       rig.main};
    const std::string path = rig.dir.write("a.pdf", "%PDF").string();
    ASSERT_TRUE(rig.local->setSource("d1", *rig.links->bookmark(path), "user-1"));
    rig.server->ok("GET", "/rest/v1/drive_drives", R"([{"id":"s1","kind":"study"}])");
    rig.server->ok("GET", "/rest/v1/drive_documents",
                   R"([{"id":"d1","file_name":"a.pdf","drive_toc":[]}])");

    for (const auto& [name, id] : std::vector<std::pair<std::string, std::string>>{
             {"drive_documents", "s1"}, {"drive_document_open", "d1"}, {"drive_thumbnail", "d1"}}) {
        where->calls = 0;
        where->onMain = 0;
        std::optional<BridgeReply> reply;
        rig.main->post([&, name = name, id = id] {
            routes.routes().at(name).handler()(BridgeArgs(std::vector<Json>{Json(id)}),
                                               [&](BridgeReply r) { reply = std::move(r); });
        });
        rig.settle();
        EXPECT_TRUE(reply.has_value()) << name;
        EXPECT_EQ(where->calls, 1) << name;
        EXPECT_EQ(where->onMain, 0) << name << " resolved a link on the main loop";
    }
}

}  // namespace
}  // namespace parlendo
