// A small GTK program that plays "another application" for the desktop capture tests: a window
// with a selectable label and a text view, driven by commands on standard input, reporting on
// standard output what it was told and which key presses reached it.
//
//   parlendo_test_window --title T --class C --label TEXT --view TEXT [--view-length N]
//                        [--rows N] [--no-accessibility] [--no-primary] [--copy-as png|bad-utf8]
//                        [--address URL] [--drag-file PATH] [--at X,Y] [--hold-pty]
//                        [--page N [--stop-at K]]
//
// --view-length fills the text view with N characters of English prose; --rows adds N more
// selectable labels below the view (a large accessibility tree); --no-accessibility keeps the
// window off the accessibility bus; --no-primary keeps the window's selection out of the PRIMARY
// selection (an application that does not offer it; the label is not selectable then); --copy-as
// makes Control+C put an image, or text that is not valid UTF-8, on the clipboard instead of the
// selection; --address makes it look like a browser
// to the accessibility bus: a toolbar right under the window whose entry holds the page's address
// (the label and the view sit in the toolbar too); --drag-file puts the file's name above the
// label, to be dragged as a file manager drags a file (text/uri-list); --at places the window;
// --hold-pty keeps a pseudo-terminal master open, as a terminal emulator does; --page adds a web
// page of N paragraphs as a browser shows it to the accessibility bus, which stops answering when
// a reader asks for its paragraph K (TestPage.h).
//
// Commands: "select-label START END", "select-view START END", "select-page" (the page, all of
// it selected, takes the focus), "where-label" (answers
// "at X Y WIDTH HEIGHT", the screen rectangle of the label's selection), "where-drag" (the screen
// rectangle of the dragged file's name), "refuse-clipboard" (takes CLIPBOARD on an X connection of
// its own and refuses every request for it, TARGETS included; answers "owner <xid>"), "quit".
// Output: "ready <xid>" once mapped, "ok" after each command, "key <name> ctrl=<0|1> shift=<0|1>"
// for every key press, "dragged <action>" when a drag of the file ends, with the action the drop
// took ("none" when nothing took it), after "drag-failed <GtkDragResult>" when it failed, and
// "refused <target>" for every clipboard request refused.
#include "TestPage.h"

#include <X11/Xlib.h>
#include <fcntl.h>
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
GtkWidget* dragSource = nullptr;
GtkWidget* page = nullptr;
std::string copyAs;
std::string dragURI;

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

void provideDraggedFile(GtkWidget*, GdkDragContext*, GtkSelectionData* data, guint, guint,
                        gpointer) {
    gchar* uris[] = {const_cast<gchar*>(dragURI.c_str()), nullptr};
    gtk_selection_data_set_uris(data, uris);
}

void dragEnded(GtkWidget*, GdkDragContext* context, gpointer) {
    const GdkDragAction action = gdk_drag_context_get_selected_action(context);
    say(std::string("dragged ") + (action == GDK_ACTION_COPY   ? "copy"
                                   : action == GDK_ACTION_MOVE ? "move"
                                   : action == 0               ? "none"
                                                               : "other"));
}

gboolean dragFailed(GtkWidget*, GdkDragContext*, GtkDragResult result, gpointer) {
    say("drag-failed " + std::to_string(static_cast<int>(result)));
    return FALSE;
}

