#include "KeyringLock.h"

namespace parlendo::testing {

namespace {
constexpr const char* secrets = "org.freedesktop.secrets";
constexpr const char* servicePath = "/org/freedesktop/secrets";
// What scripts/with-session.sh unlocks the keyring with: the line it writes, break included.
constexpr const char* password = "parlendo-test\n";
}  // namespace

KeyringLock::KeyringLock() {
    bus_ = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (GVariant* reply = call("ReadAlias", g_variant_new("(s)", "default"), "(o)")) {
        const gchar* path = nullptr;
        g_variant_get(reply, "(&o)", &path);
        if (path != nullptr && std::string(path) != "/") {
            collection_ = path;
        }
        g_variant_unref(reply);
    }
}

KeyringLock::~KeyringLock() {
    unlock();
    if (bus_ != nullptr) {
        g_object_unref(bus_);
    }
}

GVariant* KeyringLock::call(const char* method, GVariant* parameters, const char* reply) {
    if (bus_ == nullptr) {
        g_variant_unref(g_variant_ref_sink(parameters));
        return nullptr;
    }
    return g_dbus_connection_call_sync(bus_, secrets, servicePath, "org.freedesktop.Secret.Service",
                                       method, parameters, G_VARIANT_TYPE(reply),
                                       G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
}

bool KeyringLock::lock() {
    if (!found()) {
        return false;
    }
    const gchar* paths[] = {collection_.c_str(), nullptr};
    GVariant* reply = call("Lock", g_variant_new("(^ao)", paths), "(aoo)");
    if (reply == nullptr) {
        return false;
    }
    g_variant_unref(reply);
    locked_ = true;
    return true;
}

bool KeyringLock::unlock() {
    if (!locked_) {
        return true;
    }
    GVariant* opened =
        call("OpenSession", g_variant_new("(sv)", "plain", g_variant_new_string("")), "(vo)");
    if (opened == nullptr) {
        return false;
    }
    const gchar* session = nullptr;
    g_variant_get(opened, "(v&o)", nullptr, &session);
    const std::string secret = password;
    GVariant* master = g_variant_new(
        "(o@ay@ays)", session, g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, "", 0, 1),
        g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, secret.data(), secret.size(), 1),
        "text/plain");
    // gnome-keyring's own call for unlocking without a prompt.
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(
        bus_, secrets, servicePath, "org.gnome.keyring.InternalUnsupportedGuiltRiddenInterface",
        "UnlockWithMasterPassword", g_variant_new("(o@(oayays))", collection_.c_str(), master),
        nullptr, G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, &error);
    g_variant_unref(opened);
    if (reply == nullptr) {
        g_printerr("keyring unlock: %s\n", error != nullptr ? error->message : "?");
        g_clear_error(&error);
        return false;
    }
    g_variant_unref(reply);
    locked_ = false;
    return true;
}

}  // namespace parlendo::testing
