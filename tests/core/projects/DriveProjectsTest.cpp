#include "DriveRig.h"

namespace parlendo {
namespace {

using testing::DriveRig;
using testing::rejection;

struct DriveProjectsTest : ::testing::Test {
    DriveRig rig;
    testing::FakeServerCalling& server = *rig.server;
    DriveService& service() { return *rig.service; }
};

const char* kStudyRow =
    R"({"id":"s1","kind":"study","name":"논문","created_at":"2026-01-02T00:00:00Z",
    "docs":[{"count":2}],"last":[{"created_at":"2026-03-01T00:00:00Z"}],"pops":[{"name":"요약"}]})";

TEST_F(DriveProjectsTest, AFirstListAsksForTheWordBookProjectOnce) {
    server.ok("GET", "/rest/v1/drive_drives", "[]");
    server.ok("GET", "/rest/v1/drive_drives",
              std::string("[") + kStudyRow +
                  R"(,{"id":"v1","kind":"vocab","name":"단어장","created_at":"2026-04-01T00:00:00Z",
                  "docs":[],"last":[],"pops":[]}])");
    server.ok("POST", "/rest/v1/rpc/drive_ensure_vocab_v1", "");
    const Json result = rig.value([&](auto done) { service().listDrives(std::move(done)); });
    EXPECT_EQ(server.count("POST"), 1u);
    EXPECT_EQ(server.calls()[1].json, Json::object());
    ASSERT_EQ(result["drives"].size(), 2u);
    const Json& vocab = result["drives"][0];
    const Json& study = result["drives"][1];
    EXPECT_EQ(vocab["drive_id"], "v1");  // the word-book project first, though created last
    EXPECT_EQ(vocab["document_count"], 0);
    EXPECT_EQ(vocab["last_at"], "2026-04-01T00:00:00Z");
    EXPECT_EQ(vocab["active_popup_name"], nullptr);
    EXPECT_EQ(study, (Json{{"drive_id", "s1"},
                           {"kind", "study"},
                           {"name", "논문"},
                           {"document_count", 2},
                           {"created_at", "2026-01-02T00:00:00Z"},
                           {"last_at", "2026-03-01T00:00:00Z"},
                           {"active_popup_name", "요약"}}));
    const std::string path = server.calls()[0].path;
    EXPECT_NE(path.find("pops.is_active=eq.true"), std::string::npos);
    EXPECT_NE(path.find("&order=created_at.asc"), std::string::npos);
}

TEST_F(DriveProjectsTest, MalformedRowsFailTheWholeList) {
    server.ok("GET", "/rest/v1/drive_drives", R"([{"id":7,"kind":"vocab","docs":[]}])");
    EXPECT_EQ(rig.failure([&](auto done) { service().listDrives(std::move(done)); }),
              "server_error");
    server.ok("GET", "/rest/v1/drive_drives",
              R"([{"id":"v","kind":"vocab","docs":[{"count":1},{"count":2}]}])");
    EXPECT_EQ(rig.failure([&](auto done) { service().listDrives(std::move(done)); }),
              "server_error");
    auto result = rig.run([&](auto done) { service().listDrives(std::move(done)); });
    EXPECT_EQ(std::get<CallFailure>(result.error()), CallFailure::badShape());
}

