#include "ShellDesktop.h"
#include "foundation/GlibMainExecutor.h"
#include "shell/ToolkitWarmup.h"

#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

namespace parlendo {
namespace {

using testing::ShellDesktop;

// Watches files for being opened.
class Opens {
  public:
    explicit Opens(const std::vector<std::filesystem::path>& files)
        : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        for (const auto& file : files) {
            inotify_add_watch(fd_, file.c_str(), IN_OPEN);
        }
    }
    ~Opens() { ::close(fd_); }
    Opens(const Opens&) = delete;
    Opens& operator=(const Opens&) = delete;

    // How many opens were seen since the last call.
    int count() {
        int seen = 0;
        alignas(inotify_event) char buffer[4096];
        ssize_t length = 0;
        while ((length = ::read(fd_, buffer, sizeof buffer)) > 0) {
            for (char* at = buffer; at < buffer + length;) {
                const auto* event = reinterpret_cast<const inotify_event*>(at);
                seen += (event->mask & IN_OPEN) != 0;
                at += sizeof(inotify_event) + event->len;
            }
        }
        return seen;
    }

  private:
    int fd_;
};

// The index files of the icon theme in use and the themes it inherits from, wherever the toolkit
// looks for them.
std::vector<std::filesystem::path> themeIndexes() {
    gchar* name = nullptr;
    g_object_get(gtk_settings_get_default(), "gtk-icon-theme-name", &name, nullptr);
    gchar** path = nullptr;
    gint count = 0;
    gtk_icon_theme_get_search_path(gtk_icon_theme_get_default(), &path, &count);
    std::vector<std::filesystem::path> out;
    for (gint i = 0; i < count; ++i) {
        for (const std::string& theme : {std::string(name != nullptr ? name : ""),
                                         std::string("Adwaita"), std::string("hicolor")}) {
            const auto index = std::filesystem::path(path[i]) / theme / "index.theme";
            std::error_code ec;
            if (!theme.empty() && std::filesystem::exists(index, ec)) {
                out.push_back(index);
            }
        }
    }
    g_strfreev(path);
    g_free(name);
    return out;
}

// The first busy spinner of a run (the login window's, the moment the user signs in) would read
// the icon theme inside one frame, tens of milliseconds of a stalled main loop; the start reads it
// ahead.
TEST(ToolkitWarmup, TheFirstSpinnerFindsTheIconThemeReadAhead) {
    ASSERT_TRUE(ShellDesktop::ready()) << "needs an X display: run under scripts/with-session.sh";
    const auto indexes = themeIndexes();
    ASSERT_FALSE(indexes.empty());
    Opens opens(indexes);
    ToolkitWarmup::prepareIcons(std::make_shared<GlibMainExecutor>());
    ShellDesktop::pumpFor(0.2);
    EXPECT_GT(opens.count(), 0) << "the theme was not read ahead";

    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWidget* spinner = gtk_spinner_new();
    gtk_container_add(GTK_CONTAINER(window), spinner);
    gtk_widget_show_all(window);
    gtk_spinner_start(GTK_SPINNER(spinner));
    ASSERT_TRUE(ShellDesktop::pumpUntil([spinner] { return gtk_widget_get_mapped(spinner); }));
    ShellDesktop::pumpFor(0.2);
    EXPECT_EQ(opens.count(), 0) << "the spinner read the icon theme as it was drawn";
    gtk_widget_destroy(window);
}

}  // namespace
}  // namespace parlendo
