// A small GTK program that plays "another application" for the desktop capture tests: a window
// with a selectable label and a text view, driven by commands on standard input, reporting on
// standard output what it was told and which key presses reached it.
//
//   parlendo_test_window --title T --class C --label TEXT --view TEXT
//
// Commands: "select-label START END", "select-view START END", "focus-label", "focus-view",
// "quit". Output: "ready <xid>" once mapped, "ok" after each command, "key <name> ctrl=<0|1>
// shift=<0|1>" for every key press.
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

GtkWidget* label = nullptr;
GtkWidget* view = nullptr;
GtkWidget* window = nullptr;

void say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

gboolean onKey(GtkWidget*, GdkEventKey* event, gpointer) {
    const char* name = gdk_keyval_name(gdk_keyval_to_lower(event->keyval));
    say(std::string("key ") + (name != nullptr ? name : "?") +
        " ctrl=" + ((event->state & GDK_CONTROL_MASK) != 0 ? "1" : "0") +
        " shift=" + ((event->state & GDK_SHIFT_MASK) != 0 ? "1" : "0"));
    return FALSE;
}

void command(const std::string& line) {
    int start = 0;
    int end = 0;
    if (std::sscanf(line.c_str(), "select-label %d %d", &start, &end) == 2) {
        gtk_widget_grab_focus(label);
        gtk_label_select_region(GTK_LABEL(label), start, end);
    } else if (std::sscanf(line.c_str(), "select-view %d %d", &start, &end) == 2) {
        gtk_widget_grab_focus(view);
        GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(view));
        GtkTextIter from;
        GtkTextIter to;
        gtk_text_buffer_get_iter_at_offset(buffer, &from, start);
        gtk_text_buffer_get_iter_at_offset(buffer, &to, end);
        gtk_text_buffer_select_range(buffer, &from, &to);
    } else if (line == "quit") {
        gtk_main_quit();
        return;
    }
    say("ok");
}

gboolean onInput(GIOChannel* channel, GIOCondition, gpointer) {
    gchar* text = nullptr;
    gsize length = 0;
    if (g_io_channel_read_line(channel, &text, &length, nullptr, nullptr) != G_IO_STATUS_NORMAL ||
        text == nullptr) {
        gtk_main_quit();
        return G_SOURCE_REMOVE;
    }
    std::string line(text);
    g_free(text);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.pop_back();
    }
    command(line);
    return G_SOURCE_CONTINUE;
}

gboolean announce(gpointer) {
    say("ready " + std::to_string(GDK_WINDOW_XID(gtk_widget_get_window(window))));
    return G_SOURCE_REMOVE;
}

}  // namespace

int main(int argc, char** argv) {
    std::string title = "Test window";
    std::string windowClass = "ParlendoTestWindow";
    std::string labelText = "serendipity";
    std::string viewText = "The quick brown fox jumps over the lazy dog.";
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--title") {
            title = argv[i + 1];
        } else if (option == "--class") {
            windowClass = argv[i + 1];
        } else if (option == "--label") {
            labelText = argv[i + 1];
        } else if (option == "--view") {
            viewText = argv[i + 1];
        }
    }
    gdk_set_program_class(windowClass.c_str());
    g_set_prgname(windowClass.c_str());
    gtk_init(&argc, &argv);

    window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), title.c_str());
    gtk_window_set_default_size(GTK_WINDOW(window), 600, 300);
    gtk_window_move(GTK_WINDOW(window), 200, 150);
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 8);
    label = gtk_label_new(labelText.c_str());
    gtk_label_set_selectable(GTK_LABEL(label), TRUE);
    view = gtk_text_view_new();
    gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(view)), viewText.c_str(), -1);
    gtk_box_pack_start(GTK_BOX(box), label, FALSE, FALSE, 8);
    gtk_box_pack_start(GTK_BOX(box), view, TRUE, TRUE, 8);
    gtk_container_add(GTK_CONTAINER(window), box);
    g_signal_connect(window, "key-press-event", G_CALLBACK(onKey), nullptr);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    gtk_widget_show_all(window);

    GIOChannel* input = g_io_channel_unix_new(0);
    g_io_add_watch(input, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP), onInput, nullptr);
    g_timeout_add(100, announce, nullptr);
    gtk_main();
    return 0;
}
