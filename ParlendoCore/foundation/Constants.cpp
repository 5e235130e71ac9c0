#include "foundation/Constants.h"

#include "foundation/Regex.h"

namespace parlendo::Constants {

bool isBuildLabel(const std::optional<std::string>& label) {
    // Matched over the whole text: ICU's "$" would also accept a label followed by a line break.
    static const Regex pattern("^[0-9]{8}\\.[0-9]{2}$");
    return label && pattern.matches(*label);
}

std::string serverAppVersion(const std::optional<std::string>& buildLabel) {
    std::string version = std::string(appVersion) + "+" + platformMark;
    if (isBuildLabel(buildLabel)) {
        version += "." + *buildLabel;
    }
    return version;
}

}  // namespace parlendo::Constants