TEST_F(DriveProjectsTest, CreateTrimsTheNameAndNeedsAUser) {
    server.ok("POST", "/rest/v1/drive_drives", R"([{"id":"new-1"}])");
    const Json created = rig.value(
        [&](auto done) { service().createDrive(Json("  새 프로젝트 "), std::move(done)); });
    EXPECT_EQ(created, (Json{{"drive_id", "new-1"},
                             {"kind", "study"},
                             {"name", "새 프로젝트"},
                             {"document_count", 0}}));
    const auto call = server.calls().back();
    EXPECT_EQ(call.json, (Json{{"user_id", "user-1"}, {"kind", "study"}, {"name", "새 프로젝트"}}));
    EXPECT_EQ(call.headers.at("Prefer"), "return=representation");
    EXPECT_EQ(call.timeout, 15.0);
    EXPECT_EQ(rig.changes, 0);
    EXPECT_TRUE(rig.log.has("drive", "프로젝트 만듦 name_len=6"));

    EXPECT_EQ(rig.failure([&](auto done) { service().createDrive(Json(41), std::move(done)); }),
              "name_invalid");
    EXPECT_EQ(rig.failure([&](auto done) { service().createDrive(std::nullopt, std::move(done)); }),
              "name_invalid");
    server.ok("POST", "/rest/v1/drive_drives", "");
    EXPECT_EQ(rig.failure([&](auto done) { service().createDrive(Json("x"), std::move(done)); }),
              "server_error");
    rig.session->setUser(std::nullopt);
    EXPECT_EQ(rig.failure([&](auto done) { service().createDrive(Json("x"), std::move(done)); }),
              "auth_required");
    EXPECT_EQ(server.count("POST"), 2u);
}

TEST_F(DriveProjectsTest, RenameAndDeleteOnlyLiveStudyProjects) {
    server.ok("GET", "/rest/v1/drive_drives", R"([{"id":"v1","kind":"vocab","name":"단어장"}])");
    EXPECT_EQ(
        rig.failure([&](auto done) { service().renameDrive("v1", Json("이름"), std::move(done)); }),
        "drive_not_deletable");
    const std::string long41(41, 'n');
    EXPECT_EQ(
        rig.failure([&](auto done) { service().renameDrive("s1", Json(long41), std::move(done)); }),
        "name_invalid");
    EXPECT_EQ(server.count(), 1u);  // the bad name was refused before any request

    server.ok("GET", "/rest/v1/drive_drives", R"([{"id":"s1","kind":"study","name":"a"}])");
    server.ok("PATCH", "/rest/v1/drive_drives", "");
    EXPECT_EQ(rig.value([&](auto done) {
        service().renameDrive("s1", Json(" 새 이름 "), std::move(done));
    }),
              (Json{{"drive_id", "s1"}, {"name", "새 이름"}}));
    EXPECT_EQ(server.calls().back().path, "/rest/v1/drive_drives?id=eq.s1");
    EXPECT_EQ(rig.changes, 1);

    server.ok("GET", "/rest/v1/drive_drives", "[]");
    EXPECT_EQ(rig.failure([&](auto done) { service().deleteDrive("gone", std::move(done)); }),
              "drive_not_found");
    EXPECT_EQ(server.count("POST"), 0u);

    server.ok("GET", "/rest/v1/drive_drives", R"([{"id":"s1","kind":"study","name":"a"}])");
    server.ok("POST", "/rest/v1/rpc/drive_delete_drive_v1", R"({"documents":3,"popups":1})");
    EXPECT_EQ(rig.value([&](auto done) { service().deleteDrive("s1", std::move(done)); }),
              (Json{{"drive_id", "s1"}, {"deleted", true}, {"documents", 3}, {"popups", 1}}));
    EXPECT_EQ(server.calls().back().json, (Json{{"p_drive_id", "s1"}}));
    EXPECT_EQ(rig.changes, 2);

    // Ids are escaped as filter values.
    server.ok("GET", "/rest/v1/drive_drives", "[]");
    rig.failure([&](auto done) { service().deleteDrive("a,b)", std::move(done)); });
    EXPECT_EQ(
        server.calls().back().path,
        "/rest/v1/drive_drives?select=id,kind,name&id=eq.a%2Cb%29&deleted_at=is.null&limit=1");
}

