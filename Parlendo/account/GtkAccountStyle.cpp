#include "account/GtkAccountStyle.h"

#include "foundation/PlatformWords.h"

#include <string>

namespace parlendo::GtkAccountStyle {

namespace {

constexpr const char* errorClass = "parlendo-error";
constexpr const char* noticeClass = "parlendo-notice";

// The look of the account windows' labels, added once to the screen.
void install() {
    static bool installed = false;
    if (installed || gdk_screen_get_default() == nullptr) {
        return;
    }
    installed = true;
    GtkCssProvider* provider = gtk_css_provider_new();
    gtk_css_provider_load_from_data(provider,
                                    "label.parlendo-error { color: #d70015; font-size: 12pt; }\n"
                                    "label.parlendo-notice { opacity: 0.7; font-size: 12pt; }\n",
                                    -1, nullptr);
    gtk_style_context_add_provider_for_screen(gdk_screen_get_default(),
                                              GTK_STYLE_PROVIDER(provider),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(provider);
}

}  // namespace

void bold(GtkWidget* label, int size) {
    PangoAttrList* attributes = pango_attr_list_new();
    pango_attr_list_insert(attributes, pango_attr_weight_new(PANGO_WEIGHT_BOLD));
    pango_attr_list_insert(attributes, pango_attr_size_new(size * PANGO_SCALE));
    gtk_label_set_attributes(GTK_LABEL(label), attributes);
    pango_attr_list_unref(attributes);
}

void message(GtkWidget* label, bool error) {
    install();
    GtkStyleContext* style = gtk_widget_get_style_context(label);
    gtk_style_context_remove_class(style, error ? noticeClass : errorClass);
    gtk_style_context_add_class(style, error ? errorClass : noticeClass);
}

GtkWidget* window(const char* title, int width, int height) {
    GtkWidget* widget = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWindow* window = GTK_WINDOW(widget);
    gtk_window_set_title(window, title);
    gtk_window_set_default_size(window, width, height);
    gtk_window_set_resizable(window, FALSE);
    gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_DIALOG);
    // Centred when shown, then left where it is: a window that followed its own size would jump.
    gtk_window_set_position(window, GTK_WIN_POS_CENTER);
    g_signal_connect(widget, "delete-event", G_CALLBACK(gtk_widget_hide_on_delete), nullptr);
    return widget;
}

GtkWidget* content() {
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 12);
    gtk_widget_set_margin_top(box, 24);
    gtk_widget_set_margin_start(box, 28);
    gtk_widget_set_margin_bottom(box, 24);
    gtk_widget_set_margin_end(box, 28);
    gtk_widget_set_valign(box, GTK_ALIGN_START);
    return box;
}

GtkWidget* field(const char* placeholder, int width, bool secret) {
    GtkWidget* entry = gtk_entry_new();
    gtk_entry_set_placeholder_text(GTK_ENTRY(entry), PlatformWords::render(placeholder).c_str());
    gtk_entry_set_activates_default(GTK_ENTRY(entry), TRUE);
    gtk_widget_set_size_request(entry, width, -1);
    gtk_widget_set_halign(entry, GTK_ALIGN_START);
    if (secret) {
        gtk_entry_set_visibility(GTK_ENTRY(entry), FALSE);
        gtk_entry_set_input_purpose(GTK_ENTRY(entry), GTK_INPUT_PURPOSE_PASSWORD);
    }
    return entry;
}

std::vector<GtkWidget*> fontSamples(const char* text) {
    std::vector<GtkWidget*> samples;
    for (const int size : {titleSize, headingSize}) {
        samples.push_back(gtk_label_new(text));
        bold(samples.back(), size);
    }
    samples.push_back(gtk_label_new(text));
    message(samples.back(), true);
    return samples;
}

}  // namespace parlendo::GtkAccountStyle
