#include "ProgramWindows.h"

#include "DesktopSession.h"

#include <X11/XKBlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <gdk/gdkx.h>
#include <gio/gio.h>

#include <algorithm>
#include <chrono>
#include <functional>

namespace parlendo::testing {

namespace {

constexpr const char* programBusName = "local.parlendo.mac";
constexpr const char* probePath = "/local/parlendo/Probe";
constexpr const char* probeInterface = "local.parlendo.Probe";

GVariant* ask(const char* method, const char* reply) {
    static GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (bus == nullptr) {
        return nullptr;
    }
    return g_dbus_connection_call_sync(bus, programBusName, probePath, probeInterface, method,
                                       nullptr, G_VARIANT_TYPE(reply), G_DBUS_CALL_FLAGS_NONE,
                                       10000, nullptr, nullptr);
}

Display* display() {
    return gdk_x11_display_get_xdisplay(gdk_display_get_default());
}

void clickAt(const GdkRectangle& place) {
    DesktopSession::pointerTo(place.x + place.width / 2, place.y + place.height / 2);
    DesktopSession::pumpFor(0.05);
    DesktopSession::click(1);
}

// Types one ASCII character on the keyboard, with Shift where the key needs it.
void typeCharacter(char c) {
    Display* dpy = display();
    const KeySym sym = c == ' ' ? XK_space : static_cast<KeySym>(static_cast<unsigned char>(c));
    const KeyCode code = XKeysymToKeycode(dpy, sym);
    if (code == 0) {
        return;
    }
    const bool shifted = XkbKeycodeToKeysym(dpy, code, 0, 0) != sym;
    const KeyCode shift = XKeysymToKeycode(dpy, XK_Shift_L);
    if (shifted) {
        DesktopSession::key(shift, true);
    }
    DesktopSession::key(code, true);
    DesktopSession::key(code, false);
    if (shifted) {
        DesktopSession::key(shift, false);
    }
}

}  // namespace

std::vector<std::string> ProgramWindows::Window::texts() const {
    std::vector<std::string> out;
    for (const auto& element : elements) {
        if (!element.text.empty()) {
            out.push_back(element.text);
        }
    }
    return out;
}

bool ProgramWindows::Window::shows(const std::string& text) const {
    return std::any_of(elements.begin(), elements.end(),
                       [&](const Element& element) { return element.text == text; });
}

bool ProgramWindows::Window::showsStart(const std::string& prefix) const {
    return std::any_of(elements.begin(), elements.end(),
                       [&](const Element& element) { return element.text.starts_with(prefix); });
}

bool ProgramWindows::Window::showsPart(const std::string& part) const {
    return std::any_of(elements.begin(), elements.end(), [&](const Element& element) {
        return element.text.find(part) != std::string::npos;
    });
}

std::vector<ProgramWindows::Window> ProgramWindows::all() {
    std::vector<Window> out;
    GVariant* reply = ask("Windows", "(a(stiiiia(ssiiii)))");
    if (reply == nullptr) {
        return out;
    }
    GVariant* list = g_variant_get_child_value(reply, 0);
    for (gsize i = 0; i < g_variant_n_children(list); ++i) {
        GVariant* entry = g_variant_get_child_value(list, i);
        Window window;
        const gchar* title = nullptr;
        guint64 xid = 0;
        GVariant* elements = nullptr;
        g_variant_get(entry, "(&stiiii@a(ssiiii))", &title, &xid, &window.place.x, &window.place.y,
                      &window.place.width, &window.place.height, &elements);
        window.title = title;
        window.xid = static_cast<unsigned long>(xid);
        for (gsize j = 0; j < g_variant_n_children(elements); ++j) {
            Element element;
            const gchar* role = nullptr;
            const gchar* text = nullptr;
            g_variant_get_child(elements, j, "(&s&siiii)", &role, &text, &element.place.x,
                                &element.place.y, &element.place.width, &element.place.height);
            element.role = role;
            element.text = text;
            window.elements.push_back(std::move(element));
        }
        g_variant_unref(elements);
        g_variant_unref(entry);
        out.push_back(std::move(window));
    }
    g_variant_unref(list);
    g_variant_unref(reply);
    return out;
}

namespace {

// The first window that `matches`, once the window manager has taken it and it has stood still
// for a moment (placed and drawn); as last seen when that does not happen within `seconds`.
std::optional<ProgramWindows::Window> settled(
    const std::function<bool(const ProgramWindows::Window&)>& matches, double seconds) {
    std::optional<ProgramWindows::Window> found;
    auto since = std::chrono::steady_clock::now();
    DesktopSession::pumpUntil(
        [&] {
            std::optional<ProgramWindows::Window> now;
            for (auto& window : ProgramWindows::all()) {
                if (matches(window)) {
                    now = std::move(window);
                    break;
                }
            }
            const bool same = now && found && now->xid == found->xid &&
                              now->place.x == found->place.x && now->place.y == found->place.y &&
                              now->place.width == found->place.width &&
                              now->place.height == found->place.height;
            if (!same) {
                since = std::chrono::steady_clock::now();
            }
            found = std::move(now);
            if (!found) {
                return false;
            }
            const auto managed = DesktopSession::clientWindows();
            return std::find(managed.begin(), managed.end(), found->xid) != managed.end() &&
                   std::chrono::steady_clock::now() - since > std::chrono::milliseconds(200);
        },
        seconds);
    return found;
}

}  // namespace

std::optional<ProgramWindows::Window> ProgramWindows::showing(const std::string& text,
                                                              double seconds) {
    return settled([&](const Window& window) { return window.shows(text); }, seconds);
}

std::optional<ProgramWindows::Window> ProgramWindows::showingPart(const std::string& part,
                                                                  double seconds) {
    return settled([&](const Window& window) { return window.showsPart(part); }, seconds);
}

std::string ProgramWindows::pageText() {
    GVariant* reply = ask("PageText", "(s)");
    if (reply == nullptr) {
        return "";
    }
    const gchar* text = nullptr;
    g_variant_get(reply, "(&s)", &text);
    std::string out = text != nullptr ? text : "";
    g_variant_unref(reply);
    return out;
}

GdkRectangle ProgramWindows::pageFind(const std::string& text) {
    static GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    GdkRectangle place{0, 0, 0, 0};
    if (bus == nullptr) {
        return place;
    }
    GVariant* reply =
        g_dbus_connection_call_sync(bus, programBusName, probePath, probeInterface, "PageFind",
                                    g_variant_new("(s)", text.c_str()), G_VARIANT_TYPE("((iiii))"),
                                    G_DBUS_CALL_FLAGS_NONE, 10000, nullptr, nullptr);
    if (reply != nullptr) {
        g_variant_get(reply, "((iiii))", &place.x, &place.y, &place.width, &place.height);
        g_variant_unref(reply);
    }
    return place;
}

bool ProgramWindows::clickPage(const std::string& text, double seconds, int clicks) {
    GdkRectangle place{0, 0, 0, 0};
    if (!DesktopSession::pumpUntil(
            [&] {
                place = pageFind(text);
                return place.width > 0;
            },
            seconds)) {
        return false;
    }
    DesktopSession::pumpFor(0.1);
    place = pageFind(text);  // where it stands once scrolled into view
    for (const auto& window : all()) {
        if (window.place.x <= place.x && place.x < window.place.x + window.place.width &&
            window.place.y <= place.y && place.y < window.place.y + window.place.height) {
            DesktopSession::activate(window.xid);
            break;
        }
    }
    DesktopSession::pumpFor(0.05);
    for (int i = 0; i < clicks; ++i) {
        clickAt(place);
    }
    DesktopSession::pumpFor(0.2);
    return true;
}

bool ProgramWindows::click(const Window& window, const std::string& role, const std::string& text) {
    for (const auto& element : window.elements) {
        if (element.role == role && element.text == text && element.place.width > 0) {
            DesktopSession::activate(window.xid);
            DesktopSession::pumpFor(0.1);
            clickAt(element.place);
            DesktopSession::pumpFor(0.1);
            return true;
        }
    }
    return false;
}

bool ProgramWindows::type(const Window& window, size_t index, const std::string& text) {
    size_t seen = 0;
    for (const auto& element : window.elements) {
        if (element.role != "entry" || seen++ != index) {
            continue;
        }
        DesktopSession::activate(window.xid);
        DesktopSession::pumpFor(0.1);
        clickAt(element.place);
        DesktopSession::pumpFor(0.1);
        // Select what the field holds, so that the text replaces it.
        pressKey(XK_a, true);
        typeText(text);
        return true;
    }
    return false;
}

void ProgramWindows::close(const Window& window) {
    DesktopSession::close(window.xid);
}

void ProgramWindows::pressKey(unsigned long keysym, bool control) {
    if (control) {
        pressKeys({XK_Control_L, keysym});
    } else {
        pressKeys({keysym});
    }
}

void ProgramWindows::pressKeys(const std::vector<unsigned long>& keysyms) {
    std::vector<unsigned> codes;
    for (const auto keysym : keysyms) {
        codes.push_back(XKeysymToKeycode(display(), keysym));
    }
    DesktopSession::tap(codes);
    DesktopSession::pumpFor(0.1);
}

void ProgramWindows::typeText(const std::string& text) {
    for (const char c : text) {
        typeCharacter(c);
    }
    DesktopSession::pumpFor(0.1);
}

}  // namespace parlendo::testing
