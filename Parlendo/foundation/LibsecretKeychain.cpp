#include "foundation/LibsecretKeychain.h"

#include "foundation/WorkerQueue.h"

#include <libsecret/secret.h>

#include <memory>
#include <optional>

namespace parlendo {

namespace {

const SecretSchema* schema() {
    static const SecretSchema value = {"local.parlendo.mac.GenericPassword",
                                       SECRET_SCHEMA_NONE,
                                       {
                                           {"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                           {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                           {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
                                       },
                                       0,
                                       nullptr,
                                       nullptr,
                                       nullptr,
                                       nullptr,
                                       nullptr,
                                       nullptr,
                                       nullptr};
    return &value;
}

std::string takeMessage(GError*& error) {
    std::string message = error != nullptr && error->message != nullptr ? error->message : "";
    g_clear_error(&error);
    return message;
}

// Errors after which the same question may well get an answer: an object that vanished while it
// was being looked at (another program removed an item), a call that got no reply.
bool isTransient(const GError* error) {
    return g_error_matches(error, SECRET_ERROR, SECRET_ERROR_NO_SUCH_OBJECT) ||
           g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NO_REPLY) ||
           g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_OBJECT);
}

struct Probe {
    std::optional<std::string> reason;
    bool transient = false;
};

// Asks for the service and its default collection, without opening a session or loading any
// collection's items.
Probe probeOnce(GCancellable* cancellable) {
    Probe probe;
    GError* error = nullptr;
    SecretService* service = secret_service_get_sync(SECRET_SERVICE_NONE, cancellable, &error);
    if (service == nullptr) {
        probe.transient = isTransient(error);
        probe.reason = "no_service " + takeMessage(error);
        return probe;
    }
    SecretCollection* collection = secret_collection_for_alias_sync(
        service, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, cancellable, &error);
    if (collection == nullptr) {
        probe.transient = isTransient(error);
        probe.reason = error != nullptr ? "no_default_collection " + takeMessage(error)
                                        : std::string("no_default_collection");
    } else {
        if (secret_collection_get_locked(collection)) {
            probe.reason = "default_collection_locked";
        }
        g_object_unref(collection);
    }
    g_object_unref(service);
    return probe;
}

// A cancellable that the shared timer queue cancels after `seconds`: every call made with it ends
// by then, answered or not.
std::shared_ptr<GCancellable> cancelledAfter(double seconds) {
    std::shared_ptr<GCancellable> cancellable(g_cancellable_new(), g_object_unref);
    SerialQueue::timers()->postAfter(seconds,
                                     [cancellable] { g_cancellable_cancel(cancellable.get()); });
    return cancellable;
}

}  // namespace

LibsecretKeychain::LibsecretKeychain(double callTimeout) : callTimeout_(callTimeout) {}

std::optional<std::string> LibsecretKeychain::unavailableReason(double timeoutSeconds) {
    // The calls block this thread until they are answered or cancelled at the deadline.
    const auto cancellable = cancelledAfter(timeoutSeconds);
    Probe probe = probeOnce(cancellable.get());
    if (probe.reason && probe.transient && !g_cancellable_is_cancelled(cancellable.get())) {
        probe = probeOnce(cancellable.get());
    }
    return probe.reason;
}

std::int32_t LibsecretKeychain::statusOf(const GError* error) {
    if (error == nullptr) {
        return KeychainStatus::success;
    }
    if (error->domain == SECRET_ERROR) {
        switch (static_cast<SecretError>(error->code)) {
            case SECRET_ERROR_NO_SUCH_OBJECT:
                return KeychainStatus::itemNotFound;
            case SECRET_ERROR_IS_LOCKED:
                return KeychainStatus::interactionNotAllowed;
            case SECRET_ERROR_ALREADY_EXISTS:
                return KeychainStatus::duplicateItem;
            case SECRET_ERROR_PROTOCOL:
            case SECRET_ERROR_INVALID_FILE_FORMAT:
                return KeychainStatus::decodeFailure;
        }
    }
    return KeychainStatus::notAvailable;
}

// A locked keyring is never asked to unlock: an unlock prompt blocks the caller until someone
// answers it (or, with no prompter, until it gives up much later). Like a keychain item that is
// only accessible while the device is unlocked, a locked item answers interactionNotAllowed.
Result<std::string, std::int32_t> LibsecretKeychain::lookupLocked(const std::string& service,
                                                                  const std::string& account,
                                                                  GCancellable* cancellable) {
    GError* error = nullptr;
    SecretService* secrets = secret_service_get_sync(SECRET_SERVICE_NONE, cancellable, &error);
    if (secrets == nullptr) {
        const std::int32_t status = statusOf(error);
        g_clear_error(&error);
        return fail(status == KeychainStatus::success ? KeychainStatus::notAvailable : status);
    }
    GHashTable* attributes = secret_attributes_build(schema(), "service", service.c_str(),
                                                     "account", account.c_str(), nullptr);
    GList* items = secret_service_search_sync(
        secrets, schema(), attributes,
        static_cast<SecretSearchFlags>(SECRET_SEARCH_ALL | SECRET_SEARCH_LOAD_SECRETS), cancellable,
        &error);
    g_hash_table_unref(attributes);
    g_object_unref(secrets);
    if (error != nullptr) {
        const std::int32_t status = statusOf(error);
        g_error_free(error);
        return fail(status == KeychainStatus::success ? KeychainStatus::notAvailable : status);
    }
    std::optional<std::string> data;
    bool locked = false;
    for (GList* at = items; at != nullptr && !data; at = at->next) {
        auto* item = static_cast<SecretItem*>(at->data);
        if (secret_item_get_locked(item)) {
            locked = true;
            continue;
        }
        if (SecretValue* value = secret_item_get_secret(item)) {
            gsize length = 0;
            const gchar* bytes = secret_value_get(value, &length);
            data = std::string(bytes != nullptr ? bytes : "", bytes != nullptr ? length : 0);
            secret_value_unref(value);
        }
    }
    g_list_free_full(items, g_object_unref);
    if (data) {
        return *data;
    }
    return fail(locked ? KeychainStatus::interactionNotAllowed : KeychainStatus::itemNotFound);
}

