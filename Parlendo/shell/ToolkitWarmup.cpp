#include "shell/ToolkitWarmup.h"

#include "foundation/MainSteps.h"
#include "foundation/WorkerQueue.h"

#include <gtk/gtk.h>

#include <vector>

namespace parlendo::ToolkitWarmup {

void loadImageLoaders() {
    ThreadPool::global().post([] {
        for (const char* type : {"png", "svg"}) {
            // Making a loader of a type maps its module; it is then kept for the whole run.
            if (GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type(type, nullptr)) {
                gdk_pixbuf_loader_close(loader, nullptr);
                g_object_unref(loader);
            }
        }
    });
}

void prepareFonts(ExecutorPtr main, std::function<void()> done) {
    std::vector<MainSteps::Step> steps;
    for (const char* markup : {
             "가나다 한글 Abc 123",
             "<b>가나다 한글 Abc 123</b>",
             "<span size=\"large\" weight=\"bold\">가나다 한글 Abc 123</span>",
             "<i>가나다 한글 Abc 123</i>",
         }) {
        steps.push_back([markup] {
            GtkWidget* label = gtk_label_new(nullptr);
            g_object_ref_sink(label);
            gtk_label_set_markup(GTK_LABEL(label), markup);
            gtk_widget_show(label);  // a hidden widget is not measured
            int minimum = 0;
            int natural = 0;
            gtk_widget_get_preferred_width(label, &minimum, &natural);
            gtk_widget_destroy(label);
            g_object_unref(label);
        });
    }
    MainSteps::run(main, std::move(steps), std::move(done));
}

}  // namespace parlendo::ToolkitWarmup
