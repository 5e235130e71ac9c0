#include "ProgramRun.h"

#include "ShellDesktop.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

extern char** environ;

namespace parlendo::testing {

ProgramRun::ProgramRun(std::filesystem::path folder) : folder_(std::move(folder)) {
    for (const char* sub : {"config", "data", "state", "cache", "logs"}) {
        std::filesystem::create_directories(folder_ / sub);
    }
}

ProgramRun::~ProgramRun() {
    for (pid_t pid : started_) {
        if (::kill(pid, 0) == 0) {
            ::kill(pid, SIGKILL);
            int status = 0;
            ::waitpid(pid, &status, 0);
        }
    }
}

pid_t ProgramRun::start(const std::vector<std::string>& arguments,
                        const std::map<std::string, std::string>& extra) {
    std::map<std::string, std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const auto equals = text.find('=');
        if (equals != std::string::npos) {
            environment[text.substr(0, equals)] = text.substr(equals + 1);
        }
    }
    environment["XDG_CONFIG_HOME"] = (folder_ / "config").string();
    environment["XDG_DATA_HOME"] = (folder_ / "data").string();
    environment["XDG_STATE_HOME"] = (folder_ / "state").string();
    environment["XDG_CACHE_HOME"] = (folder_ / "cache").string();
    environment["EV_LOG_DIR"] = (folder_ / "logs").string();
    for (const auto& [key, value] : extra) {
        environment[key] = value;
    }
    std::vector<std::string> envText;
    for (const auto& [key, value] : environment) {
        envText.push_back(key + "=" + value);
    }
    std::vector<gchar*> envp;
    for (auto& text : envText) {
        envp.push_back(text.data());
    }
    envp.push_back(nullptr);
    // PARLENDO_PROGRAM_UNDER_TEST points the measurements at another build (Release).
    const char* other = std::getenv("PARLENDO_PROGRAM_UNDER_TEST");
    std::vector<std::string> argText = {other != nullptr ? other : PARLENDO_PROGRAM};
    argText.insert(argText.end(), arguments.begin(), arguments.end());
    std::vector<gchar*> argv;
    for (auto& text : argText) {
        argv.push_back(text.data());
    }
    argv.push_back(nullptr);
    GPid pid = 0;
    GError* error = nullptr;
    if (!g_spawn_async(nullptr, argv.data(), envp.data(), G_SPAWN_DO_NOT_REAP_CHILD, nullptr,
                       nullptr, &pid, &error)) {
        g_error_free(error);
        return -1;
    }
    started_.push_back(pid);
    return pid;
}

std::optional<int> ProgramRun::wait(pid_t pid, double seconds) {
    std::optional<int> status;
    ShellDesktop::pumpUntil(
        [&] {
            int raw = 0;
            if (::waitpid(pid, &raw, WNOHANG) == pid) {
                status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
            }
            return status.has_value();
        },
        seconds);
    return status;
}

std::string ProgramRun::log() const {
    std::ifstream in(folder_ / "logs" / "app.log", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool ProgramRun::waitForLog(const std::string& part, double seconds) const {
    return ShellDesktop::pumpUntil([&] { return log().find(part) != std::string::npos; }, seconds);
}

namespace {

constexpr const char* watcherXML = R"(<node>
  <interface name="org.kde.StatusNotifierWatcher">
    <method name="RegisterStatusNotifierItem"><arg type="s" direction="in"/></method>
    <method name="RegisterStatusNotifierHost"><arg type="s" direction="in"/></method>
    <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
    <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
    <property name="ProtocolVersion" type="i" access="read"/>
    <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
  </interface>
</node>)";

}  // namespace

FakeStatusWatcher::FakeStatusWatcher() {
    bus_ = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (bus_ == nullptr) {
        return;
    }
    node_ = g_dbus_node_info_new_for_xml(watcherXML, nullptr);
    static const GDBusInterfaceVTable vtable = {
        &FakeStatusWatcher::call, &FakeStatusWatcher::property, nullptr, {}};
    object_ = g_dbus_connection_register_object(
        bus_, "/StatusNotifierWatcher", node_->interfaces[0], &vtable, this, nullptr, nullptr);
    name_ = g_bus_own_name_on_connection(
        bus_, "org.kde.StatusNotifierWatcher", G_BUS_NAME_OWNER_FLAGS_NONE,
        +[](GDBusConnection*, const gchar*, gpointer data) {
            static_cast<FakeStatusWatcher*>(data)->owned_ = true;
        },
        nullptr, this, nullptr);
    ShellDesktop::pumpUntil([this] { return owned_; }, 5.0);
}

FakeStatusWatcher::~FakeStatusWatcher() {
    if (name_ != 0) {
        g_bus_unown_name(name_);
    }
    if (object_ != 0) {
        g_dbus_connection_unregister_object(bus_, object_);
    }
    if (node_ != nullptr) {
        g_dbus_node_info_unref(node_);
    }
    if (bus_ != nullptr) {
        g_dbus_connection_flush_sync(bus_, nullptr, nullptr);
        g_object_unref(bus_);
    }
    ShellDesktop::pumpFor(0.1);
}

void FakeStatusWatcher::call(GDBusConnection* connection, const gchar* sender, const gchar*,
                             const gchar*, const gchar* method, GVariant* parameters,
                             GDBusMethodInvocation* invocation, gpointer data) {
    auto* self = static_cast<FakeStatusWatcher*>(data);
    if (g_strcmp0(method, "RegisterStatusNotifierItem") == 0) {
        const gchar* item = nullptr;
        g_variant_get(parameters, "(&s)", &item);
        self->items_.push_back(std::string(sender) + " " + item);
        g_dbus_connection_emit_signal(
            connection, nullptr, "/StatusNotifierWatcher", "org.kde.StatusNotifierWatcher",
            "StatusNotifierItemRegistered", g_variant_new("(s)", item), nullptr);
    }
    g_dbus_method_invocation_return_value(invocation, nullptr);
}

GVariant* FakeStatusWatcher::property(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                      const gchar* name, GError**, gpointer data) {
    auto* self = static_cast<FakeStatusWatcher*>(data);
    if (g_strcmp0(name, "IsStatusNotifierHostRegistered") == 0) {
        return g_variant_new_boolean(TRUE);
    }
    if (g_strcmp0(name, "ProtocolVersion") == 0) {
        return g_variant_new_int32(0);
    }
    GVariantBuilder builder;
    g_variant_builder_init(&builder, G_VARIANT_TYPE("as"));
    for (const auto& item : self->items_) {
        g_variant_builder_add(&builder, "s", item.c_str());
    }
    return g_variant_builder_end(&builder);
}

}  // namespace parlendo::testing
