#include "shell/ToolkitWarmup.h"

#include "foundation/WorkerQueue.h"

#include <gtk/gtk.h>

#include <memory>
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

namespace {

void prepareStep(ExecutorPtr main, std::shared_ptr<std::vector<const char*>> styles, size_t next,
                 std::function<void()> done) {
    if (next >= styles->size()) {
        done();
        return;
    }
    GtkWidget* label = gtk_label_new(nullptr);
    g_object_ref_sink(label);
    gtk_label_set_markup(GTK_LABEL(label), (*styles)[next]);
    gtk_widget_show(label);  // a hidden widget is not measured
    int minimum = 0;
    int natural = 0;
    gtk_widget_get_preferred_width(label, &minimum, &natural);
    gtk_widget_destroy(label);
    g_object_unref(label);
    auto again = main;
    main->post([main = std::move(again), styles = std::move(styles), next,
                done = std::move(done)]() mutable {
        prepareStep(std::move(main), std::move(styles), next + 1, std::move(done));
    });
}

}  // namespace

void prepareFonts(ExecutorPtr main, std::function<void()> done) {
    auto styles = std::make_shared<std::vector<const char*>>(std::vector<const char*>{
        "가나다 한글 Abc 123",
        "<b>가나다 한글 Abc 123</b>",
        "<span size=\"large\" weight=\"bold\">가나다 한글 Abc 123</span>",
        "<i>가나다 한글 Abc 123</i>",
    });
    auto again = main;
    main->post(
        [main = std::move(again), styles = std::move(styles), done = std::move(done)]() mutable {
            prepareStep(std::move(main), std::move(styles), 0, std::move(done));
        });
}

}  // namespace parlendo::ToolkitWarmup