std::int32_t LibsecretKeychain::storeLocked(const std::string& service, const std::string& account,
                                            const std::string& data, GCancellable* cancellable) {
    if (const std::int32_t status = defaultCollectionUnlocked(cancellable);
        status != KeychainStatus::success) {
        return status;
    }
    SecretValue* value =
        secret_value_new(data.data(), static_cast<gssize>(data.size()), "text/plain");
    const std::string label = "PARLENDO (" + account + ")";
    GError* error = nullptr;
    const gboolean stored = secret_password_store_binary_sync(
        schema(), SECRET_COLLECTION_DEFAULT, label.c_str(), value, cancellable, &error, "service",
        service.c_str(), "account", account.c_str(), nullptr);
    secret_value_unref(value);
    if (error != nullptr) {
        const std::int32_t status = statusOf(error);
        g_error_free(error);
        // A store that failed cannot have stored nothing "successfully".
        return status == KeychainStatus::success ? KeychainStatus::notAvailable : status;
    }
    return stored ? KeychainStatus::success : KeychainStatus::notAvailable;
}

std::int32_t LibsecretKeychain::defaultCollectionUnlocked(GCancellable* cancellable) {
    GError* error = nullptr;
    SecretService* secrets = secret_service_get_sync(SECRET_SERVICE_NONE, cancellable, &error);
    if (secrets == nullptr) {
        const std::int32_t status = statusOf(error);
        g_clear_error(&error);
        return status == KeychainStatus::success ? KeychainStatus::notAvailable : status;
    }
    SecretCollection* collection = secret_collection_for_alias_sync(
        secrets, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, cancellable, &error);
    g_object_unref(secrets);
    if (collection == nullptr) {
        const std::int32_t status = statusOf(error);
        g_clear_error(&error);
        return status == KeychainStatus::success ? KeychainStatus::notAvailable : status;
    }
    const bool locked = secret_collection_get_locked(collection);
    g_object_unref(collection);
    return locked ? KeychainStatus::interactionNotAllowed : KeychainStatus::success;
}

Result<std::string, std::int32_t> LibsecretKeychain::read(const std::string& service,
                                                          const std::string& account) {
    const auto bound = cancelledAfter(callTimeout_);
    std::lock_guard lock(mutex_);
    return lookupLocked(service, account, bound.get());
}

std::int32_t LibsecretKeychain::update(const std::string& service, const std::string& account,
                                       const std::string& data) {
    const auto bound = cancelledAfter(callTimeout_);
    std::lock_guard lock(mutex_);
    const auto existing = lookupLocked(service, account, bound.get());
    if (!existing) {
        return existing.error();
    }
    // Storing under the same attributes replaces the item's secret.
    return storeLocked(service, account, data, bound.get());
}

std::int32_t LibsecretKeychain::add(const std::string& service, const std::string& account,
                                    const std::string& data) {
    const auto bound = cancelledAfter(callTimeout_);
    std::lock_guard lock(mutex_);
    const auto existing = lookupLocked(service, account, bound.get());
    if (existing) {
        return KeychainStatus::duplicateItem;
    }
    if (existing.error() != KeychainStatus::itemNotFound) {
        return existing.error();
    }
    return storeLocked(service, account, data, bound.get());
}

std::int32_t LibsecretKeychain::remove(const std::string& service, const std::string& account) {
    const auto bound = cancelledAfter(callTimeout_);
    std::lock_guard lock(mutex_);
    // Clearing would ask to unlock a locked item first.
    if (const auto existing = lookupLocked(service, account, bound.get());
        !existing && existing.error() != KeychainStatus::itemNotFound) {
        return existing.error();
    }
    GError* error = nullptr;
    const gboolean removed =
        secret_password_clear_sync(schema(), bound.get(), &error, "service", service.c_str(),
                                   "account", account.c_str(), nullptr);
    if (error != nullptr) {
        const std::int32_t status = statusOf(error);
        g_error_free(error);
        return status;
    }
    return removed ? KeychainStatus::success : KeychainStatus::itemNotFound;
}

}  // namespace parlendo
