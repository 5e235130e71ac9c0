#include "foundation/GtkWordWrap.h"

namespace parlendo::GtkWordWrap {

namespace {

bool isHangul(gunichar c) {
    return (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0x1100 && c <= 0x11FF) ||
           (c >= 0x3130 && c <= 0x318F);
}

bool notOurs(PangoAttribute* attribute, gpointer) {
    return attribute->klass->type == PANGO_ATTR_ALLOW_BREAKS;
}

// The label's attributes with its words kept whole for its text now.
void apply(GtkLabel* label) {
    PangoAttrList* given = gtk_label_get_attributes(label);
    PangoAttrList* attributes =
        given != nullptr ? pango_attr_list_copy(given) : pango_attr_list_new();
    // What was kept for an earlier text goes.
    PangoAttrList* old = pango_attr_list_filter(
        attributes, +[](PangoAttribute* a, gpointer data) -> gboolean { return notOurs(a, data); },
        nullptr);
    if (old != nullptr) {
        pango_attr_list_unref(old);
    }
    keepWords(attributes, gtk_label_get_text(label));
    gtk_label_set_attributes(label, attributes);
    pango_attr_list_unref(attributes);
}

}  // namespace

void keepWords(PangoAttrList* attributes, std::string_view text) {
    const char* begin = text.data();
    const char* end = begin + text.size();
    const char* word = nullptr;
    bool hangul = false;
    const auto close = [&](const char* at) {
        if (word != nullptr && hangul) {
            PangoAttribute* keep = pango_attr_allow_breaks_new(FALSE);
            keep->start_index = static_cast<guint>(word - begin);
            keep->end_index = static_cast<guint>(at - begin);
            pango_attr_list_insert(attributes, keep);
        }
        word = nullptr;
        hangul = false;
    };
    for (const char* p = begin; p < end;) {
        const gunichar c = g_utf8_get_char_validated(p, end - p);
        if (c == static_cast<gunichar>(-1) || c == static_cast<gunichar>(-2)) {
            end = p;
            break;
        }
        if (g_unichar_isspace(c)) {
            close(p);
        } else {
            if (word == nullptr) {
                word = p;
            }
            hangul = hangul || isHangul(c);
        }
        p = g_utf8_next_char(p);
    }
    close(end);
}

void wrap(GtkWidget* widget) {
    GtkLabel* label = GTK_LABEL(widget);
    gtk_label_set_line_wrap(label, TRUE);
    // Characters only inside a word too long for any line.
    gtk_label_set_line_wrap_mode(label, PANGO_WRAP_WORD_CHAR);
    apply(label);
    g_signal_connect(
        widget, "notify::label",
        G_CALLBACK(+[](GObject* object, GParamSpec*, gpointer) { apply(GTK_LABEL(object)); }),
        nullptr);
}

void wrapWithin(GtkWidget* widget) {
    if (GTK_IS_LABEL(widget)) {
        if (gtk_label_get_line_wrap(GTK_LABEL(widget))) {
            wrap(widget);
        }
        return;
    }
    if (!GTK_IS_CONTAINER(widget)) {
        return;
    }
    GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
    for (GList* l = children; l != nullptr; l = l->next) {
        wrapWithin(GTK_WIDGET(l->data));
    }
    g_list_free(children);
}

}  // namespace parlendo::GtkWordWrap
