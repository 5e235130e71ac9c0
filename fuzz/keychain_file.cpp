// The file that keeps secrets where no Secret Service answers: any bytes on disk are read,
// refused or set aside, never misread into a crash.

#include "FuzzSupport.h"
#include "foundation/KeychainFile.h"

#include <filesystem>
#include <fstream>

using namespace parlendo;

namespace {
std::filesystem::path file;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::enterPrivateHome();
    file = std::filesystem::path(std::getenv("XDG_DATA_HOME")) / "fuzz-keychain.json";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    const bool write = in.flag();
    const std::string account = in.field();
    const std::string contents = in.rest();
    std::error_code ec;
    std::filesystem::remove(file, ec);
    std::filesystem::remove(file.string() + ".bad", ec);
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out << contents;
        if (!out) {
            return 0;
        }
    }
    KeychainFile keychain(file);
    (void)keychain.read("local.parlendo.mac", account);
    (void)keychain.read("local.parlendo.mac", "refresh_token");
    if (write) {
        (void)keychain.update("local.parlendo.mac", account, "value");
        (void)keychain.read("local.parlendo.mac", account);
    }
    return 0;
}
