#include "foundation/ClientIdentity.h"

#include "foundation/AppBundle.h"
#include "foundation/Constants.h"
#include "foundation/Text.h"
#include "foundation/Url.h"

namespace parlendo::ClientIdentity {

std::string version(const std::optional<std::string>& buildLabel) {
    std::string result = Constants::appVersion;
    if (Constants::isBuildLabel(buildLabel)) {
        result += "+" + *buildLabel;
    }
    return result;
}

std::string value(const std::optional<std::string>& buildLabel) {
    return std::string(platform) + "/" + version(buildLabel);
}

const std::string& currentVersion() {
    static const std::string cached = version(AppBundle::main().buildLabel);
    return cached;
}

const std::string& current() {
    static const std::string cached = std::string(platform) + "/" + currentVersion();
    return cached;
}

bool stamp(Request& request, const std::string& base, const std::string& value) {
    const auto target = Url::parse(request.url);
    const auto baseURL = Url::parse(base);
    if (!target || !target->host || target->host->empty() || !baseURL || !baseURL->host ||
        !text::asciiIEquals(*target->host, *baseURL->host)) {
        return false;
    }
    // Header names are case-insensitive: replace whatever spelling is there.
    std::erase_if(request.headers,
                  [](const auto& entry) { return text::asciiIEquals(entry.first, header); });
    request.headers[header] = value;
    return true;
}

}  // namespace parlendo::ClientIdentity
