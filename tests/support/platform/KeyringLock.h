#pragma once

#include <gio/gio.h>

#include <string>

namespace parlendo::testing {

// The session keyring's default collection, locked and unlocked again over the Secret Service's
// own calls, as the desktop's keyring does when the user locks the screen. Unlocking uses the
// password scripts/with-session.sh gave the keyring; the destructor unlocks what it locked.
// Tests that lock the keyring take the "keyring" resource lock (tests/CMakeLists.txt).
class KeyringLock {
  public:
    KeyringLock();
    ~KeyringLock();
    KeyringLock(const KeyringLock&) = delete;
    KeyringLock& operator=(const KeyringLock&) = delete;

    // Whether the Secret Service and its default collection answered.
    bool found() const { return bus_ != nullptr && !collection_.empty(); }
    bool lock();
    bool unlock();

  private:
    GVariant* call(const char* method, GVariant* parameters, const char* reply);

    GDBusConnection* bus_ = nullptr;
    std::string collection_;
    bool locked_ = false;
};

}  // namespace parlendo::testing
