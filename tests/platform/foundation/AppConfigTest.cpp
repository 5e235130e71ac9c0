#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "LogCapture.h"
#include "TempDir.h"
#include "foundation/AppConfig.h"

namespace parlendo {
namespace {

TEST(AppConfig, LogLines) {
    RuntimeConfig config;
    config.source = "bundled_profile";
    config.projectID = "abc";
    config.deploymentKind = RuntimeConfig::Deployment::release;
    config.embeddingEnabled = true;
    config.profileSHA256 = "0123456789abcdef";
    EXPECT_EQ(AppConfig::loadedLine(config),
              "프로필 로드됨 source=bundled_profile project=abc deployment=release "
              "embedding=true sha=01234567");
    config.profileSHA256.clear();  // a profile that could not be hashed
    config.embeddingEnabled = false;
    config.deploymentKind = RuntimeConfig::Deployment::synthetic;
    EXPECT_EQ(AppConfig::loadedLine(config),
              "프로필 로드됨 source=bundled_profile project=abc deployment=synthetic "
              "embedding=false sha=");
    EXPECT_EQ(AppConfig::refusedLine("PROFILE_FIELDS_INVALID"),
              "🔴 프로필 거부 code=PROFILE_FIELDS_INVALID — 앱을 시작하지 않는다");
}

TEST(AppConfig, BuildTreeIsADevelopmentBuild) {
    EXPECT_TRUE(AppConfig::webInspectorEnabled());
    EXPECT_EQ(AppConfig::serverAppVersion().rfind("0.2.0+mac.", 0), 0u);
    EXPECT_EQ(AppConfig::serverAppVersion().size(), std::string("0.2.0+mac.20260101.01").size());
}

TEST(AppConfig, AlertSaysWhatHappenedAndOffersOneButton) {
    if (!gtk_init_check(nullptr, nullptr)) {
        GTEST_SKIP() << "no display; run through scripts/with-session.sh";
    }
    GtkWidget* dialog = AppConfig::makeAlert("PROFILE_ID_INVALID");
    gchar* text = nullptr;
    gchar* secondary = nullptr;
    GtkMessageType type = GTK_MESSAGE_OTHER;
    g_object_get(dialog, "text", &text, "secondary-text", &secondary, "message-type", &type,
                 nullptr);
    EXPECT_STREQ(text, "설정을 읽지 못했어요");
    EXPECT_STREQ(secondary,
                 "PARLENDO 를 시작할 수 없어요. (사유: PROFILE_ID_INVALID)\n\n설치본이 손상됐거나 "
                 "설정 파일이 빠졌을 수 있어요.\n다시 설치해도 같은 화면이 나오면 이 사유 코드를 "
                 "알려주세요.");
    EXPECT_EQ(type, GTK_MESSAGE_ERROR);
    EXPECT_TRUE(gtk_window_get_modal(GTK_WINDOW(dialog)));
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    GList* buttons =
        gtk_container_get_children(GTK_CONTAINER(gtk_dialog_get_action_area(GTK_DIALOG(dialog))));
    G_GNUC_END_IGNORE_DEPRECATIONS
    ASSERT_EQ(g_list_length(buttons), 1u);
    EXPECT_STREQ(gtk_button_get_label(GTK_BUTTON(buttons->data)), "확인");
    g_list_free(buttons);
    g_free(text);
    g_free(secondary);
    gtk_widget_destroy(dialog);
}

// Presses the alert's button as soon as it is shown.
gboolean confirmAlert(gpointer) {
    GList* windows = gtk_window_list_toplevels();
    bool pressed = false;
    for (GList* w = windows; w != nullptr; w = w->next) {
        if (GTK_IS_MESSAGE_DIALOG(w->data) && gtk_widget_get_visible(GTK_WIDGET(w->data))) {
            gchar* secondary = nullptr;
            g_object_get(w->data, "secondary-text", &secondary, nullptr);
            std::fprintf(stderr, "alert: %s\n", secondary);
            g_free(secondary);
            gtk_dialog_response(GTK_DIALOG(w->data), GTK_RESPONSE_OK);
            pressed = true;
        }
    }
    g_list_free(windows);
    return pressed ? G_SOURCE_REMOVE : G_SOURCE_CONTINUE;
}

TEST(AppConfigDeathTest, RefusedProfileShowsTheAlertAndExits78) {
    if (std::getenv("DISPLAY") == nullptr) {
        GTEST_SKIP() << "no display; run through scripts/with-session.sh";
    }
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    testing::TempDir dir;
    const auto bad = dir.write("profile.json", R"({"schema_version": 1})");
    EXPECT_EXIT(
        {
            ::setenv("PARLENDO_PROFILE", bad.c_str(), 1);
            testing::LogCapture::echoToStandardError();
            g_timeout_add(50, confirmAlert, nullptr);
            AppConfig::load();
            std::exit(0);  // not reached
        },
        ::testing::ExitedWithCode(78),
        "code=PROFILE_FIELDS_INVALID(.|\n)*alert: PARLENDO .*사유: PROFILE_FIELDS_INVALID");
}

TEST(AppConfigDeathTest, WithoutADisplayTheReasonGoesToStandardError) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ::unsetenv("DISPLAY");
            ::unsetenv("WAYLAND_DISPLAY");
            ::setenv("PARLENDO_PROFILE", "/nonexistent/profile.json", 1);
            AppConfig::load();
            std::exit(0);
        },
        ::testing::ExitedWithCode(78), "사유: PUBLIC_PROFILE_UNREADABLE");
}

TEST(AppConfig, DevelopmentProfileLoads) {
    testing::TempDir dir;
    const auto good = dir.write("profile.json", R"({"schema_version":1,"profile_id":"dev",
        "project_id":"dev","supabase_url":"https://dev.invalid","public_key_kind":"publishable",
        "public_key":"sb_publishable_0123456789abcdef","embedding_enabled":false,
        "dictionary_route":"rpc_only","deployment_kind":"synthetic"})");
    ::setenv("PARLENDO_PROFILE", good.c_str(), 1);
    testing::LogCapture log;
    const RuntimeConfig config = AppConfig::load();
    ::unsetenv("PARLENDO_PROFILE");
    EXPECT_EQ(config.source, "explicit_developer_profile");
    const std::string lines = log.all();  // one line, whatever its tag
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 1);
    EXPECT_EQ(lines.rfind("[config] 프로필 로드됨 source=explicit_developer_profile project=dev "
                          "deployment=synthetic embedding=false sha=",
                          0),
              0u);
}

}  // namespace
}  // namespace parlendo
