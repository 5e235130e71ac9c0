#include "foundation/LibsecretKeychain.h"

#include <libsecret/secret.h>

#include <chrono>
#include <condition_variable>
#include <thread>

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

std::string takeMessage(GError* error) {
    std::string message = error != nullptr && error->message != nullptr ? error->message : "";
    g_clear_error(&error);
    return message;
}

// Cancels `cancellable` unless `done` is called within `seconds`.
class Deadline {
  public:
    Deadline(GCancellable* cancellable, double seconds)
        : thread_([this, cancellable, seconds] {
              std::unique_lock lock(mutex_);
              if (!wake_.wait_for(lock, std::chrono::duration<double>(seconds),
                                  [this] { return done_; })) {
                  g_cancellable_cancel(cancellable);
              }
          }) {}
    ~Deadline() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }

  private:
    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;
    std::thread thread_;
};

}  // namespace

std::optional<std::string> LibsecretKeychain::unavailableReason(double timeoutSeconds) {
    GCancellable* cancellable = g_cancellable_new();
    std::optional<std::string> reason;
    {
        Deadline deadline(cancellable, timeoutSeconds);
        GError* error = nullptr;
        SecretService* service = secret_service_get_sync(
            static_cast<SecretServiceFlags>(SECRET_SERVICE_OPEN_SESSION |
                                            SECRET_SERVICE_LOAD_COLLECTIONS),
            cancellable, &error);
        if (service == nullptr) {
            reason = "no_service " + takeMessage(error);
        } else {
            SecretCollection* collection = secret_collection_for_alias_sync(
                service, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, cancellable, &error);
            if (collection == nullptr) {
                reason = error != nullptr ? "no_default_collection " + takeMessage(error)
                                          : std::string("no_default_collection");
            } else {
                if (secret_collection_get_locked(collection)) {
                    reason = "default_collection_locked";
                }
                g_object_unref(collection);
            }
            g_object_unref(service);
        }
    }
    g_object_unref(cancellable);
    return reason;
}

Result<std::string, std::int32_t> LibsecretKeychain::lookupLocked(const std::string& service,
                                                                  const std::string& account) {
    GError* error = nullptr;
    SecretValue* value = secret_password_lookup_binary_sync(
        schema(), nullptr, &error, "service", service.c_str(), "account", account.c_str(), nullptr);
    if (error != nullptr) {
        g_error_free(error);
        return fail(KeychainStatus::notAvailable);
    }
    if (value == nullptr) {
        return fail(KeychainStatus::itemNotFound);
    }
    gsize length = 0;
    const gchar* bytes = secret_value_get(value, &length);
    std::string data(bytes != nullptr ? bytes : "", bytes != nullptr ? length : 0);
    secret_value_unref(value);
    return data;
}

std::int32_t LibsecretKeychain::storeLocked(const std::string& service, const std::string& account,
                                            const std::string& data) {
    SecretValue* value =
        secret_value_new(data.data(), static_cast<gssize>(data.size()), "text/plain");
    const std::string label = "PARLENDO (" + account + ")";
    GError* error = nullptr;
    const gboolean stored = secret_password_store_binary_sync(
        schema(), SECRET_COLLECTION_DEFAULT, label.c_str(), value, nullptr, &error, "service",
        service.c_str(), "account", account.c_str(), nullptr);
    secret_value_unref(value);
    if (error != nullptr) {
        g_error_free(error);
    }
    return stored ? KeychainStatus::success : KeychainStatus::notAvailable;
}

Result<std::string, std::int32_t> LibsecretKeychain::read(const std::string& service,
                                                          const std::string& account) {
    std::lock_guard lock(mutex_);
    return lookupLocked(service, account);
}

std::int32_t LibsecretKeychain::update(const std::string& service, const std::string& account,
                                       const std::string& data) {
    std::lock_guard lock(mutex_);
    const auto existing = lookupLocked(service, account);
    if (!existing) {
        return existing.error();
    }
    // Storing under the same attributes replaces the item's secret.
    return storeLocked(service, account, data);
}

std::int32_t LibsecretKeychain::add(const std::string& service, const std::string& account,
                                    const std::string& data) {
    std::lock_guard lock(mutex_);
    const auto existing = lookupLocked(service, account);
    if (existing) {
        return KeychainStatus::duplicateItem;
    }
    if (existing.error() != KeychainStatus::itemNotFound) {
        return existing.error();
    }
    return storeLocked(service, account, data);
}

std::int32_t LibsecretKeychain::remove(const std::string& service, const std::string& account) {
    std::lock_guard lock(mutex_);
    GError* error = nullptr;
    const gboolean removed = secret_password_clear_sync(
        schema(), nullptr, &error, "service", service.c_str(), "account", account.c_str(), nullptr);
    if (error != nullptr) {
        g_error_free(error);
        return KeychainStatus::notAvailable;
    }
    return removed ? KeychainStatus::success : KeychainStatus::itemNotFound;
}

}  // namespace parlendo
