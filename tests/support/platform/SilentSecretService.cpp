#include "SilentSecretService.h"

namespace parlendo::testing {

namespace {

constexpr const char* kName = "org.freedesktop.secrets";

// Every call to the service is swallowed unanswered; replies to the test's own calls pass.
GDBusMessage* swallowCalls(GDBusConnection*, GDBusMessage* message, gboolean incoming, gpointer) {
    if (incoming && g_dbus_message_get_message_type(message) == G_DBUS_MESSAGE_TYPE_METHOD_CALL) {
        g_object_unref(message);
        return nullptr;
    }
    return message;
}

}  // namespace

SilentSecretService::SilentSecretService() : bus_(g_test_dbus_new(G_TEST_DBUS_NONE)) {
    g_test_dbus_up(bus_);
    const char* address = g_test_dbus_get_bus_address(bus_);
    if (address == nullptr) {
        why_ = "the private bus did not start";
        return;
    }
    GError* error = nullptr;
    connection_ = g_dbus_connection_new_for_address_sync(
        address,
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &error);
    if (connection_ == nullptr) {
        why_ = std::string("no connection: ") + (error != nullptr ? error->message : "");
        g_clear_error(&error);
        return;
    }
    g_dbus_connection_add_filter(connection_, swallowCalls, nullptr, nullptr);
    GVariant* reply = g_dbus_connection_call_sync(
        connection_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "RequestName", g_variant_new("(su)", kName, 4u /* do not queue */), G_VARIANT_TYPE("(u)"),
        G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, &error);
    if (reply == nullptr) {
        why_ = std::string("RequestName failed: ") + (error != nullptr ? error->message : "");
        g_clear_error(&error);
        return;
    }
    guint32 result = 0;
    g_variant_get(reply, "(u)", &result);
    g_variant_unref(reply);
    owned_ = result == 1;  // the primary owner
    if (!owned_) {
        why_ = "the name is not ours: " + std::to_string(result);
    }
}

SilentSecretService::~SilentSecretService() {
    if (connection_ != nullptr) {
        g_dbus_connection_close_sync(connection_, nullptr, nullptr);
        g_object_unref(connection_);
    }
    g_test_dbus_down(bus_);
    g_object_unref(bus_);
}

}  // namespace parlendo::testing
