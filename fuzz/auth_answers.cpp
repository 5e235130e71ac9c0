// Answers of the auth service (status and body) and the "parlendo://auth-callback" links of the
// confirmation and recovery mails.

#include "FuzzSupport.h"
#include "auth/AuthCallback.h"
#include "auth/AuthWire.h"

using namespace parlendo;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::enterPrivateHome();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    const std::uint8_t which = in.byte();
    const int status = 200 + in.byte() * 2;
    const bool refresh = in.flag();
    const std::string text = in.rest();
    const double now = 1'780'000'000.0;
    if (which % 2 == 0) {
        (void)AuthCallback::parse(text).kind();
        return 0;
    }
    auto object = AuthWire::classify(status, text, false, refresh, now);
    if (object) {
        (void)AuthWire::parseSession(*object, now);
        (void)AuthWire::signUpResult(*object, now);
        (void)AuthWire::signupUsername(*object);
        (void)AuthWire::serverCode(*object);
        (void)AuthWire::legacyMessage(*object);
    }
    return 0;
}
