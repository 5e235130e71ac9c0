#include "foundation/KeychainSetup.h"

#include "foundation/Keychain.h"
#include "foundation/KeychainFile.h"
#include "foundation/LibsecretKeychain.h"
#include "foundation/Log.h"

namespace parlendo::KeychainSetup {

void install(double timeoutSeconds) {
    const auto reason = LibsecretKeychain::unavailableReason(timeoutSeconds);
    if (!reason) {
        Keychain::setBackend(std::make_shared<LibsecretKeychain>());
        return;
    }
    const auto path = KeychainFile::defaultPath();
    Keychain::setBackend(std::make_shared<KeychainFile>(path));
    Log::write("keychain", "Secret Service 를 쓸 수 없어 파일에 보관한다 path=" + path.string() +
                               " reason=" + *reason);
}

}  // namespace parlendo::KeychainSetup
