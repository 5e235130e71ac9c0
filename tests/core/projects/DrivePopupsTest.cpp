#include "DriveRig.h"
#include "foundation/FileIO.h"

namespace parlendo {
namespace {

using testing::DriveRig;
using testing::rejection;

struct DrivePopupsTest : ::testing::Test {
    DriveRig rig;
    testing::FakeServerCalling& server = *rig.server;
    DriveService& service() { return *rig.service; }

    std::string popupFailure(const Json& name, const Json& prompt) {
        return rig.failure(
            [&](auto done) { service().createPopup("s1", name, prompt, std::move(done)); });
    }
};

std::string scalars(const std::string& piece, int count) {
    std::string out;
    for (int i = 0; i < count; ++i) {
        out += piece;
    }
    return out;
}

TEST_F(DrivePopupsTest, FieldsAreCheckedBeforeAnyRequestNameFirst) {
    EXPECT_EQ(popupFailure(Json(scalars("가", 41)), Json("ok")), "name_invalid");
    EXPECT_EQ(popupFailure(Json("이름"), Json(scalars("a", 301))), "prompt_invalid");
    EXPECT_EQ(popupFailure(Json("이름"), Json("   ")), "prompt_invalid");
    EXPECT_EQ(popupFailure(Json(" "), Json(" ")), "name_invalid");
    EXPECT_EQ(popupFailure(Json(3), Json("ok")), "name_invalid");
    EXPECT_EQ(server.count(), 0u);
}

TEST_F(DrivePopupsTest, CreateInAStudyProject) {
    server.ok("GET", "/rest/v1/drive_drives", R"([{"id":"s1","kind":"study","name":"a"}])");
    server.ok("POST", "/rest/v1/drive_popups",
              R"([{"id":"p1","drive_id":"s1","name":"N","prompt":"P","is_active":true,
                   "created_at":"2026-05-01T00:00:00Z"}])");
    const std::string name = scalars("가", 40);
    const std::string prompt = scalars("b", 300);
    const Json popup = rig.value([&](auto done) {
        service().createPopup("s1", Json(" " + name + " "), Json(prompt), std::move(done));
    });
    EXPECT_EQ(popup, (Json{{"popup_id", "p1"},
                           {"drive_id", "s1"},
                           {"name", "N"},
                           {"prompt", "P"},
                           {"is_active", true},
                           {"created_at", "2026-05-01T00:00:00Z"}}));
    EXPECT_EQ(
        server.calls().back().json,
        (Json{{"user_id", "user-1"}, {"drive_id", "s1"}, {"name", name}, {"prompt", prompt}}));
    EXPECT_TRUE(rig.log.has("drive", "AI 팝업 만듦 name_len=40 prompt_len=300"));
    EXPECT_EQ(rig.changes, 0);

    server.failure("POST", "/rest/v1/drive_popups", CallFailureDetail(rejection(403, "42501")));
    EXPECT_EQ(popupFailure(Json("n"), Json("p")), "drive_not_found");
    server.failure("POST", "/rest/v1/drive_popups", CallFailureDetail(CallFailure::timeout()));
    EXPECT_EQ(popupFailure(Json("n"), Json("p")), "network_unavailable");
    server.ok("POST", "/rest/v1/drive_popups", "[]");
    EXPECT_EQ(popupFailure(Json("n"), Json("p")), "server_error");
}

TEST_F(DrivePopupsTest, NoPopupsInTheWordBookOrATrashedProject) {
    server.ok("GET", "/rest/v1/drive_drives", R"([{"id":"v1","kind":"vocab","name":"a"}])");
    EXPECT_EQ(popupFailure(Json("n"), Json("p")), "drive_not_study");
    server.ok("GET", "/rest/v1/drive_drives", "[]");
    EXPECT_EQ(popupFailure(Json("n"), Json("p")), "drive_not_found");
    EXPECT_EQ(rig.failure([&](auto done) { service().listPopups("s1", std::move(done)); }),
              "drive_not_found");
    EXPECT_EQ(server.count("POST"), 0u);
}

TEST_F(DrivePopupsTest, ListReadsOldestFirstAndRefusesBadRows) {
    server.ok("GET", "/rest/v1/drive_drives", R"([{"id":"s1","kind":"study","name":"a"}])");
    server.ok("GET", "/rest/v1/drive_popups",
              R"([{"id":"p1","drive_id":"s1","name":5,"is_active":"yes"}])");
    EXPECT_EQ(rig.value([&](auto done) { service().listPopups("s1", std::move(done)); }),
              (Json{{"popups", Json::array({Json{{"popup_id", "p1"},
                                                 {"drive_id", "s1"},
                                                 {"name", ""},
                                                 {"prompt", ""},
                                                 {"is_active", false},
                                                 {"created_at", nullptr}}})}}));
    EXPECT_EQ(server.calls().back().path,
              "/rest/v1/drive_popups?select=*&drive_id=eq.s1&deleted_at=is.null"
              "&order=created_at.asc");
    server.ok("GET", "/rest/v1/drive_popups", R"([{"id":"p1"}])");
    EXPECT_EQ(rig.failure([&](auto done) { service().listPopups("s1", std::move(done)); }),
              "server_error");
}

