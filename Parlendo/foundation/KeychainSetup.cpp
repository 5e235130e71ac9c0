#include "foundation/KeychainSetup.h"

#include "foundation/Keychain.h"
#include "foundation/KeychainFile.h"
#include "foundation/LibsecretKeychain.h"

namespace parlendo::KeychainSetup {

void install(double timeoutSeconds) {
    const auto unavailable = LibsecretKeychain::unavailableReason(timeoutSeconds);
    Keychain::choose(KeychainFile::defaultPath(),
                     unavailable ? nullptr : std::make_shared<LibsecretKeychain>(),
                     unavailable.value_or(""));
}

}  // namespace parlendo::KeychainSetup
