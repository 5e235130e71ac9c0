#include "foundation/AppConfig.h"

#include "foundation/AppBundle.h"
#include "foundation/Constants.h"
#include "foundation/GtkAlert.h"
#include "foundation/GtkWordWrap.h"
#include "foundation/Log.h"
#include "foundation/RuntimeConfigLoader.h"
#include "foundation/RuntimePaths.h"

#include <cstdio>
#include <cstdlib>

namespace parlendo::AppConfig {

namespace {
constexpr int kExitConfig = 78;  // EX_CONFIG
}  // namespace

std::string loadedLine(const RuntimeConfig& config) {
    return "프로필 로드됨 source=" + config.source + " project=" + config.projectID +
           " deployment=" + toString(config.deploymentKind) +
           " embedding=" + (config.embeddingEnabled ? "true" : "false") +
           " sha=" + config.profileSHA256.substr(0, 8);
}

std::string refusedLine(const std::string& code) {
    return "🔴 프로필 거부 code=" + code + " — 앱을 시작하지 않는다";
}

std::string alertInformativeText(const std::string& code) {
    return "PARLENDO 를 시작할 수 없어요. (사유: " + code +
           ")\n\n설치본이 손상됐거나 설정 파일이 빠졌을 수 있어요.\n다시 설치해도 같은 화면이 "
           "나오면 이 사유 코드를 알려주세요.";
}

GtkWidget* makeAlert(const std::string& code) {
    GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR,
                                               GTK_BUTTONS_NONE, "%s", alertMessage);
    gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s",
                                             alertInformativeText(code).c_str());
    GtkWordWrap::wrapWithin(gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(dialog)));
    gtk_dialog_add_button(GTK_DIALOG(dialog), "확인", GTK_RESPONSE_OK);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
    gtk_window_set_title(GTK_WINDOW(dialog), "PARLENDO");
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
    gtk_window_set_urgency_hint(GTK_WINDOW(dialog), TRUE);
    return dialog;
}

void fail(const std::string& code) {
    Log::flush();
    if (gtk_init_check(nullptr, nullptr)) {
        GtkWidget* dialog = makeAlert(code);
        // The answer to the user's start of the program.
        GtkAlert::present(GTK_WINDOW(dialog));
        gtk_dialog_run(GTK_DIALOG(dialog));
        gtk_widget_destroy(dialog);
    } else {
        std::fprintf(stderr, "%s\n%s\n", alertMessage, alertInformativeText(code).c_str());
    }
    std::exit(kExitConfig);
}

RuntimeConfig load() {
    const AppBundle& bundle = AppBundle::main();
    const auto environment = RuntimePaths::processEnvironment();
    const bool release = RuntimeConfigLoader::defaultIsRelease(bundle, environment);
    auto config = RuntimeConfigLoader::load(bundle, environment, release);
    if (!config) {
        const std::string& code = config.error().code();
        Log::write("config", refusedLine(code));
        fail(code);
    }
    Log::write("config", loadedLine(*config));
    if (config->connectTo || config->trustedCAFile) {
        Log::write("config", "개발용 연결 설정 connect_to=" + config->connectTo.value_or("-") +
                                 " ca_file=" + config->trustedCAFile.value_or("-"));
    }
    return std::move(*config);
}

const std::string& serverAppVersion() {
    static const std::string version = Constants::serverAppVersion(AppBundle::main().buildLabel);
    return version;
}

bool webInspectorEnabled() {
    static const bool enabled = !RuntimeConfigLoader::defaultIsRelease();
    return enabled;
}

}  // namespace parlendo::AppConfig
