#include "shell/WindowProbe.h"

#include "foundation/Json.h"
#include "foundation/Log.h"
#include "foundation/RuntimeConfigLoader.h"

#include <dlfcn.h>
#include <gdk/gdkx.h>
#include <webkit2/webkit2.h>

#include <cstdlib>
#include <functional>
#include <memory>

namespace parlendo {

namespace {

constexpr const char* introspection = R"xml(<node>
  <interface name="local.parlendo.Probe">
    <method name="Windows"><arg type="a(stiiiia(ssiiii))" direction="out"/></method>
    <method name="PageText"><arg type="s" direction="out"/></method>
    <method name="PageFind"><arg type="s" direction="in"/><arg type="(iiii)" direction="out"/></method>
  </interface>
</node>)xml";

// Visits `widget` and everything under it, internal children too.
void walk(GtkWidget* widget, const std::function<void(GtkWidget*)>& visit) {
    visit(widget);
    if (GTK_IS_CONTAINER(widget)) {
        gtk_container_forall(
            GTK_CONTAINER(widget),
            +[](GtkWidget* child, gpointer data) {
                walk(child, *static_cast<const std::function<void(GtkWidget*)>*>(data));
            },
            const_cast<std::function<void(GtkWidget*)>*>(&visit));
    }
}

GdkRectangle placeOf(GtkWidget* widget) {
    GdkRectangle place{0, 0, 0, 0};
    GtkWidget* top = gtk_widget_get_toplevel(widget);
    GdkWindow* window = top != nullptr ? gtk_widget_get_window(top) : nullptr;
    if (window == nullptr) {
        return place;
    }
    int originX = 0;
    int originY = 0;
    gdk_window_get_origin(window, &originX, &originY);
    int x = 0;
    int y = 0;
    if (widget != top && !gtk_widget_translate_coordinates(widget, top, 0, 0, &x, &y)) {
        return place;
    }
    GtkAllocation allocation;
    gtk_widget_get_allocation(widget, &allocation);
    place = {originX + x, originY + y, allocation.width, allocation.height};
    if (widget == top) {
        place.width = gdk_window_get_width(window);
        place.height = gdk_window_get_height(window);
    }
    return place;
}

std::string textOf(GtkTextView* view) {
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(view);
    GtkTextIter start;
    GtkTextIter end;
    gtk_text_buffer_get_bounds(buffer, &start, &end);
    gchar* text = gtk_text_buffer_get_text(buffer, &start, &end, FALSE);
    std::string out = text != nullptr ? text : "";
    g_free(text);
    return out;
}

// What an entry shows: its text, or, in a password field, only as many hidden characters as it
// holds; the password itself is never read.
std::string entryText(GtkEntry* entry) {
    if (gtk_entry_get_visibility(entry)) {
        return gtk_entry_get_text(entry);
    }
    gunichar hidden = gtk_entry_get_invisible_char(entry);
    char mark[8];
    const int size = g_unichar_to_utf8(hidden != 0 ? hidden : '*', mark);
    std::string out;
    for (guint16 i = 0; i < gtk_entry_get_text_length(entry); ++i) {
        out.append(mark, static_cast<size_t>(size));
    }
    return out;
}

// The program does not link WebKit: its web windows come from a module loaded with the first of
// them. So the probe finds the page's script calls in the library once it is loaded.
struct ScriptCalls {
    decltype(&webkit_web_view_evaluate_javascript) evaluate = nullptr;
    decltype(&webkit_web_view_evaluate_javascript_finish) finish = nullptr;
    decltype(&jsc_value_to_string) toString = nullptr;
};

const ScriptCalls* scriptCalls() {
    static ScriptCalls calls;
    if (calls.evaluate == nullptr) {
        void* webkit = ::dlopen("libwebkit2gtk-4.1.so.0", RTLD_LAZY | RTLD_NOLOAD);
        void* script = ::dlopen("libjavascriptcoregtk-4.1.so.0", RTLD_LAZY | RTLD_NOLOAD);
        if (webkit != nullptr && script != nullptr) {
            calls.finish = reinterpret_cast<decltype(calls.finish)>(
                ::dlsym(webkit, "webkit_web_view_evaluate_javascript_finish"));
            calls.toString =
                reinterpret_cast<decltype(calls.toString)>(::dlsym(script, "jsc_value_to_string"));
            calls.evaluate = reinterpret_cast<decltype(calls.evaluate)>(
                ::dlsym(webkit, "webkit_web_view_evaluate_javascript"));
        }
    }
    return calls.evaluate != nullptr && calls.finish != nullptr && calls.toString != nullptr
               ? &calls
               : nullptr;
}

WebKitWebView* webView() {
    const GType type = g_type_from_name("WebKitWebView");
    WebKitWebView* found = nullptr;
    GList* tops = gtk_window_list_toplevels();
    for (GList* at = tops; type != 0 && at != nullptr && found == nullptr; at = at->next) {
        walk(GTK_WIDGET(at->data), [&](GtkWidget* widget) {
            if (found == nullptr && G_TYPE_CHECK_INSTANCE_TYPE(widget, type) &&
                gtk_widget_get_mapped(widget)) {
                found = reinterpret_cast<WebKitWebView*>(widget);
            }
        });
    }
    g_list_free(tops);
    return found;
}

GVariant* windowsVariant() {
    GVariantBuilder windows;
    g_variant_builder_init(&windows, G_VARIANT_TYPE("a(stiiiia(ssiiii))"));
    for (const auto& window : WindowProbe::windows()) {
        GVariantBuilder elements;
        g_variant_builder_init(&elements, G_VARIANT_TYPE("a(ssiiii)"));
        for (const auto& e : window.elements) {
            g_variant_builder_add(&elements, "(ssiiii)", e.role.c_str(), e.text.c_str(), e.place.x,
                                  e.place.y, e.place.width, e.place.height);
        }
        g_variant_builder_add(&windows, "(stiiiia(ssiiii))", window.title.c_str(),
                              static_cast<guint64>(window.xid), window.place.x, window.place.y,
                              window.place.width, window.place.height, &elements);
    }
    return g_variant_new("(a(stiiiia(ssiiii)))", &windows);
}

// The smallest shown element of the page whose text (all of it, or its own apart from its
// children's), label or title is `text`, and that a click at its middle would reach, itself or
// through its label (not one under a dialog), scrolled into view: its place in the page's viewport
// as
// "[x,y,width,height]", or "" when there is none.
std::string findScript(const std::string& text) {
    return "(function(t){let best=null;"
           "for(const e of document.querySelectorAll('body *')){"
           "const own=(e.getAttribute('aria-label')||e.getAttribute('title')||'').trim();"
           "const direct=Array.from(e.childNodes).filter(n=>n.nodeType===3)"
           ".map(n=>n.textContent).join('').trim();"
           "if((e.innerText||'').trim()!==t&&own!==t&&direct!==t)continue;"
           "const r=e.getBoundingClientRect();if(r.width<=0||r.height<=0)continue;"
           "const top=document.elementFromPoint(r.left+r.width/2,r.top+r.height/2);"
           "const reach=e.closest('label')||e;"
           "if(top&&!reach.contains(top)&&!top.contains(e))continue;"
           "if(!best||r.width*r.height<best.a)best={e:e,a:r.width*r.height};}"
           "if(!best)return '';best.e.scrollIntoView({block:'nearest'});"
           "const r=best.e.getBoundingClientRect();"
           "return JSON.stringify([Math.round(r.left),Math.round(r.top),Math.round(r.width),"
           "Math.round(r.height)]);})(" +
           json::dump(Json(text)).value_or("\"\"") + ")";
}

struct PageCall {
    GDBusMethodInvocation* invocation;
    bool find;
    GdkRectangle view;
};

void answerPage(GObject* source, GAsyncResult* result, gpointer data) {
    std::unique_ptr<PageCall> call(static_cast<PageCall*>(data));
    GError* error = nullptr;
    const ScriptCalls* calls = scriptCalls();
    JSCValue* value = calls->finish(reinterpret_cast<WebKitWebView*>(source), result, &error);
    std::string text;
    if (value != nullptr) {
        gchar* string = calls->toString(value);
        text = string != nullptr ? string : "";
        g_free(string);
        g_object_unref(value);
    }
    g_clear_error(&error);
    if (!call->find) {
        g_dbus_method_invocation_return_value(call->invocation, g_variant_new("(s)", text.c_str()));
        return;
    }
    GdkRectangle place{0, 0, 0, 0};
    if (const auto parsed = json::parse(text);
        parsed && parsed->is_array() && parsed->size() == 4) {
        place = {call->view.x + (*parsed)[0].get<int>(), call->view.y + (*parsed)[1].get<int>(),
                 (*parsed)[2].get<int>(), (*parsed)[3].get<int>()};
    }
    g_dbus_method_invocation_return_value(
        call->invocation, g_variant_new("((iiii))", place.x, place.y, place.width, place.height));
}

void call(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method,
          GVariant* parameters, GDBusMethodInvocation* invocation, gpointer) {
    if (g_strcmp0(method, "Windows") == 0) {
        g_dbus_method_invocation_return_value(invocation, windowsVariant());
        return;
    }
    const bool find = g_strcmp0(method, "PageFind") == 0;
    WebKitWebView* view = webView();
    const ScriptCalls* calls = scriptCalls();
    if (view == nullptr || calls == nullptr) {
        g_dbus_method_invocation_return_value(
            invocation, find ? g_variant_new("((iiii))", 0, 0, 0, 0) : g_variant_new("(s)", ""));
        return;
    }
    std::string script = "document.body ? document.body.innerText : ''";
    if (find) {
        const gchar* text = nullptr;
        g_variant_get(parameters, "(&s)", &text);
        script = findScript(text != nullptr ? text : "");
    }
    auto* pending = new PageCall{invocation, find, placeOf(GTK_WIDGET(view))};
    calls->evaluate(view, script.c_str(), -1, nullptr, nullptr, nullptr, answerPage, pending);
}

}  // namespace

