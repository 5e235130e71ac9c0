// The desktop's list of recently used files, as another program may have left it: any bytes,
// cut short, deeply nested, full of references. A list is trusted whole or not at all.

#include "FuzzSupport.h"
#include "capture/ProcessDocuments.h"
#include "capture/RecentFiles.h"

using namespace parlendo;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::enterPrivateHome();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    const std::string title = in.field();
    const std::string program = in.field();
    const std::string list = in.rest();
    const auto entries = RecentFiles::parse(list);
    if (entries) {
        (void)ProcessDocuments::namedInTitle(RecentFiles::openedBy(*entries, {program}), title);
    }
    return 0;
}
