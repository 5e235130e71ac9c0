// Window titles as the title key cleans them: application tails, credentials in addresses,
// invisible characters, the length cut.

#include "FuzzSupport.h"
#include "lookup/TitleKey.h"

using namespace parlendo;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::enterPrivateHome();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    const std::string bundle = in.field();
    const std::string document = in.field();
    const std::string title = in.rest();
    (void)TitleKey::redact(title);
    (void)TitleKey::normalize(title);
    (void)TitleKey::key(title);
    (void)TitleKey::stripForKey(title);
    (void)TitleKey::isBrowser(bundle);
    const auto shown = TitleKey::documentTitle(title, bundle, document);
    (void)TitleKey::key(shown);
    (void)TitleKey::normalize(TitleKey::contextTitle(title, bundle));
    return 0;
}
