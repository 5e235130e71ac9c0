#include "shell/ToolkitWarmup.h"

#include "account/GtkAccountStyle.h"
#include "foundation/MainSteps.h"
#include "foundation/WorkerQueue.h"
#include "popups/GtkPopupCard.h"

#include <gtk/gtk.h>

#include <vector>

namespace parlendo::ToolkitWarmup {

namespace {

constexpr const char* sample = "가나다 한글 Abc 123";

// Measures `widget` (a floating reference, taken) as a window measures what it shows, then drops
// it.
void layOut(GtkWidget* widget) {
    g_object_ref_sink(widget);
    gtk_widget_show_all(widget);  // a hidden widget is not measured
    int minimum = 0;
    int natural = 0;
    gtk_widget_get_preferred_width(widget, &minimum, &natural);
    gtk_widget_destroy(widget);
    g_object_unref(widget);
}

}  // namespace

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

void keepInputMethod() {
    static GtkIMContext* kept = nullptr;
    if (kept != nullptr) {
        return;
    }
    kept = gtk_im_multicontext_new();
    gtk_im_context_reset(kept);  // makes the context of the module chosen
}

void prepareFonts(ExecutorPtr main, std::function<void()> done) {
    std::vector<GtkWidget*> samples;
    for (const char* markup : {
             "가나다 한글 Abc 123",
             "<b>가나다 한글 Abc 123</b>",
             "<span size=\"large\" weight=\"bold\">가나다 한글 Abc 123</span>",
             "<i>가나다 한글 Abc 123</i>",
         }) {
        samples.push_back(gtk_label_new(nullptr));
        gtk_label_set_markup(GTK_LABEL(samples.back()), markup);
    }
    // The cards and the account windows open by themselves, also while a worker loads the web
    // views module. Pango starts two threads to match a font it has not matched before, and
    // starting a thread waits while the loader maps and binds libraries: for that module and
    // WebKit, a hundred milliseconds and more.
    for (auto* fontSamples : {&GtkPopupCard::fontSamples, &GtkAccountStyle::fontSamples}) {
        for (GtkWidget* widget : fontSamples(sample)) {
            samples.push_back(widget);
        }
    }
    std::vector<MainSteps::Step> steps;
    for (GtkWidget* widget : samples) {
        steps.push_back([widget] { layOut(widget); });
    }
    MainSteps::run(main, std::move(steps), std::move(done));
}

}  // namespace parlendo::ToolkitWarmup
