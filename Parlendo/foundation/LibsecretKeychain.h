#pragma once

#include "foundation/KeychainWrite.h"

#include <gio/gio.h>

#include <mutex>
#include <optional>
#include <string>

namespace parlendo {

// Keychain items in the desktop's Secret Service (gnome-keyring, KWallet) through libsecret:
// one item per (service, account) under the schema "local.parlendo.mac.GenericPassword", stored
// in the default collection. Calls block until the service answers, for at most `callTimeout`
// seconds each (the bus alone would wait 25 s for every message): a service that has not
// answered by then counts as not answering (notAvailable). Calls are serialised. A locked keyring
// is never prompted to unlock: its items answer interactionNotAllowed.
class LibsecretKeychain final : public KeychainBackend {
  public:
    static constexpr double defaultCallTimeout = 5.0;

    explicit LibsecretKeychain(double callTimeout = defaultCallTimeout);

    // nullopt when a Secret Service answers within `timeoutSeconds` with an unlocked default
    // collection; otherwise why it cannot be used. Only the default collection is asked for (none
    // of the items), and an error that may pass (an object that vanished while it was looked at,
    // a call that got no reply) is tried once more within the same time.
    static std::optional<std::string> unavailableReason(double timeoutSeconds);

    // The keychain status of a libsecret or D-Bus error: a vanished item is absent
    // (itemNotFound), a locked collection is interactionNotAllowed, an answer that cannot be
    // used is decodeFailure, and everything else means that the store did not answer
    // (notAvailable). Success for no error.
    static std::int32_t statusOf(const GError* error);

    Result<std::string, std::int32_t> read(const std::string& service,
                                           const std::string& account) override;
    std::int32_t update(const std::string& service, const std::string& account,
                        const std::string& data) override;
    std::int32_t add(const std::string& service, const std::string& account,
                     const std::string& data) override;
    std::int32_t remove(const std::string& service, const std::string& account) override;
    std::string name() const override { return "secret_service"; }

  private:
    Result<std::string, std::int32_t> lookupLocked(const std::string& service,
                                                   const std::string& account,
                                                   GCancellable* cancellable);
    std::int32_t storeLocked(const std::string& service, const std::string& account,
                             const std::string& data, GCancellable* cancellable);
    // Success when the default collection is there and unlocked.
    static std::int32_t defaultCollectionUnlocked(GCancellable* cancellable);

    const double callTimeout_;
    std::mutex mutex_;
};

}  // namespace parlendo
