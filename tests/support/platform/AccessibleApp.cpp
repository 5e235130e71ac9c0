#include "AccessibleApp.h"

#include "DesktopSession.h"

#include <atspi/atspi.h>

namespace parlendo::testing {

namespace {

std::string take(gchar* text) {
    std::string out = text != nullptr ? text : "";
    g_free(text);
    return out;
}

bool showing(AtspiAccessible* node) {
    AtspiStateSet* states = atspi_accessible_get_state_set(node);
    const bool on = states != nullptr && atspi_state_set_contains(states, ATSPI_STATE_SHOWING);
    if (states != nullptr) {
        g_object_unref(states);
    }
    return on;
}

AccessibleApp::Element describe(AtspiAccessible* node) {
    AccessibleApp::Element element;
    element.role = take(atspi_accessible_get_role_name(node, nullptr));
    element.name = take(atspi_accessible_get_name(node, nullptr));
    if (AtspiText* text = atspi_accessible_get_text_iface(node)) {
        element.text = take(atspi_text_get_text(text, 0, -1, nullptr));
        g_object_unref(text);
    }
    element.showing = showing(node);
    return element;
}

}  // namespace

std::unique_ptr<AccessibleApp> AccessibleApp::find(int pid, double seconds) {
    static const bool ready = atspi_init() >= 0;
    (void)ready;
    AtspiAccessible* found = nullptr;
    DesktopSession::pumpUntil(
        [&] {
            AtspiAccessible* desktop = atspi_get_desktop(0);
            const gint count = atspi_accessible_get_child_count(desktop, nullptr);
            for (gint i = 0; i < count && found == nullptr; ++i) {
                AtspiAccessible* app = atspi_accessible_get_child_at_index(desktop, i, nullptr);
                if (app == nullptr) {
                    continue;
                }
                if (static_cast<int>(atspi_accessible_get_process_id(app, nullptr)) == pid) {
                    found = app;
                } else {
                    g_object_unref(app);
                }
            }
            g_object_unref(desktop);
            return found != nullptr;
        },
        seconds);
    if (found == nullptr) {
        return nullptr;
    }
    return std::unique_ptr<AccessibleApp>(new AccessibleApp(found));
}

AccessibleApp::AccessibleApp(AtspiAccessible* app) : app_(app) {}

AccessibleApp::~AccessibleApp() {
    g_object_unref(app_);
}

void AccessibleApp::walk(AtspiAccessible* node, int depth, size_t& budget,
                         const std::function<bool(AtspiAccessible*, const Element&)>& visit) const {
    if (budget == 0 || depth > 40) {
        return;
    }
    --budget;
    const Element element = describe(node);
    if (!visit(node, element)) {
        budget = 0;
        return;
    }
    const gint count = atspi_accessible_get_child_count(node, nullptr);
    for (gint i = 0; i < count && budget > 0; ++i) {
        AtspiAccessible* child = atspi_accessible_get_child_at_index(node, i, nullptr);
        if (child != nullptr) {
            walk(child, depth + 1, budget, visit);
            g_object_unref(child);
        }
    }
}

std::vector<AccessibleApp::Window> AccessibleApp::windows() const {
    std::vector<Window> out;
    const gint count = atspi_accessible_get_child_count(app_, nullptr);
    for (gint i = 0; i < count; ++i) {
        AtspiAccessible* top = atspi_accessible_get_child_at_index(app_, i, nullptr);
        if (top == nullptr) {
            continue;
        }
        if (showing(top)) {
            Window window;
            window.role = take(atspi_accessible_get_role_name(top, nullptr));
            window.name = take(atspi_accessible_get_name(top, nullptr));
            if (AtspiComponent* component = atspi_accessible_get_component_iface(top)) {
                if (AtspiRect* rect =
                        atspi_component_get_extents(component, ATSPI_COORD_TYPE_SCREEN, nullptr)) {
                    window.extents = {rect->x, rect->y, rect->width, rect->height};
                    g_free(rect);
                }
                g_object_unref(component);
            }
            size_t budget = 2000;
            walk(top, 0, budget, [&](AtspiAccessible*, const Element& element) {
                for (const auto* text : {&element.name, &element.text}) {
                    if (!text->empty() && (window.texts.empty() || window.texts.back() != *text)) {
                        window.texts.push_back(*text);
                    }
                }
                return true;
            });
            out.push_back(std::move(window));
        }
        g_object_unref(top);
    }
    return out;
}

bool AccessibleApp::shows(const std::string& text) const {
    for (const auto& window : windows()) {
        for (const auto& seen : window.texts) {
            if (seen == text) {
                return true;
            }
        }
    }
    return false;
}

std::vector<AccessibleApp::Element> AccessibleApp::elements(size_t limit) const {
    std::vector<Element> out;
    size_t budget = limit;
    const gint count = atspi_accessible_get_child_count(app_, nullptr);
    for (gint i = 0; i < count && budget > 0; ++i) {
        AtspiAccessible* top = atspi_accessible_get_child_at_index(app_, i, nullptr);
        if (top == nullptr) {
            continue;
        }
        if (showing(top)) {
            walk(top, 0, budget, [&](AtspiAccessible*, const Element& element) {
                out.push_back(element);
                return true;
            });
        }
        g_object_unref(top);
    }
    return out;
}

bool AccessibleApp::press(const std::string& role, const std::string& name) const {
    bool pressed = false;
    size_t budget = 4000;
    const gint count = atspi_accessible_get_child_count(app_, nullptr);
    for (gint i = 0; i < count && !pressed; ++i) {
        AtspiAccessible* top = atspi_accessible_get_child_at_index(app_, i, nullptr);
        if (top == nullptr) {
            continue;
        }
        if (showing(top)) {
            walk(top, 0, budget, [&](AtspiAccessible* node, const Element& element) {
                if (element.role != role || element.name != name || !element.showing) {
                    return true;
                }
                if (AtspiAction* action = atspi_accessible_get_action_iface(node)) {
                    pressed = atspi_action_do_action(action, 0, nullptr) != FALSE;
                    g_object_unref(action);
                }
                return false;
            });
        }
        g_object_unref(top);
    }
    return pressed;
}

}  // namespace parlendo::testing
