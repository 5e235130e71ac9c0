// A small GTK program that plays "another application" for the desktop capture tests: a window
// with a selectable label and a text view, driven by commands on standard input, reporting on
// standard output what it was told and which key presses reached it.
//
//   parlendo_test_window --title T --class C --label TEXT --view TEXT [--view-length N]
//                        [--rows N] [--no-accessibility] [--copy-as png|bad-utf8]
//
// --view-length fills the text view with N characters of English prose; --rows adds N more
// selectable labels below the view (a large accessibility tree); --no-accessibility keeps the
// window off the accessibility bus; --copy-as makes Control+C put an image, or text that is not
// valid UTF-8, on the clipboard instead of the selection.
//
// Commands: "select-label START END", "select-view START END", "where-label" (answers
// "at X Y WIDTH HEIGHT", the screen rectangle of the label's selection), "quit". Output:
// "ready <xid>" once mapped, "ok" after each command, "key <name> ctrl=<0|1> shift=<0|1>" for
// every key press.
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
std::string copyAs;

void say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

// What --copy-as puts on the clipboard.
void provideCopy(GtkClipboard*, GtkSelectionData* data, guint, gpointer) {
    if (copyAs == "png") {
        // The eight bytes of the PNG signature: not text in any target.
        static const guchar png[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
        gtk_selection_data_set(data, gdk_atom_intern("image/png", FALSE), 8, png, sizeof png);
    } else {
        static const char bad[] = "serendipity \xff\xfe\xc3 caf\xe9";
        gtk_selection_data_set(data, gdk_atom_intern("UTF8_STRING", FALSE), 8,
                               reinterpret_cast<const guchar*>(bad), sizeof bad - 1);
    }
}

gboolean onKey(GtkWidget*, GdkEventKey* event, gpointer) {
    const char* name = gdk_keyval_name(gdk_keyval_to_lower(event->keyval));
    const bool control = (event->state & GDK_CONTROL_MASK) != 0;
    say(std::string("key ") + (name != nullptr ? name : "?") + " ctrl=" + (control ? "1" : "0") +
        " shift=" + ((event->state & GDK_SHIFT_MASK) != 0 ? "1" : "0"));
    if (!copyAs.empty() && control && gdk_keyval_to_lower(event->keyval) == GDK_KEY_c) {
        static GtkTargetEntry target{const_cast<gchar*>("image/png"), 0, 0};
        target.target = const_cast<gchar*>(copyAs == "png" ? "image/png" : "UTF8_STRING");
        gtk_clipboard_set_with_data(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), &target, 1,
                                    provideCopy, nullptr, nullptr);
        return TRUE;
    }
    return FALSE;
}

// The screen rectangle of the label's selection, from the label's own text layout.
std::string whereLabel() {
    int start = 0;
    int end = 0;
    if (!gtk_label_get_selection_bounds(GTK_LABEL(label), &start, &end) || end <= start) {
        return "at none";
    }
    PangoLayout* layout = gtk_label_get_layout(GTK_LABEL(label));
    const char* text = pango_layout_get_text(layout);
    const int from = static_cast<int>(g_utf8_offset_to_pointer(text, start) - text);
    const int to = static_cast<int>(g_utf8_offset_to_pointer(text, end - 1) - text);
    PangoRectangle first;
    PangoRectangle last;
    pango_layout_index_to_pos(layout, from, &first);
    pango_layout_index_to_pos(layout, to, &last);
    int offsetX = 0;
    int offsetY = 0;
    gtk_label_get_layout_offsets(GTK_LABEL(label), &offsetX, &offsetY);
    int originX = 0;
    int originY = 0;
    gdk_window_get_origin(gtk_widget_get_window(label), &originX, &originY);
    const int left = originX + offsetX + PANGO_PIXELS(first.x);
    const int right = originX + offsetX + PANGO_PIXELS(last.x + last.width);
    const int top = originY + offsetY + PANGO_PIXELS(first.y);
    const int height = PANGO_PIXELS(first.height);
    return "at " + std::to_string(left) + " " + std::to_string(top) + " " +
           std::to_string(right - left) + " " + std::to_string(height);
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
    } else if (line == "where-label") {
        say(whereLabel());
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
    long viewLength = -1;
    long rows = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--no-accessibility") {
            g_setenv("NO_AT_BRIDGE", "1", TRUE);
            continue;
        }
        if (i + 1 >= argc) {
            break;
        }
        const char* value = argv[++i];
        if (option == "--title") {
            title = value;
        } else if (option == "--class") {
            windowClass = value;
        } else if (option == "--label") {
            labelText = value;
        } else if (option == "--view") {
            viewText = value;
        } else if (option == "--view-length") {
            viewLength = std::strtol(value, nullptr, 10);
        } else if (option == "--rows") {
            rows = std::strtol(value, nullptr, 10);
        } else if (option == "--copy-as") {
            copyAs = value;
        }
    }
    if (viewLength >= 0) {
        const std::string prose = "The quick brown fox jumps over the lazy dog. ";
        viewText.clear();
        while (static_cast<long>(viewText.size()) < viewLength) {
            viewText += prose;
        }
        viewText.resize(static_cast<size_t>(viewLength));
        if (!viewText.empty() && viewText.back() == ' ') {
            viewText.back() = '.';  // exactly N characters, none of them trailing blanks
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
    gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(view), GTK_WRAP_WORD);
    gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(view)), viewText.c_str(), -1);
    gtk_box_pack_start(GTK_BOX(box), label, FALSE, FALSE, 8);
    gtk_box_pack_start(GTK_BOX(box), view, TRUE, TRUE, 8);
    if (rows > 0) {
        GtkWidget* list = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
        for (long i = 0; i < rows; ++i) {
            GtkWidget* row = gtk_label_new(("row " + std::to_string(i)).c_str());
            gtk_label_set_selectable(GTK_LABEL(row), TRUE);
            gtk_box_pack_start(GTK_BOX(list), row, FALSE, FALSE, 0);
        }
        GtkWidget* scroller = gtk_scrolled_window_new(nullptr, nullptr);
        gtk_widget_set_size_request(scroller, -1, 80);
        gtk_container_add(GTK_CONTAINER(scroller), list);
        gtk_box_pack_start(GTK_BOX(box), scroller, FALSE, FALSE, 0);
    }
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
