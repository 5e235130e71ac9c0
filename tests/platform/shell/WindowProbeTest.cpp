#include "shell/WindowProbe.h"

#include "ShellDesktop.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace parlendo {
namespace {

using testing::ShellDesktop;

// The probe tells what a window shows; of a password field only how long it is.
TEST(WindowProbeTest, PasswordFieldsAreReportedByTheirLengthOnly) {
    ASSERT_TRUE(ShellDesktop::ready()) << "needs an X display: run under scripts/with-session.sh";
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), "probe-passwords");
    GtkWidget* column = gtk_box_new(GTK_ORIENTATION_VERTICAL, 4);
    GtkWidget* email = gtk_entry_new();
    gtk_entry_set_text(GTK_ENTRY(email), "mina@example.com");
    GtkWidget* password = gtk_entry_new();
    gtk_entry_set_visibility(GTK_ENTRY(password), FALSE);
    gtk_entry_set_text(GTK_ENTRY(password), "비밀 horse 1");
    GtkWidget* plain = gtk_entry_new();
    gtk_entry_set_visibility(GTK_ENTRY(plain), FALSE);
    gtk_entry_set_invisible_char(GTK_ENTRY(plain), '#');
    gtk_entry_set_text(GTK_ENTRY(plain), "pw");
    for (GtkWidget* entry : {email, password, plain}) {
        gtk_box_pack_start(GTK_BOX(column), entry, FALSE, FALSE, 0);
    }
    gtk_container_add(GTK_CONTAINER(window), column);
    gtk_widget_show_all(window);
    ASSERT_TRUE(ShellDesktop::pumpUntil([&] { return ShellDesktop::shown(window); }));

    const auto windows = WindowProbe::windows();
    const auto found = std::find_if(windows.begin(), windows.end(),
                                    [](const auto& w) { return w.title == "probe-passwords"; });
    ASSERT_NE(found, windows.end());
    std::vector<std::string> entries;
    for (const auto& element : found->elements) {
        if (element.role == "entry") {
            entries.push_back(element.text);
            EXPECT_GT(element.place.width, 0);
        }
    }
    // Ten characters, each shown as the field's hidden character.
    char mark[8];
    const int size = g_unichar_to_utf8(gtk_entry_get_invisible_char(GTK_ENTRY(password)), mark);
    std::string shown;
    for (int i = 0; i < 10; ++i) {
        shown.append(mark, static_cast<size_t>(size));
    }
    EXPECT_EQ(entries, (std::vector<std::string>{"mina@example.com", shown, "##"}));
    for (const std::string& text : entries) {
        EXPECT_EQ(text.find("horse"), std::string::npos);
        EXPECT_EQ(text.find("pw"), std::string::npos);
    }
    gtk_widget_destroy(window);
}

}  // namespace
}  // namespace parlendo
