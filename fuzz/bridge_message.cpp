// The arguments of manage-page calls as the call handlers read them, and the reply objects the
// page's answers are built from.

#include "FuzzSupport.h"
#include "foundation/Json.h"
#include "manage/BridgeTypes.h"
#include "manage/ManageContract.h"

using namespace parlendo;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::enterPrivateHome();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    const auto message = json::parse(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!message) {
        return 0;
    }
    const Json* args =
        message->is_object() && message->contains("args") ? &(*message)["args"] : &*message;
    const BridgeArgs read = BridgeArgs::fromJson(*args);
    for (size_t i = 0; i < read.raw.size() + 2; ++i) {
        (void)read.string(i);
        (void)read.optionalString(i);
        (void)read.strings(i);
        (void)ManageContract::boolean(read.any(i));
        (void)ManageContract::number(read.any(i));
    }
    if (message->is_object()) {
        (void)ManageContract::reply(*message);
    }
    (void)json::dumpLossy(*message);
    return 0;
}
