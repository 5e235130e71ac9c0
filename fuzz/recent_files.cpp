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
        // Titles may show the entries' paths from this home folder ("~/…").
        const std::filesystem::path home = "/home/user";
        const auto paths = RecentFiles::openedBy(*entries, {program});
        for (const auto& path : paths) {
            (void)ProcessDocuments::shownInTitle(path, title, home);
        }
        (void)ProcessDocuments::namedInTitle(paths, title, home);
    }
    return 0;
}