TEST_F(DrivePopupsTest, EditingAnUnknownPopupChangesNothing) {
    server.ok("PATCH", "/rest/v1/drive_popups", "[]");
    EXPECT_EQ(rig.failure([&](auto done) {
        service().updatePopup("p1", Json("n"), Json("p"), std::move(done));
    }),
              "not_found");
    EXPECT_EQ(rig.changes, 0);
    EXPECT_EQ(server.calls().back().path, "/rest/v1/drive_popups?id=eq.p1&deleted_at=is.null");

    server.ok("PATCH", "/rest/v1/drive_popups", R"([{"id":"p1","drive_id":"s1","name":"n"}])");
    rig.value(
        [&](auto done) { service().updatePopup("p1", Json("n"), Json("p"), std::move(done)); });
    EXPECT_EQ(rig.changes, 1);
    EXPECT_EQ(server.calls().back().json, (Json{{"name", "n"}, {"prompt", "p"}}));

    // A stored edit whose row comes back malformed still tells the listeners.
    server.ok("PATCH", "/rest/v1/drive_popups", R"([{"name":"n"}])");
    EXPECT_EQ(rig.failure([&](auto done) {
        service().updatePopup("p1", Json("n"), Json("p"), std::move(done));
    }),
              "server_error");
    EXPECT_EQ(rig.changes, 2);
}

TEST_F(DrivePopupsTest, SwitchesFireOnChangeOnceTheServerAccepted) {
    server.ok("POST", "/rest/v1/rpc/drive_activate_popup_v1", "");
    server.ok("GET", "/rest/v1/drive_popups",
              R"([{"id":"p2","drive_id":"other","is_active":true}])");
    const Json on = rig.value([&](auto done) { service().activatePopup("p2", std::move(done)); });
    EXPECT_EQ(on["drive_id"], "other");
    EXPECT_EQ(on["is_active"], true);
    EXPECT_EQ(rig.changes, 1);

    server.ok("GET", "/rest/v1/drive_popups", "[]");
    EXPECT_EQ(rig.failure([&](auto done) { service().activatePopup("p2", std::move(done)); }),
              "not_found");
    EXPECT_EQ(rig.changes, 2);

    server.ok("POST", "/rest/v1/rpc/drive_deactivate_popup_v1", "false");
    EXPECT_EQ(rig.failure([&](auto done) { service().deactivatePopup("p2", std::move(done)); }),
              "not_found");
    EXPECT_EQ(rig.changes, 3);
    server.ok("POST", "/rest/v1/rpc/drive_deactivate_popup_v1", "true");
    EXPECT_EQ(rig.value([&](auto done) { service().deactivatePopup("p2", std::move(done)); }),
              (Json{{"popup_id", "p2"}, {"is_active", false}}));
    server.ok("POST", "/rest/v1/rpc/drive_delete_popup_v1", "true");
    EXPECT_EQ(rig.value([&](auto done) { service().deletePopup("p2", std::move(done)); }),
              (Json{{"popup_id", "p2"}, {"deleted", true}}));
    EXPECT_EQ(server.calls().back().json, (Json{{"p_popup_id", "p2"}}));
    server.failure("POST", "/rest/v1/rpc/drive_delete_popup_v1",
                   CallFailureDetail(CallFailure::timeout()));
    rig.failure([&](auto done) { service().deletePopup("p2", std::move(done)); });
    EXPECT_EQ(rig.changes, 5);  // a call the server never answered changes nothing
    EXPECT_TRUE(rig.log.has("drive", "AI 팝업 지움"));
}

TEST_F(DrivePopupsTest, DetectSwitchIsPerUserAndOnByDefault) {
    EXPECT_TRUE(service().aiDetectOn());
    EXPECT_EQ(service().setAIDetect(false, "manage"), DriveResult<Json>(Json{{"on", false}}));
    EXPECT_FALSE(service().aiDetectOn());
    EXPECT_EQ(rig.detectChanges, 1);
    EXPECT_TRUE(rig.log.has("ai_talk", "AI 톡 끔 source=manage"));

    rig.session->setUser("user-2");
    EXPECT_TRUE(service().aiDetectOn());
    ASSERT_TRUE(rig.local->setSetting("ai_detect", "OFF", "user-2"));
    EXPECT_TRUE(service().aiDetectOn());  // only the exact value "off" switches it off

    rig.session->setUser(std::nullopt);
    EXPECT_TRUE(service().aiDetectOn());
    EXPECT_EQ(rig.code(service().setAIDetect(true, "manage").error()), "setting_write_failed");
    EXPECT_EQ(rig.detectChanges, 1);
    EXPECT_EQ(service().aiStatus(), (Json{{"provider", "server"},
                                          {"model", nullptr},
                                          {"configured", true},
                                          {"authenticated", false}}));
    rig.session->setUser("user-1");
    EXPECT_EQ(service().aiStatus()["authenticated"], true);
    EXPECT_FALSE(service().aiDetectOn());
}

// Forgetting a deleted account comes on the settings writer after the changes handed to it before:
// a change of that account's settings, written after the removal, would bring its section back.
TEST_F(DrivePopupsTest, ForgettingAUserRemovesItsSettingsAfterTheQueuedChanges) {
    ASSERT_TRUE(rig.local->setSetting("ai_popup_size", "large", "user-1"));
    AccountLocalData registry;
    service().registerForgetters(registry);
    service().switchAIDetect(false, "cmdcc", [](DriveResult<Json>) {});
    auto files = std::make_shared<testing::ManualExecutor>(rig.clock);
    std::optional<std::optional<bool>> forgotten;
    registry.forget("user-1", files, [&](std::optional<bool> all) { forgotten = all; });
    // The pool is free while the writer is still busy with the change.
    while (files->runAll() + rig.writer->runAll() > 0) {
    }
    EXPECT_EQ(forgotten, std::optional<std::optional<bool>>(true));
    const auto file = fileio::readFile(rig.local->path());
    ASSERT_TRUE(file.has_value());
    EXPECT_EQ(Json::parse(*file), (Json{{"users", Json::object()}}));
}

}  // namespace
}  // namespace parlendo
