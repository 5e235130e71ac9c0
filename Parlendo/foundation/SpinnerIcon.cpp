#include "foundation/SpinnerIcon.h"

#include "foundation/MainSteps.h"

#include <gtk/gtk.h>

namespace parlendo::SpinnerIcon {

namespace {

constexpr const char* name = "process-working-symbolic";
// The size the theme's spinner draws it at.
constexpr int size = 16;

}  // namespace

void prepare(ExecutorPtr main) {
    MainSteps::run(main,
                   {[] { gtk_icon_theme_has_icon(gtk_icon_theme_get_default(), name); },
                    [] {
                        GtkIconInfo* info = gtk_icon_theme_lookup_icon_for_scale(
                            gtk_icon_theme_get_default(), name, size, 1,
                            GTK_ICON_LOOKUP_USE_BUILTIN);
                        if (info == nullptr) {
                            return;
                        }
                        const GdkRGBA colour{0, 0, 0, 1};
                        if (GdkPixbuf* pixbuf = gtk_icon_info_load_symbolic(
                                info, &colour, nullptr, nullptr, nullptr, nullptr, nullptr)) {
                            g_object_unref(pixbuf);
                        }
                        g_object_unref(info);
                    }},
                   [] {});
}

}  // namespace parlendo::SpinnerIcon
