#include "foundation/KeychainSetup.h"

#include "foundation/Keychain.h"
#include "foundation/KeychainFile.h"
#include "foundation/LibsecretKeychain.h"
#include "foundation/WorkerQueue.h"

namespace parlendo::KeychainSetup {

void install(double timeoutSeconds) {
    const auto unavailable = LibsecretKeychain::unavailableReason(timeoutSeconds);
    Keychain::choose(KeychainFile::defaultPath(),
                     unavailable ? nullptr : std::make_shared<LibsecretKeychain>(),
                     unavailable.value_or(""));
}

void start(double timeoutSeconds) {
    queue()->post([timeoutSeconds] { install(timeoutSeconds); });
}

ExecutorPtr queue() {
    // Left to the end of the process on purpose (see the header).
    static auto* const keychain = new SerialQueue("parlendo.keychain");
    static const ExecutorPtr shared(keychain, [](Executor*) {});
    return shared;
}

}  // namespace parlendo::KeychainSetup
