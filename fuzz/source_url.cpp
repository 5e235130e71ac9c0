// Addresses and file URLs of captured windows as the source code cleans and judges them.

#include "FuzzSupport.h"
#include "lookup/SourceURL.h"

using namespace parlendo;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::enterPrivateHome();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    const std::uint8_t facts = in.byte();
    const std::string url = in.rest();
    (void)SourceURL::acceptAddressBar(url);
    (void)SourceURL::clean(url);
    (void)SourceURL::localPath(url);
    (void)SourceURL::standardFile(url);
    (void)SourceURL::standardFile(SourceURL::clean(url));
    (void)SourceURL::judgeLocal(url, [facts](const std::string&) {
        return SourceURL::LocalFacts{(facts & 1) != 0, (facts & 2) != 0, (facts & 4) != 0,
                                     (facts & 8) != 0, ""};
    });
    return 0;
}
