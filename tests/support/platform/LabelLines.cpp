#include "LabelLines.h"

#include <functional>

namespace parlendo::testing {

namespace {

bool isHangul(gunichar c) {
    return (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0x1100 && c <= 0x11FF) ||
           (c >= 0x3130 && c <= 0x318F);
}

// Visits `widget` and what it holds; `visit` answers whether to go into a container.
void walk(GtkWidget* widget, const std::function<bool(GtkWidget*)>& visit) {
    if (!visit(widget) || !GTK_IS_CONTAINER(widget)) {
        return;
    }
    // Internal children too (a message dialog's texts, a button's label).
    gtk_container_forall(
        GTK_CONTAINER(widget),
        +[](GtkWidget* child, gpointer data) {
            walk(child, *static_cast<const std::function<bool(GtkWidget*)>*>(data));
        },
        const_cast<std::function<bool(GtkWidget*)>*>(&visit));
}

// The word of `text` around the byte `at`, with " / " where it is broken.
std::string around(const std::string& text, size_t at) {
    size_t start = at;
    while (start > 0 && text[start - 1] != ' ' && text[start - 1] != '\n') {
        --start;
    }
    size_t end = at;
    while (end < text.size() && text[end] != ' ' && text[end] != '\n') {
        ++end;
    }
    return text.substr(start, at - start) + " / " + text.substr(at, end - at);
}

}  // namespace

std::vector<std::string> LabelLines::texts(GtkWidget* widget, bool hidden) {
    std::vector<std::string> out;
    walk(widget, [&](GtkWidget* w) {
        if (!hidden && !gtk_widget_get_visible(w)) {
            return false;
        }
        if (GTK_IS_LABEL(w)) {
            const gchar* text = gtk_label_get_text(GTK_LABEL(w));
            if (text != nullptr && *text != '\0') {
                out.emplace_back(text);
            }
        }
        return true;
    });
    return out;
}

std::vector<GtkWidget*> LabelLines::labels(GtkWidget* widget) {
    std::vector<GtkWidget*> out;
    walk(widget, [&](GtkWidget* w) {
        if (GTK_IS_LABEL(w)) {
            out.push_back(w);
        }
        return true;
    });
    return out;
}

int LabelLines::lineCount(GtkWidget* label) {
    return pango_layout_get_line_count(gtk_label_get_layout(GTK_LABEL(label)));
}

std::vector<std::string> LabelLines::breaksInsideWords(GtkWidget* label) {
    PangoLayout* layout = gtk_label_get_layout(GTK_LABEL(label));
    const std::string text = pango_layout_get_text(layout);
    std::vector<std::string> broken;
    for (GSList* l = pango_layout_get_lines_readonly(layout); l != nullptr; l = l->next) {
        const auto* line = static_cast<PangoLayoutLine*>(l->data);
        const auto at = static_cast<size_t>(line->start_index);
        if (at == 0 || at >= text.size() || text[at - 1] == '\n') {
            continue;
        }
        const char* here = text.c_str() + at;
        const gunichar after = g_utf8_get_char(here);
        const gunichar before = g_utf8_get_char(g_utf8_prev_char(here));
        if (g_unichar_isspace(before) || g_unichar_isspace(after)) {
            continue;
        }
        if (isHangul(before) || isHangul(after)) {
            broken.push_back(around(text, at));
        }
    }
    return broken;
}

}  // namespace parlendo::testing
