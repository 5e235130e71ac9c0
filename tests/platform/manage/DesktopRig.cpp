#include "DesktopRig.h"
#include "DesktopSession.h"

#include <gtest/gtest.h>

#include "BuildInfo.h"
#include "manage/ScriptValues.h"

#include <X11/extensions/XTest.h>
#include <gdk/gdkx.h>
#include <stdlib.h>
#include <unistd.h>

#include <set>

namespace parlendo::testing {

void ensureDesktop() {
    static bool ready = [] {
        // The folders and the log are the test program's temporary home already.
        // The web engine's sandbox cannot start for root inside a container.
        if (::geteuid() == 0) {
            ::setenv("WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS", "1", 1);
        }
        ::setenv("GTK_USE_PORTAL", "0", 1);
        return gtk_init_check(nullptr, nullptr) == TRUE;
    }();
    ASSERT_TRUE(ready) << "no display: run under scripts/with-session.sh";
}

bool pumpUntil(const std::function<bool()>& done, double seconds) {
    return DesktopSession::pumpUntil(done, seconds);
}

void pumpFor(double seconds) {
    DesktopSession::pumpFor(seconds);
}

std::filesystem::path resourcesFolder() {
    return buildinfo::kResourceDirInTree;
}

std::filesystem::path pagesFolder() {
    return resourcesFolder().parent_path() / "tests" / "platform" / "manage" / "pages";
}

std::filesystem::path outputFolder() {
    const char* chosen = ::getenv("PARLENDO_TEST_OUTPUT");
    const std::filesystem::path folder =
        (chosen != nullptr ? std::filesystem::path(chosen)
                           : std::filesystem::current_path() / "test-output") /
        "manage";
    std::filesystem::create_directories(folder);
    return folder;
}

namespace {

size_t colours(cairo_surface_t* surface) {
    cairo_surface_flush(surface);
    const int width = cairo_image_surface_get_width(surface);
    const int height = cairo_image_surface_get_height(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    // With alpha, a transparent background and black text differ only there.
    const uint32_t mask =
        cairo_image_surface_get_format(surface) == CAIRO_FORMAT_RGB24 ? 0x00FFFFFF : 0xFFFFFFFF;
    std::set<uint32_t> seen;
    for (int y = 0; y < height && seen.size() < 16; y += 3) {
        const auto* row = reinterpret_cast<const uint32_t*>(data + y * stride);
        for (int x = 0; x < width && seen.size() < 16; x += 3) {
            seen.insert(row[x] & mask);
        }
    }
    return seen.size();
}

void save(cairo_surface_t* surface, const std::string& name) {
    const auto file = outputFolder() / (name + ".png");
    ASSERT_EQ(cairo_surface_write_to_png(surface, file.c_str()), CAIRO_STATUS_SUCCESS);
    EXPECT_GT(colours(surface), 1u) << file << " is blank";
}

}  // namespace

void snapshotWebView(WebKitWebView* view, const std::string& name) {
    cairo_surface_t* surface = nullptr;
    bool done = false;
    struct Wait {
        cairo_surface_t** surface;
        bool* done;
    } wait{&surface, &done};
    webkit_web_view_get_snapshot(
        view, WEBKIT_SNAPSHOT_REGION_VISIBLE, WEBKIT_SNAPSHOT_OPTIONS_NONE, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            auto* w = static_cast<Wait*>(data);
            *w->surface =
                webkit_web_view_get_snapshot_finish(WEBKIT_WEB_VIEW(source), result, nullptr);
            *w->done = true;
        },
        &wait);
    ASSERT_TRUE(pumpUntil([&] { return done; }));
    ASSERT_NE(surface, nullptr) << "no snapshot of " << name;
    cairo_surface_t* image = cairo_surface_map_to_image(surface, nullptr);
    save(image, name);
    cairo_surface_unmap_image(surface, image);
    cairo_surface_destroy(surface);
}

void snapshotWindow(GtkWidget* window, const std::string& name) {
    pumpUntil([&] { return gtk_widget_get_mapped(window); });
    pumpFor(0.3);
    GdkWindow* gdk = gtk_widget_get_window(window);
    ASSERT_NE(gdk, nullptr);
    const int width = gdk_window_get_width(gdk);
    const int height = gdk_window_get_height(gdk);
    cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    cairo_t* cr = cairo_create(image);
    gdk_cairo_set_source_window(cr, gdk, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    save(image, name);
    cairo_surface_destroy(image);
}

GdkPoint onScreen(GtkWidget* widget, int x, int y) {
    gint originX = 0;
    gint originY = 0;
    gdk_window_get_origin(gtk_widget_get_window(widget), &originX, &originY);
    GtkAllocation allocation;
    gtk_widget_get_allocation(widget, &allocation);
    if (!gtk_widget_get_has_window(widget)) {
        originX += allocation.x;
        originY += allocation.y;
    }
    return {originX + x, originY + y};
}

namespace {

Display* xdisplay() {
    return gdk_x11_display_get_xdisplay(gdk_display_get_default());
}

void moveTo(GdkPoint at) {
    XTestFakeMotionEvent(xdisplay(), -1, at.x, at.y, CurrentTime);
    XFlush(xdisplay());
    pumpFor(0.03);
}

}  // namespace

void clickAt(GdkPoint at) {
    moveTo(at);
    XTestFakeButtonEvent(xdisplay(), 1, True, CurrentTime);
    XFlush(xdisplay());
    pumpFor(0.05);
    XTestFakeButtonEvent(xdisplay(), 1, False, CurrentTime);
    XFlush(xdisplay());
    pumpFor(0.05);
}

namespace {

void moveAlong(GdkPoint from, GdkPoint to) {
    const int steps = 30;
    for (int i = 1; i <= steps; ++i) {
        moveTo({from.x + (to.x - from.x) * i / steps, from.y + (to.y - from.y) * i / steps});
    }
}

}  // namespace

void dragBetween(GdkPoint from, GdkPoint to) {
    dragAcross(from, to, to);
}

void dragAcross(GdkPoint from, GdkPoint over, GdkPoint to) {
    moveTo(from);
    XTestFakeButtonEvent(xdisplay(), 1, True, CurrentTime);
    XFlush(xdisplay());
    pumpFor(0.05);
    moveAlong(from, over);
    // Let the target ask for the dragged data.
    for (int i = 0; i < 10; ++i) {
        moveTo({over.x + (i % 2), over.y});
    }
    moveAlong(over, to);
    XTestFakeButtonEvent(xdisplay(), 1, False, CurrentTime);
    XFlush(xdisplay());
    pumpFor(0.2);
}

std::optional<Json> evaluateIn(WebKitWebView* view, const std::string& script) {
    struct Wait {
        bool done = false;
        std::optional<Json> value;
    } wait;
    webkit_web_view_evaluate_javascript(
        view, script.c_str(), -1, nullptr, nullptr, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            auto* w = static_cast<Wait*>(data);
            JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source),
                                                                         result, nullptr);
            w->value = ScriptValues::json(value);
            if (value != nullptr) {
                g_object_unref(value);
            }
            w->done = true;
        },
        &wait);
    EXPECT_TRUE(pumpUntil([&] { return wait.done; })) << script;
    return wait.value;
}

}  // namespace parlendo::testing
