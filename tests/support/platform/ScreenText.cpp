#include "ScreenText.h"

#include <atspi/atspi.h>

#include <functional>

namespace parlendo::testing {

namespace {

// Characters (code points) in the first `bytes` bytes of UTF-8 text.
gint characters(const std::string& text, size_t bytes) {
    gint count = 0;
    for (size_t i = 0; i < bytes && i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            ++count;
        }
    }
    return count;
}

// What `measure` gives for the characters [start, end) of the first text element of process
// `pid` that holds `wanted`, visiting at most `nodes` elements (menus are skipped).
template <typename T>
std::optional<T> inFirstHolder(
    int pid, const std::string& wanted, int nodes,
    const std::function<std::optional<T>(AtspiText*, gint, gint)>& measure) {
    static const bool ready = atspi_init() >= 0;
    (void)ready;
    const auto inElement = [&](AtspiAccessible* element) -> std::optional<T> {
        AtspiText* text = atspi_accessible_get_text_iface(element);
        if (text == nullptr) {
            return std::nullopt;
        }
        std::optional<T> found;
        const gint count = atspi_text_get_character_count(text, nullptr);
        gchar* all = count > 0 ? atspi_text_get_text(text, 0, count, nullptr) : nullptr;
        if (all != nullptr) {
            const std::string content = all;
            if (const auto at = content.find(wanted); at != std::string::npos) {
                const gint start = characters(content, at);
                found = measure(text, start, start + characters(wanted, wanted.size()));
            }
            g_free(all);
        }
        g_object_unref(text);
        return found;
    };
    std::optional<T> found;
    std::function<void(AtspiAccessible*)> walk = [&](AtspiAccessible* element) {
        if (found || --nodes < 0) {
            return;
        }
        const AtspiRole role = atspi_accessible_get_role(element, nullptr);
        if (role == ATSPI_ROLE_MENU_BAR || role == ATSPI_ROLE_MENU) {
            return;
        }
        if ((found = inElement(element))) {
            return;
        }
        const gint count = atspi_accessible_get_child_count(element, nullptr);
        for (gint i = 0; i < count && !found; ++i) {
            if (AtspiAccessible* child = atspi_accessible_get_child_at_index(element, i, nullptr)) {
                walk(child);
                g_object_unref(child);
            }
        }
    };
    AtspiAccessible* desktop = atspi_get_desktop(0);
    const gint apps = atspi_accessible_get_child_count(desktop, nullptr);
    for (gint i = 0; i < apps && !found; ++i) {
        AtspiAccessible* app = atspi_accessible_get_child_at_index(desktop, i, nullptr);
        if (app == nullptr) {
            continue;
        }
        if (static_cast<int>(atspi_accessible_get_process_id(app, nullptr)) == pid) {
            walk(app);
        }
        g_object_unref(app);
    }
    g_object_unref(desktop);
    return found;
}

}  // namespace

std::optional<GdkRectangle> findScreenText(int pid, const std::string& text, int nodes) {
    return inFirstHolder<GdkRectangle>(
        pid, text, nodes, [](AtspiText* holder, gint start, gint end) {
            std::optional<GdkRectangle> found;
            AtspiRect* rect =
                atspi_text_get_range_extents(holder, start, end, ATSPI_COORD_TYPE_SCREEN, nullptr);
            if (rect != nullptr && rect->width > 0 && rect->height > 0) {
                found = GdkRectangle{rect->x, rect->y, rect->width, rect->height};
            }
            g_free(rect);
            return found;
        });
}

bool holdsText(int pid, const std::string& text, int nodes) {
    return inFirstHolder<bool>(pid, text, nodes, [](AtspiText*, gint, gint) { return true; })
        .has_value();
}

}  // namespace parlendo::testing
