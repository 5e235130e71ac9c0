#pragma once

#include <gio/gio.h>

#include <string>

namespace parlendo::testing {

// A Secret Service that never answers, as a keyring that hangs: a private D-Bus daemon becomes
// this process's session bus, and a connection of the test owns the keyring's name on it and
// drops every method call sent to it, so that each call waits for the bus's own time-out. The
// session bus is chosen once per process, so this must be made before anything in the process
// talks to it: in a fresh process (a death test of the "threadsafe" style).
class SilentSecretService {
  public:
    SilentSecretService();
    ~SilentSecretService();
    SilentSecretService(const SilentSecretService&) = delete;
    SilentSecretService& operator=(const SilentSecretService&) = delete;

    // Whether the private bus runs and the name is owned; `why` tells what failed otherwise.
    bool owned() const { return owned_; }
    const std::string& why() const { return why_; }

  private:
    GTestDBus* bus_ = nullptr;
    GDBusConnection* connection_ = nullptr;
    bool owned_ = false;
    std::string why_;
};

}  // namespace parlendo::testing
