#include <gtest/gtest.h>

#include "FakeSecretStore.h"
#include "FakeServerCalling.h"
#include "FakeSession.h"
#include "capture/DetectRoutes.h"
#include "capture/DetectStore.h"
#include "manage/BridgeRouter.h"
#include "manage/DiagnosticsRoutes.h"
#include "manage/FeedbackRoutes.h"
#include "manage/SourceOpener.h"
#include "popups/ConnectionRoutes.h"
#include "popups/PopupSettingsRoutes.h"
#include "saving/ServerStudyRecorder.h"
#include "saving/StudyRoutes.h"

#include <set>

namespace parlendo {
namespace {

// The page's call names, group by group, in the order the router joins the groups.
const std::vector<std::vector<std::string>> pageCalls = {
    {"detect_status", "detect_start", "detect_stop"},
    {"drive_enabled",         "drive_list",
     "drive_create",          "drive_rename",
     "drive_delete",          "drive_restore",
     "drive_deleted_list",    "drive_purge",
     "drive_documents",       "drive_upload",
     "drive_upload_paths",    "drive_document_open",
     "drive_document_relink", "drive_document_relink_pick",
     "drive_document_delete", "drive_popups",
     "drive_popup_create",    "drive_popup_update",
     "drive_popup_activate",  "drive_popup_deactivate",
     "drive_popup_delete",    "drive_ai_status",
     "drive_detect",          "drive_detect_set",
     "drive_capture_revive",  "drive_document_map",
     "drive_unplaced",        "drive_thread",
     "drive_math_lib",        "drive_thumbnail"},
    {"load_tree", "list_folders", "list_words", "words_in_scope", "words_under_folder",
     "search_words", "review_states", "word_details", "list_trash", "get_view_settings",
     "set_view_settings", "list_assistants", "list_content_types", "list_options"},
    {"local_pdf_status", "open_url"},
    {"create_folder", "rename_folder", "rename_source", "move_folder", "move_source",
     "reorder_folders", "delete_folder", "delete_source", "delete_word"},
    {"restore_folder", "restore_source", "restore_word", "restore_sentence"},
    {"save_review", "save_status"},
    {"propose_custom", "toggle_assistant", "delete_assistant", "update_assistant",
     "save_assistant"},
    {"credential_status", "set_optional_credentials", "remove_optional_credentials"},
    {"get_ui_theme", "set_ui_theme", "ui_fonts"},
    {"send_feedback"},
    {"ui_error"},
    {"login", "sign_in", "sign_up", "set_username", "sign_out"},
    {"delete_account", "forget_deleted_account", "resend_confirmation", "reset_local_state"},
};

struct NamesOnly final : BridgeRoutes {
    std::vector<std::string> names;
    explicit NamesOnly(std::vector<std::string> n) : names(std::move(n)) {}
    std::map<std::string, BridgeEntry> routes() const override { return notYet(names); }
};

std::set<std::string> keys(const BridgeRoutes& group) {
    std::set<std::string> out;
    for (const auto& [name, entry] : group.routes()) {
        out.insert(name);
    }
    return out;
}

std::set<std::string> expected(size_t index) {
    return {pageCalls[index].begin(), pageCalls[index].end()};
}

TEST(RouteGroups, TheBuiltGroupsServeExactlyTheirCalls) {
    auto server = std::make_shared<testing::FakeServerCalling>();
    auto session = std::make_shared<testing::FakeSession>();
    auto detect = std::make_shared<DetectStore>();
    auto connection =
        std::make_shared<ConnectionSettings>(std::make_shared<testing::FakeSecretStore>(), session);

    EXPECT_EQ(keys(DetectRoutes(detect->control(), 1, [] { return std::nullopt; })), expected(0));
    EXPECT_EQ(keys(SourceOpenRoutes(nullptr)), expected(3));
    EXPECT_EQ(keys(StudyRoutes(ServerStudyRecorder::make(server, session))), expected(6));
    EXPECT_EQ(keys(PopupSettingsRoutes(nullptr, nullptr)), expected(7));
    EXPECT_EQ(keys(ConnectionRoutes(connection)), expected(8));
    EXPECT_EQ(keys(FeedbackRoutes()), expected(10));
    EXPECT_EQ(keys(FeedbackRoutes(std::make_shared<FeedbackSender>(server, session, "v"))),
              expected(10));
    EXPECT_EQ(keys(DiagnosticsRoutes()), expected(11));
    EXPECT_EQ(DiagnosticsRoutes().logModes().at("ui_error"), BridgeLogMode::selfLogged);
}

TEST(RouteGroups, FourteenGroupsJoinIntoEightySixNamesInGroupOrder) {
    BridgeRouter::Groups groups;
    for (const auto& names : pageCalls) {
        groups.push_back(std::make_shared<NamesOnly>(names));
    }
    auto router = BridgeRouter::make(groups);
    ASSERT_EQ(router->names().size(), 86u);
    EXPECT_EQ(router->table().size(), 86u);
    // Each group's names stay together, and the groups keep their order.
    size_t at = 0;
    for (const auto& names : pageCalls) {
        const std::set<std::string> group(
            router->names().begin() + static_cast<long>(at),
            router->names().begin() + static_cast<long>(at + names.size()));
        EXPECT_EQ(group, std::set<std::string>(names.begin(), names.end()));
        at += names.size();
    }
}

}  // namespace
}  // namespace parlendo
