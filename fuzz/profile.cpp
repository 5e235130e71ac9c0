// Deployment profiles as the start-up reads them from a file.

#include "FuzzSupport.h"
#include "foundation/Json.h"
#include "foundation/RuntimeConfigLoader.h"

using namespace parlendo;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::enterPrivateHome();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    const bool synthetic = in.flag();
    const auto profile = json::parse(in.rest());
    if (!profile) {
        return 0;
    }
    (void)RuntimeConfigLoader::validate(*profile, synthetic);
    (void)RuntimeConfigLoader::validate(*profile, synthetic, ".example.test");
    (void)RuntimeConfigLoader::canonicalSHA256(*profile);
    return 0;
}
