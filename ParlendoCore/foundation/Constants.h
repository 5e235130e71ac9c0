#pragma once

#include <optional>
#include <string>

namespace parlendo {

// Program-wide constants.
namespace Constants {

inline constexpr const char* appVersion = "0.2.0";
// The region sent in the "x-region" header of edge-function requests.
inline constexpr const char* edgeRegion = "ap-northeast-2";
// The platform word of the server app version.
inline constexpr const char* platformMark = "mac";

// True for a build label: eight digits, a full stop and two digits (YYYYMMDD.NN).
bool isBuildLabel(const std::optional<std::string>& label);

// "0.2.0+mac.<label>" for a build label, else "0.2.0+mac".
std::string serverAppVersion(const std::optional<std::string>& buildLabel);

}  // namespace Constants
}  // namespace parlendo
