#include "StatusMenuReader.h"

#include <gio/gio.h>

namespace parlendo::testing {

namespace {

GDBusConnection* sessionBus() {
    static GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    return bus;
}

GVariant* call(const std::string& bus, const std::string& path, const char* interface,
               const char* method, GVariant* parameters, const char* replyType) {
    if (sessionBus() == nullptr) {
        return nullptr;
    }
    return g_dbus_connection_call_sync(sessionBus(), bus.c_str(), path.c_str(), interface, method,
                                       parameters, replyType ? G_VARIANT_TYPE(replyType) : nullptr,
                                       G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
}

std::string withoutMnemonics(const std::string& label) {
    std::string out;
    for (size_t i = 0; i < label.size(); ++i) {
        if (label[i] == '_') {
            if (i + 1 < label.size() && label[i + 1] == '_') {
                out.push_back('_');
                ++i;
            }
            continue;
        }
        out.push_back(label[i]);
    }
    return out;
}

}  // namespace

StatusMenuReader::StatusMenuReader(const std::string& registered) {
    const auto blank = registered.find(' ');
    if (blank == std::string::npos) {
        return;
    }
    bus_ = registered.substr(0, blank);
    const std::string item = registered.substr(blank + 1);
    GVariant* reply = call(bus_, item, "org.freedesktop.DBus.Properties", "Get",
                           g_variant_new("(ss)", "org.kde.StatusNotifierItem", "Menu"), "(v)");
    if (reply == nullptr) {
        return;
    }
    GVariant* value = nullptr;
    g_variant_get(reply, "(v)", &value);
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_OBJECT_PATH)) {
        menuPath_ = g_variant_get_string(value, nullptr);
    }
    g_variant_unref(value);
    g_variant_unref(reply);
}

std::vector<StatusMenuReader::Line> StatusMenuReader::lines() const {
    std::vector<Line> out;
    if (menuPath_.empty()) {
        return out;
    }
    GVariant* reply =
        call(bus_, menuPath_, "com.canonical.dbusmenu", "GetLayout",
             g_variant_new("(ii@as)", 0, 1, g_variant_new_strv(nullptr, 0)), "(u(ia{sv}av))");
    if (reply == nullptr) {
        return out;
    }
    GVariant* layout = g_variant_get_child_value(reply, 1);
    GVariant* children = g_variant_get_child_value(layout, 2);
    for (gsize i = 0; i < g_variant_n_children(children); ++i) {
        GVariant* boxed = g_variant_get_child_value(children, i);
        GVariant* child = g_variant_get_variant(boxed);
        Line line;
        GVariant* properties = nullptr;
        g_variant_get(child, "(i@a{sv}@av)", &line.id, &properties, nullptr);
        const gchar* label = nullptr;
        if (g_variant_lookup(properties, "label", "&s", &label)) {
            line.label = withoutMnemonics(label);
        }
        gboolean flag = TRUE;
        if (g_variant_lookup(properties, "visible", "b", &flag)) {
            line.visible = flag != FALSE;
        }
        if (g_variant_lookup(properties, "enabled", "b", &flag)) {
            line.enabled = flag != FALSE;
        }
        const gchar* type = nullptr;
        if (g_variant_lookup(properties, "type", "&s", &type)) {
            line.separator = std::string(type) == "separator";
        }
        out.push_back(line);
        g_variant_unref(properties);
        g_variant_unref(child);
        g_variant_unref(boxed);
    }
    g_variant_unref(children);
    g_variant_unref(layout);
    g_variant_unref(reply);
    return out;
}

std::vector<std::string> StatusMenuReader::shown() const {
    std::vector<std::string> out;
    for (const auto& line : lines()) {
        if (line.visible) {
            out.push_back(line.separator ? "---" : line.label);
        }
    }
    return out;
}

std::optional<StatusMenuReader::Line> StatusMenuReader::find(const std::string& prefix) const {
    for (const auto& line : lines()) {
        if (line.visible && !line.separator && line.label.starts_with(prefix)) {
            return line;
        }
    }
    return std::nullopt;
}

void StatusMenuReader::opening() const {
    if (GVariant* reply = call(bus_, menuPath_, "com.canonical.dbusmenu", "AboutToShow",
                               g_variant_new("(i)", 0), nullptr)) {
        g_variant_unref(reply);
    }
}

void StatusMenuReader::event(const std::string& name) const {
    if (GVariant* reply =
            call(bus_, menuPath_, "com.canonical.dbusmenu", "Event",
                 g_variant_new("(isvu)", 0, name.c_str(), g_variant_new_int32(0), 0u), nullptr)) {
        g_variant_unref(reply);
    }
}

bool StatusMenuReader::click(const std::string& prefix, unsigned time) const {
    opening();
    const auto line = find(prefix);
    if (!line || !line->enabled) {
        return false;
    }
    GVariant* reply =
        call(bus_, menuPath_, "com.canonical.dbusmenu", "Event",
             g_variant_new("(isvu)", line->id, "clicked", g_variant_new_int32(0), time), nullptr);
    if (reply == nullptr) {
        return false;
    }
    g_variant_unref(reply);
    return true;
}

}  // namespace parlendo::testing