bool WindowProbe::requested() {
    const char* value = std::getenv("PARLENDO_WINDOW_PROBE");
    return value != nullptr && std::string(value) == "1" &&
           !RuntimeConfigLoader::defaultIsRelease();
}

std::vector<WindowProbe::Window> WindowProbe::windows() {
    std::vector<Window> out;
    GList* tops = gtk_window_list_toplevels();
    for (GList* at = tops; at != nullptr; at = at->next) {
        GtkWidget* top = GTK_WIDGET(at->data);
        if (!gtk_widget_get_mapped(top)) {
            continue;
        }
        Window window;
        const gchar* title = gtk_window_get_title(GTK_WINDOW(top));
        window.title = title != nullptr ? title : "";
        window.place = placeOf(top);
        if (GdkWindow* drawn = gtk_widget_get_window(top);
            drawn != nullptr && GDK_IS_X11_WINDOW(drawn)) {
            window.xid = GDK_WINDOW_XID(drawn);
        }
        walk(top, [&](GtkWidget* widget) {
            if (widget == top || !gtk_widget_get_mapped(widget)) {
                return;
            }
            Element element;
            if (GTK_IS_LABEL(widget)) {
                element = {"label", gtk_label_get_text(GTK_LABEL(widget)), {}};
            } else if (GTK_IS_BUTTON(widget)) {
                const gchar* label = gtk_button_get_label(GTK_BUTTON(widget));
                element = {"button", label != nullptr ? label : "", {}};
            } else if (GTK_IS_ENTRY(widget)) {
                element = {"entry", entryText(GTK_ENTRY(widget)), {}};
            } else if (GTK_IS_TEXT_VIEW(widget)) {
                element = {"text", textOf(GTK_TEXT_VIEW(widget)), {}};
            } else {
                return;
            }
            element.place = placeOf(widget);
            window.elements.push_back(std::move(element));
        });
        out.push_back(std::move(window));
    }
    g_list_free(tops);
    return out;
}

