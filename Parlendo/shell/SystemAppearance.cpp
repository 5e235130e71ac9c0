#include "shell/SystemAppearance.h"

#include "foundation/Log.h"

#include <gio/gio.h>

#include <cctype>
#include <string>

namespace parlendo {

namespace {

using Weak = std::weak_ptr<SystemAppearance>;
constexpr const char* portalName = "org.freedesktop.portal.Desktop";
constexpr const char* portalPath = "/org/freedesktop/portal/desktop";
constexpr const char* settingsInterface = "org.freedesktop.portal.Settings";
constexpr const char* appearanceNamespace = "org.freedesktop.appearance";
constexpr const char* colorScheme = "color-scheme";

// The number inside a portal value, which may come wrapped in one or two variants.
std::optional<unsigned> schemeOf(GVariant* value) {
    GVariant* inner = value != nullptr ? g_variant_ref(value) : nullptr;
    while (inner != nullptr && g_variant_is_of_type(inner, G_VARIANT_TYPE_VARIANT)) {
        GVariant* next = g_variant_get_variant(inner);
        g_variant_unref(inner);
        inner = next;
    }
    std::optional<unsigned> out;
    if (inner != nullptr && g_variant_is_of_type(inner, G_VARIANT_TYPE_UINT32)) {
        out = g_variant_get_uint32(inner);
    }
    if (inner != nullptr) {
        g_variant_unref(inner);
    }
    return out;
}

bool gtkPrefersDark() {
    GtkSettings* settings = gtk_settings_get_default();
    gboolean dark = FALSE;
    if (settings != nullptr) {
        g_object_get(settings, "gtk-application-prefer-dark-theme", &dark, nullptr);
    }
    return dark != FALSE;
}

std::string gtkThemeName() {
    GtkSettings* settings = gtk_settings_get_default();
    gchar* name = nullptr;
    if (settings != nullptr) {
        g_object_get(settings, "gtk-theme-name", &name, nullptr);
    }
    std::string out = name != nullptr ? name : "";
    g_free(name);
    return out;
}

}  // namespace

std::optional<ThemeMode> SystemAppearance::fromColorScheme(std::optional<unsigned> scheme) {
    if (scheme == 1u) {
        return ThemeMode::dark;
    }
    if (scheme == 2u) {
        return ThemeMode::light;
    }
    return std::nullopt;
}

ThemeMode SystemAppearance::fromGtk(bool preferDark, const std::string& themeName) {
    std::string lower;
    for (char c : themeName) {
        lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    }
    const bool darkName = lower.ends_with("-dark") || lower.ends_with(":dark") ||
                          lower.find("-dark-") != std::string::npos;
    return preferDark || darkName ? ThemeMode::dark : ThemeMode::light;
}

std::shared_ptr<SystemAppearance> SystemAppearance::make() {
    auto appearance = std::shared_ptr<SystemAppearance>(new SystemAppearance());
    appearance->self_ = std::make_shared<Weak>(appearance);
    return appearance;
}

SystemAppearance::SystemAppearance() : systemPreferDark_(gtkPrefersDark()) {}

SystemAppearance::~SystemAppearance() {
    if (bus_ != nullptr) {
        if (signal_ != 0) {
            g_dbus_connection_signal_unsubscribe(bus_, signal_);
        }
        g_object_unref(bus_);
    }
    if (themeNotify_ != 0) {
        g_signal_handler_disconnect(gtk_settings_get_default(), themeNotify_);
    }
}

ThemeMode SystemAppearance::mode() const {
    if (portal_) {
        return *portal_;
    }
    return fromGtk(systemPreferDark_, gtkThemeName());
}

void SystemAppearance::apply(ThemeMode mode, ThemeStore::Source source) {
    GtkSettings* settings = gtk_settings_get_default();
    if (settings == nullptr) {
        return;
    }
    // A pin sets the program's windows; following the system puts back what the desktop said.
    const bool dark =
        source == ThemeStore::Source::toggle ? mode == ThemeMode::dark : systemPreferDark_;
    g_object_set(settings, "gtk-application-prefer-dark-theme", dark ? TRUE : FALSE, nullptr);
}

void SystemAppearance::changed() {
    if (auto theme = theme_.lock()) {
        theme->systemChanged();
    }
}

void SystemAppearance::portalAnswered(std::optional<unsigned> scheme) {
    const ThemeMode before = mode();
    portal_ = fromColorScheme(scheme);
    if (mode() != before) {
        changed();
    }
}

void SystemAppearance::bind(const std::shared_ptr<ThemeStore>& theme) {
    theme_ = theme;
    theme->observe([weak = Weak(*self_)](ThemeMode mode, ThemeStore::Source source) {
        if (auto self = weak.lock()) {
            self->apply(mode, source);
        }
    });
    if (GtkSettings* settings = gtk_settings_get_default()) {
        themeNotify_ = g_signal_connect_data(
            settings, "notify::gtk-theme-name",
            G_CALLBACK(+[](GObject*, GParamSpec*, gpointer data) {
                if (auto self = static_cast<Weak*>(data)->lock()) {
                    self->changed();
                }
            }),
            new Weak(*self_), +[](gpointer data, GClosure*) { delete static_cast<Weak*>(data); },
            GConnectFlags(0));
    }

    GError* error = nullptr;
    bus_ = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (bus_ == nullptr) {
        Log::write("theme", "세션 버스 없음 — GTK 설정으로 모드를 읽는다");
        g_clear_error(&error);
        return;
    }
    signal_ = g_dbus_connection_signal_subscribe(
        bus_, portalName, settingsInterface, "SettingChanged", portalPath, appearanceNamespace,
        G_DBUS_SIGNAL_FLAGS_NONE,
        +[](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
            GVariant* parameters, gpointer data) {
            const gchar* space = nullptr;
            const gchar* key = nullptr;
            GVariant* value = nullptr;
            g_variant_get(parameters, "(&s&sv)", &space, &key, &value);
            if (g_strcmp0(key, colorScheme) == 0) {
                if (auto self = static_cast<Weak*>(data)->lock()) {
                    self->portalAnswered(schemeOf(value));
                }
            }
            if (value != nullptr) {
                g_variant_unref(value);
            }
        },
        new Weak(*self_), [](gpointer data) { delete static_cast<Weak*>(data); });
    g_dbus_connection_call(
        bus_, portalName, portalPath, settingsInterface, "Read",
        g_variant_new("(ss)", appearanceNamespace, colorScheme), G_VARIANT_TYPE("(v)"),
        G_DBUS_CALL_FLAGS_NONE, 2000, nullptr,
        +[](GObject* source, GAsyncResult* result, gpointer data) {
            std::unique_ptr<Weak> weak(static_cast<Weak*>(data));
            GVariant* reply =
                g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, nullptr);
            auto self = weak->lock();
            if (!self) {
                if (reply != nullptr) {
                    g_variant_unref(reply);
                }
                return;
            }
            if (reply == nullptr) {
                Log::write("theme", "데스크톱 포털 없음 — GTK 설정으로 모드를 읽는다");
                return;
            }
            GVariant* value = g_variant_get_child_value(reply, 0);
            self->portalAnswered(schemeOf(value));
            g_variant_unref(value);
            g_variant_unref(reply);
        },
        new Weak(*self_));
}

}  // namespace parlendo