TEST_F(DriveProjectsTest, RestoreAnswersTheServersNameAndCounts) {
    server.ok("POST", "/rest/v1/rpc/drive_restore_drive_v1",
              R"({"drive_id":"s9","name":"되살린","documents":2,"popups":1})");
    EXPECT_EQ(rig.value([&](auto done) { service().restoreDrive("s1", std::move(done)); }),
              (Json{{"drive_id", "s9"},
                    {"name", "되살린"},
                    {"restored", true},
                    {"documents", 2},
                    {"popups", 1}}));
    server.ok("POST", "/rest/v1/rpc/drive_restore_drive_v1", "null");
    EXPECT_EQ(rig.value([&](auto done) { service().restoreDrive("s1", std::move(done)); }),
              (Json{{"drive_id", "s1"},
                    {"name", nullptr},
                    {"restored", true},
                    {"documents", 0},
                    {"popups", 0}}));
    server.ok("POST", "/rest/v1/rpc/drive_restore_drive_v1", "<html>");
    EXPECT_EQ(rig.failure([&](auto done) { service().restoreDrive("s1", std::move(done)); }),
              "server_error");
    EXPECT_EQ(rig.changes, 2);
}

TEST_F(DriveProjectsTest, TrashListCountsDocumentsTrashedWithTheProject) {
    // Now is 2026-05-28T20:26:40Z (the fake clock's wall start).
    server.ok("GET", "/rest/v1/drive_drives",
              R"([{"id":"s1","name":"a","deleted_at":"2026-04-27T20:26:40.123456+00:00"},
                  {"id":"s2","name":"b","deleted_at":"2026-05-28T10:00:00Z"},
                  {"id":"s3","name":"c","deleted_at":"2026-05-01T00:00:00"}])");
    server.ok("GET", "/rest/v1/drive_documents",
              R"([{"drive_id":"s1","deleted_at":"2026-04-27T20:26:40.123456+00:00"},
                  {"drive_id":"s1","deleted_at":"2026-04-27T20:26:40.123456+00:00"},
                  {"drive_id":"s1","deleted_at":"2026-04-01T00:00:00Z"}])");
    const Json result = rig.value([&](auto done) { service().listDeletedDrives(std::move(done)); });
    EXPECT_EQ(result["trash_days"], 30);
    const Json& drives = result["drives"];
    EXPECT_EQ(drives[0]["document_count"], 2);
    EXPECT_EQ(drives[0]["days_ago"], 31);
    EXPECT_EQ(drives[0]["days_left"], 0);
    EXPECT_EQ(drives[1]["days_ago"], 0);
    EXPECT_EQ(drives[1]["days_left"], 30);
    EXPECT_EQ(drives[2]["days_ago"], 0);  // a time without a zone does not parse
    EXPECT_EQ(server.calls().back().path,
              "/rest/v1/drive_documents?select=drive_id,deleted_at&drive_id=in.(s1,s2,s3)"
              "&deleted_at=not.is.null");

    server.ok("GET", "/rest/v1/drive_drives", "[]");
    const size_t before = server.count();
    EXPECT_EQ(rig.value([&](auto done) { service().listDeletedDrives(std::move(done)); }),
              (Json{{"drives", Json::array()}, {"trash_days", 30}}));
    EXPECT_EQ(server.count(), before + 1);
}

TEST_F(DriveProjectsTest, DaysSinceParsesInternetDates) {
    const double now = 1780000000.0;  // 2026-05-28T20:26:40Z
    const auto days = [now](const char* text) {
        const Json value(text);
        return DriveService::daysSince(&value, now);
    };
    EXPECT_EQ(days("2026-05-27T20:26:40Z"), 1);
    EXPECT_EQ(days("2026-05-27T20:26:41Z"), 0);
    EXPECT_EQ(days("2026-05-29T05:26:40+09:00"), 0);
    EXPECT_EQ(days("2026-05-28T05:26:40+09:00"), 1);
    EXPECT_EQ(days("2026-05-20T00:00:00.5-03:00"), 8);
    EXPECT_EQ(days("2027-01-01T00:00:00Z"), 0);
    EXPECT_EQ(days("yesterday"), 0);
    EXPECT_EQ(DriveService::daysSince(nullptr, now), 0);
    EXPECT_EQ(DriveService::timestamp(1780000000.25), "2026-05-28T20:26:40.250Z");
    EXPECT_EQ(DriveService::timestamp(0), "1970-01-01T00:00:00.000Z");
}