std::unique_ptr<WindowProbe> WindowProbe::serve(GDBusConnection* bus) {
    if (bus == nullptr) {
        return nullptr;
    }
    GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(introspection, nullptr);
    static const GDBusInterfaceVTable vtable = {&call, nullptr, nullptr, {}};
    GError* error = nullptr;
    const guint registration = g_dbus_connection_register_object(
        bus, objectPath, node->interfaces[0], &vtable, nullptr, nullptr, &error);
    if (registration == 0) {
        Log::write("app", "🔴 창 살피개를 버스에 올리지 못함 " +
                              std::string(error != nullptr ? error->message : ""));
        g_clear_error(&error);
        g_dbus_node_info_unref(node);
        return nullptr;
    }
    Log::write("app", "창 살피개 켜짐 — 개발용 (PARLENDO_WINDOW_PROBE)");
    return std::unique_ptr<WindowProbe>(
        new WindowProbe(G_DBUS_CONNECTION(g_object_ref(bus)), registration, node));
}

WindowProbe::WindowProbe(GDBusConnection* bus, guint registration, GDBusNodeInfo* node)
    : bus_(bus), registration_(registration), node_(node) {}

WindowProbe::~WindowProbe() {
    g_dbus_connection_unregister_object(bus_, registration_);
    g_dbus_node_info_unref(node_);
    g_object_unref(bus_);
}

}  // namespace parlendo