std::string whereWidget(GtkWidget* widget) {
    if (widget == nullptr) {
        return "at none";
    }
    GtkAllocation allocation;
    gtk_widget_get_allocation(widget, &allocation);
    int x = 0;
    int y = 0;
    gdk_window_get_origin(gtk_widget_get_window(widget), &x, &y);
    if (!gtk_widget_get_has_window(widget)) {
        x += allocation.x;
        y += allocation.y;
    }
    return "at " + std::to_string(x) + " " + std::to_string(y) + " " +
           std::to_string(allocation.width) + " " + std::to_string(allocation.height);
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

// The CLIPBOARD owner of "refuse-clipboard": it answers every request with no data.
Display* refusing = nullptr;

gboolean refuseRequests(GIOChannel*, GIOCondition, gpointer) {
    while (XPending(refusing) > 0) {
        XEvent event;
        XNextEvent(refusing, &event);
        if (event.type != SelectionRequest) {
            continue;
        }
        const XSelectionRequestEvent& request = event.xselectionrequest;
        XEvent reply{};
        reply.xselection.type = SelectionNotify;
        reply.xselection.display = refusing;
        reply.xselection.requestor = request.requestor;
        reply.xselection.selection = request.selection;
        reply.xselection.target = request.target;
        reply.xselection.property = None;
        reply.xselection.time = request.time;
        XSendEvent(refusing, request.requestor, False, NoEventMask, &reply);
        char* target = XGetAtomName(refusing, request.target);
        say(std::string("refused ") + (target != nullptr ? target : "?"));
        XFree(target);
    }
    XFlush(refusing);
    return G_SOURCE_CONTINUE;
}

std::string refuseClipboard() {
    if (refusing == nullptr) {
        refusing = XOpenDisplay(nullptr);
        if (refusing == nullptr) {
            return "owner none";
        }
        g_io_add_watch(g_io_channel_unix_new(ConnectionNumber(refusing)), G_IO_IN, refuseRequests,
                       nullptr);
    }
    const ::Window owner =
        XCreateSimpleWindow(refusing, DefaultRootWindow(refusing), 0, 0, 1, 1, 0, 0, 0);
    XSetSelectionOwner(refusing, XInternAtom(refusing, "CLIPBOARD", False), owner, CurrentTime);
    XSync(refusing, False);
    return "owner " + std::to_string(owner);
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
    } else if (line == "select-page" && page != nullptr) {
        gtk_widget_grab_focus(page);
    } else if (line == "where-label") {
        say(whereLabel());
    } else if (line == "where-drag") {
        say(whereWidget(dragSource));
    } else if (line == "refuse-clipboard") {
        say(refuseClipboard());
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
    std::string address;
    std::string dragFile;
    int atX = 200;
    int atY = 150;
    bool primary = true;
    long pageParagraphs = 0;
    long stopAt = -1;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--no-accessibility") {
            g_setenv("NO_AT_BRIDGE", "1", TRUE);
            continue;
        }
        if (option == "--no-primary") {
            primary = false;
            continue;
        }
        if (option == "--hold-pty") {
            // Held open until the window quits.
            if (posix_openpt(O_RDWR | O_NOCTTY) < 0) {
                say("no-pty");
            }
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
        } else if (option == "--address") {
            address = value;
        } else if (option == "--drag-file") {
            dragFile = value;
        } else if (option == "--page") {
            pageParagraphs = std::strtol(value, nullptr, 10);
        } else if (option == "--stop-at") {
            stopAt = std::strtol(value, nullptr, 10);
        } else if (option == "--at") {
            std::sscanf(value, "%d,%d", &atX, &atY);
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
    gtk_window_move(GTK_WINDOW(window), atX, atY);
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 8);
    if (!dragFile.empty()) {
        gchar* uri = g_filename_to_uri(dragFile.c_str(), nullptr, nullptr);
        dragURI = uri != nullptr ? uri : "";
        g_free(uri);
        gchar* name = g_filename_display_basename(dragFile.c_str());
        dragSource = gtk_event_box_new();
        gtk_container_add(GTK_CONTAINER(dragSource), gtk_label_new(name));
        g_free(name);
        static GtkTargetEntry uriList{const_cast<gchar*>("text/uri-list"), 0, 0};
        gtk_drag_source_set(dragSource, GDK_BUTTON1_MASK, &uriList, 1, GDK_ACTION_COPY);
        g_signal_connect(dragSource, "drag-data-get", G_CALLBACK(provideDraggedFile), nullptr);
        g_signal_connect(dragSource, "drag-end", G_CALLBACK(dragEnded), nullptr);
        g_signal_connect(dragSource, "drag-failed", G_CALLBACK(dragFailed), nullptr);
        gtk_box_pack_start(GTK_BOX(box), dragSource, FALSE, FALSE, 8);
    }
    label = gtk_label_new(labelText.c_str());
    gtk_label_set_selectable(GTK_LABEL(label), TRUE);
    view = gtk_text_view_new();
    gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(view), GTK_WRAP_WORD);
    gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(view)), viewText.c_str(), -1);
    gtk_box_pack_start(GTK_BOX(box), label, FALSE, FALSE, 8);
    gtk_box_pack_start(GTK_BOX(box), view, TRUE, TRUE, 8);
    if (pageParagraphs > 0) {
        page = testPageNew(static_cast<int>(pageParagraphs), static_cast<int>(stopAt));
        gtk_box_pack_start(GTK_BOX(box), page, FALSE, FALSE, 0);
    }
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
    if (address.empty()) {
        gtk_container_add(GTK_CONTAINER(window), box);
    } else {
        GtkWidget* toolbar = gtk_toolbar_new();
        gtk_orientable_set_orientation(GTK_ORIENTABLE(toolbar), GTK_ORIENTATION_VERTICAL);
        gtk_toolbar_set_show_arrow(GTK_TOOLBAR(toolbar), FALSE);
        GtkWidget* entry = gtk_entry_new();
        gtk_entry_set_text(GTK_ENTRY(entry), address.c_str());
        // Browsers' address bars are entries; GTK calls its entry plain text.
        atk_object_set_role(gtk_widget_get_accessible(entry), ATK_ROLE_ENTRY);
        for (GtkWidget* part : {entry, box}) {
            GtkToolItem* item = gtk_tool_item_new();
            gtk_tool_item_set_expand(item, TRUE);
            gtk_container_add(GTK_CONTAINER(item), part);
            gtk_toolbar_insert(GTK_TOOLBAR(toolbar), item, -1);
        }
        gtk_container_add(GTK_CONTAINER(window), toolbar);
    }
    g_signal_connect(window, "key-press-event", G_CALLBACK(onKey), nullptr);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    gtk_widget_show_all(window);
    if (!primary) {
        // The view offers its selection as PRIMARY from its realization on.
        gtk_text_buffer_remove_selection_clipboard(
            gtk_text_view_get_buffer(GTK_TEXT_VIEW(view)),
            gtk_widget_get_clipboard(view, GDK_SELECTION_PRIMARY));
        // A selectable label takes PRIMARY too when it gets the focus: none then.
        gtk_label_set_selectable(GTK_LABEL(label), FALSE);
    }

    GIOChannel* input = g_io_channel_unix_new(0);
    g_io_add_watch(input, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP), onInput, nullptr);
    g_timeout_add(100, announce, nullptr);
    gtk_main();
    return 0;
}