TEST_F(DriveProjectsTest, PurgeCleansLocalDataOnlyAfterTheServerAndWhenSignedIn) {
    ASSERT_TRUE(rig.local->setSource("d1", "mark", "user-1"));
    ASSERT_TRUE(rig.copies->write("user-1", "d1", {"page"}, "sha"));
    server.ok("GET", "/rest/v1/drive_documents", R"([{"id":"d1"},{"id":2}])");
    server.failure("POST", "/rest/v1/rpc/drive_purge_drive_v1",
                   CallFailureDetail(rejection(400, "P0001", "drive_not_found")));
    EXPECT_EQ(rig.failure([&](auto done) { service().purgeDrive("s1", std::move(done)); }),
              "drive_not_found");
    EXPECT_TRUE(rig.local->source("d1", "user-1"));
    EXPECT_EQ(rig.changes, 0);

    server.ok("POST", "/rest/v1/rpc/drive_purge_drive_v1",
              R"({"documents":1,"popups":2,"threads_kept":3})");
    rig.session->setUser(std::nullopt);
    EXPECT_EQ(rig.value([&](auto done) { service().purgeDrive("s1", std::move(done)); }),
              (Json{{"documents", 1},
                    {"popups", 2},
                    {"threads_kept", 3},
                    {"drive_id", "s1"},
                    {"purged", true}}));
    EXPECT_TRUE(rig.local->source("d1", "user-1"));  // signed out: nothing local removed

    rig.session->setUser("user-1");
    rig.value([&](auto done) { service().purgeDrive("s1", std::move(done)); });
    EXPECT_TRUE(rig.local->source("d1", "user-1")) << "removed before the settings writer ran";
    rig.settle();
    EXPECT_FALSE(rig.local->source("d1", "user-1"));
    EXPECT_EQ(rig.copies->pages("user-1", "d1", "sha"), nullptr);
    EXPECT_EQ(rig.changes, 2);
    EXPECT_TRUE(rig.log.has("drive", "프로젝트 영구 삭제 documents=1 popups=2 threads_kept=3"));
}

TEST_F(DriveProjectsTest, WriteRepliesAndEmbeddedCounts) {
    server.ok("POST", "/rest/v1/x", R"({"id":"one"})");
    std::optional<Result<std::vector<Json>, CallFailure>> rows;
    service().write("/rest/v1/x", "POST", Json::object(), [&](auto r) { rows = std::move(r); });
    ASSERT_TRUE(rows && *rows);
    EXPECT_EQ((*rows)->size(), 1u);
    server.ok("POST", "/rest/v1/x", R"([1,2])");
    service().write("/rest/v1/x", "POST", Json::object(), [&](auto r) { rows = std::move(r); });
    EXPECT_TRUE((*rows)->empty());

    const Json one = Json::parse(R"([{"count":4}])");
    const Json object = Json::parse(R"({"count":5})");
    const Json empty = Json::array();
    const Json text = Json::parse(R"([{"count":"4"}])");
    EXPECT_EQ(DriveService::embeddedCount(&one), 4);
    EXPECT_EQ(DriveService::embeddedCount(&object), 5);
    EXPECT_EQ(DriveService::embeddedCount(&empty), 0);
    EXPECT_FALSE(DriveService::embeddedCount(&text));
    EXPECT_FALSE(DriveService::embeddedCount(nullptr));
    const Json real(3.9);
    EXPECT_EQ(DriveService::integer(&real), 3);
    const Json flag(true);
    EXPECT_EQ(DriveService::integer(&flag), 0);
}

}  // namespace
}  // namespace parlendo
