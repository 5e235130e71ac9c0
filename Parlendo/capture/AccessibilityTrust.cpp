#include "capture/AccessibilityTrust.h"

#include <gio/gio.h>

namespace parlendo {

namespace {

using Weak = std::weak_ptr<AccessibilityTrust>;

// One read of the status: the weak owner, and what to call once both answers are in.
struct Read {
    Weak owner;
    std::shared_ptr<std::function<void()>> done;
    std::shared_ptr<int> waiting;

    void finish() const {
        if (--*waiting == 0 && done && *done) {
            (*done)();
        }
    }
};

constexpr int callTimeoutMs = 1000;

}  // namespace

std::shared_ptr<AccessibilityTrust> AccessibilityTrust::make(bool inputAvailable) {
    auto trust = std::shared_ptr<AccessibilityTrust>(new AccessibilityTrust(inputAvailable));
    trust->self_ = std::make_shared<Weak>(trust);
    return trust;
}

AccessibilityTrust::AccessibilityTrust(bool inputAvailable) : inputAvailable_(inputAvailable) {}

AccessibilityTrust::~AccessibilityTrust() {
    if (session_ != nullptr) {
        if (subscription_ != 0) {
            g_dbus_connection_signal_unsubscribe(session_, subscription_);
        }
        g_object_unref(session_);
    }
}

bool AccessibilityTrust::trusted() const {
    return inputAvailable_ && busAnswers_ && enabled_;
}

void AccessibilityTrust::start() {
    if (session_ != nullptr) {
        return;
    }
    GError* error = nullptr;
    session_ = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (error != nullptr) {
        g_error_free(error);
        return;
    }
    // The signal holds a weak reference, freed with the subscription.
    subscription_ = g_dbus_connection_signal_subscribe(
        session_, nullptr, "org.freedesktop.DBus.Properties", "PropertiesChanged", "/org/a11y/bus",
        "org.a11y.Status", G_DBUS_SIGNAL_FLAGS_NONE,
        reinterpret_cast<GDBusSignalCallback>(&AccessibilityTrust::changed), new Weak(*self_),
        [](gpointer data) { delete static_cast<Weak*>(data); });
    refresh();
}

void AccessibilityTrust::changed(GDBusConnection*, const char*, const char*, const char*,
                                 const char*, GVariant* parameters, void* user) {
    auto self = static_cast<Weak*>(user)->lock();
    if (!self) {
        return;
    }
    GVariant* properties = nullptr;
    const char* interface = nullptr;
    g_variant_get(parameters, "(&s@a{sv}@as)", &interface, &properties, nullptr);
    if (properties != nullptr) {
        gboolean enabled = FALSE;
        if (g_variant_lookup(properties, "IsEnabled", "b", &enabled)) {
            self->enabled_ = enabled != FALSE;
        }
        g_variant_unref(properties);
    }
    self->refresh();
    if (self->onSystemNotice) {
        self->onSystemNotice();
    }
}

void AccessibilityTrust::noteAddress(const char* address) {
    if (address_.empty()) {
        address_ = address;
    } else if (address_ != address) {
        busReplaced_ = true;
    }
}

void AccessibilityTrust::refresh() {
    refresh(nullptr);
}

void AccessibilityTrust::refresh(std::function<void()> done) {
    if (session_ == nullptr) {
        if (done) {
            done();
        }
        return;
    }
    const Read read{*self_, std::make_shared<std::function<void()>>(std::move(done)),
                    std::make_shared<int>(2)};
    g_dbus_connection_call(
        session_, "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress", nullptr,
        G_VARIANT_TYPE("(s)"), G_DBUS_CALL_FLAGS_NONE, callTimeoutMs, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            std::unique_ptr<Read> pending(static_cast<Read*>(data));
            GError* error = nullptr;
            GVariant* reply =
                g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
            auto self = pending->owner.lock();
            if (self) {
                const char* address = nullptr;
                if (reply != nullptr) {
                    g_variant_get(reply, "(&s)", &address);
                }
                self->busAnswers_ = address != nullptr && address[0] != '\0';
                if (self->busAnswers_) {
                    self->noteAddress(address);
                }
            }
            if (reply != nullptr) {
                g_variant_unref(reply);
            }
            if (error != nullptr) {
                g_error_free(error);
            }
            pending->finish();
        },
        new Read(read));
    g_dbus_connection_call(
        session_, "org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Get",
        g_variant_new("(ss)", "org.a11y.Status", "IsEnabled"), G_VARIANT_TYPE("(v)"),
        G_DBUS_CALL_FLAGS_NONE, callTimeoutMs, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            std::unique_ptr<Read> pending(static_cast<Read*>(data));
            GError* error = nullptr;
            GVariant* reply =
                g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
            auto self = pending->owner.lock();
            if (self && reply != nullptr) {
                GVariant* value = nullptr;
                g_variant_get(reply, "(v)", &value);
                if (value != nullptr && g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN)) {
                    self->enabled_ = g_variant_get_boolean(value) != FALSE;
                }
                if (value != nullptr) {
                    g_variant_unref(value);
                }
            } else if (self) {
                self->enabled_ = false;
            }
            if (reply != nullptr) {
                g_variant_unref(reply);
            }
            if (error != nullptr) {
                g_error_free(error);
            }
            pending->finish();
        },
        new Read(read));
}

}  // namespace parlendo
