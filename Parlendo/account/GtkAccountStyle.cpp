#include "account/GtkAccountStyle.h"

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

}  // namespace parlendo::GtkAccountStyle
