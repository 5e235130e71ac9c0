#include "shell/DetachedProcess.h"
#include "shell/SystemAppearance.h"

#include "LogCapture.h"
#include "ShellDesktop.h"

#include <gio/gio.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

namespace parlendo {
namespace {

using testing::LogCapture;
using testing::ShellDesktop;

TEST(RelaunchHelperDesktopTest, TheHelperWaitsForTheOldProcessThenStartsTheProgramOnce) {
    ASSERT_TRUE(ShellDesktop::ready());
    char pattern[] = "/tmp/parlendo-relaunch-XXXXXX";
    const std::filesystem::path folder = ::mkdtemp(pattern);
    const auto marker = folder / "started";
    // The "old process": alive until the test ends it.
    const pid_t old = ::fork();
    if (old == 0) {
        ::pause();
        ::_exit(0);
    }
    std::string error;
    const auto helper = DetachedProcess::spawn(
        RelaunchHelper::command(old, marker.string(), "/usr/bin/touch"), error);
    ASSERT_TRUE(helper.has_value()) << error;

    ShellDesktop::pumpFor(0.5);
    EXPECT_FALSE(std::filesystem::exists(marker)) << "started while the old process lives";
    ::kill(old, SIGTERM);
    int status = 0;
    ::waitpid(old, &status, 0);
    EXPECT_TRUE(ShellDesktop::pumpUntil([&] { return std::filesystem::exists(marker); }, 5.0));

    // A helper that cannot be started says why.
    EXPECT_FALSE(DetachedProcess::spawn({"/nonexistent/sh", {}}, error));
    EXPECT_FALSE(error.empty());
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
}

// A desktop portal on the test bus with only the appearance setting.
class FakePortal {
  public:
    explicit FakePortal(guint32 scheme) : scheme_(scheme) {
        bus_ = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
        node_ = g_dbus_node_info_new_for_xml(R"(<node>
  <interface name="org.freedesktop.portal.Settings">
    <method name="Read">
      <arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="v" direction="out"/>
    </method>
    <signal name="SettingChanged"><arg type="s"/><arg type="s"/><arg type="v"/></signal>
  </interface>
</node>)",
                                             nullptr);
        static const GDBusInterfaceVTable vtable = {
            +[](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant*,
                GDBusMethodInvocation* invocation, gpointer data) {
                auto* self = static_cast<FakePortal*>(data);
                // The portal wraps the value in one more variant.
                g_dbus_method_invocation_return_value(
                    invocation, g_variant_new("(v)", g_variant_new_variant(
                                                         g_variant_new_uint32(self->scheme_))));
            },
            nullptr,
            nullptr,
            {}};
        object_ = g_dbus_connection_register_object(bus_, "/org/freedesktop/portal/desktop",
                                                    node_->interfaces[0], &vtable, this, nullptr,
                                                    nullptr);
        name_ = g_bus_own_name_on_connection(
            bus_, "org.freedesktop.portal.Desktop", G_BUS_NAME_OWNER_FLAGS_NONE,
            +[](GDBusConnection*, const gchar*, gpointer data) {
                static_cast<FakePortal*>(data)->owned_ = true;
            },
            nullptr, this, nullptr);
        ShellDesktop::pumpUntil([this] { return owned_; });
    }
    ~FakePortal() {
        g_bus_unown_name(name_);
        g_dbus_connection_unregister_object(bus_, object_);
        g_dbus_node_info_unref(node_);
        g_object_unref(bus_);
    }
    void change(guint32 scheme) {
        scheme_ = scheme;
        g_dbus_connection_emit_signal(bus_, nullptr, "/org/freedesktop/portal/desktop",
                                      "org.freedesktop.portal.Settings", "SettingChanged",
                                      g_variant_new("(ssv)", "org.freedesktop.appearance",
                                                    "color-scheme", g_variant_new_uint32(scheme)),
                                      nullptr);
    }
    bool owned() const { return owned_; }

  private:
    guint32 scheme_;
    GDBusConnection* bus_ = nullptr;
    GDBusNodeInfo* node_ = nullptr;
    guint object_ = 0;
    guint name_ = 0;
    bool owned_ = false;
};

bool prefersDark() {
    gboolean dark = FALSE;
    g_object_get(gtk_settings_get_default(), "gtk-application-prefer-dark-theme", &dark, nullptr);
    return dark != FALSE;
}

TEST(SystemAppearanceTest, FollowsThePortalAndAppliesAPinToTheProgramsWindows) {
    ASSERT_TRUE(ShellDesktop::ready());
    LogCapture log;
    FakePortal portal(2);
    ASSERT_TRUE(portal.owned());
    auto appearance = SystemAppearance::make();
    auto store = std::make_shared<ThemeStore>([appearance] { return appearance->mode(); });
    std::vector<std::pair<ThemeMode, ThemeStore::Source>> seen;
    store->observe(
        [&](ThemeMode mode, ThemeStore::Source source) { seen.emplace_back(mode, source); });
    appearance->bind(store);
    ShellDesktop::pumpFor(0.3);
    EXPECT_EQ(store->mode(), ThemeMode::light);

    portal.change(1);
    ASSERT_TRUE(ShellDesktop::pumpUntil([&] { return !seen.empty(); }));
    EXPECT_EQ(seen.back(), std::make_pair(ThemeMode::dark, ThemeStore::Source::system));
    // Following the system leaves the program's windows to the desktop's own setting.
    EXPECT_FALSE(prefersDark());

    portal.change(2);
    ASSERT_TRUE(ShellDesktop::pumpUntil([&] { return seen.size() == 2; }));
    store->set("dark");
    EXPECT_TRUE(prefersDark());
    // A pinned mode ignores the system.
    portal.change(1);
    portal.change(2);
    ShellDesktop::pumpFor(0.3);
    EXPECT_EQ(store->mode(), ThemeMode::dark);
    EXPECT_EQ(seen.size(), 3u);
    store->set("light");
    EXPECT_FALSE(prefersDark());
}

TEST(SystemAppearanceTest, ReadsTheGtkSettingsWithoutAPortal) {
    EXPECT_EQ(SystemAppearance::fromColorScheme(1), ThemeMode::dark);
    EXPECT_EQ(SystemAppearance::fromColorScheme(2), ThemeMode::light);
    EXPECT_FALSE(SystemAppearance::fromColorScheme(0));
    EXPECT_FALSE(SystemAppearance::fromColorScheme(std::nullopt));
    EXPECT_EQ(SystemAppearance::fromGtk(false, "Adwaita-dark"), ThemeMode::dark);
    EXPECT_EQ(SystemAppearance::fromGtk(false, "Adwaita:dark"), ThemeMode::dark);
    EXPECT_EQ(SystemAppearance::fromGtk(true, "Adwaita"), ThemeMode::dark);
    EXPECT_EQ(SystemAppearance::fromGtk(false, "Darkly"), ThemeMode::light);
}

}  // namespace
}  // namespace parlendo
