#pragma once

#include <map>
#include <optional>
#include <string>

namespace parlendo {

// The client identification that requests to the backend carry in "X-Client-Info".
namespace ClientIdentity {

inline constexpr const char* header = "X-Client-Info";
inline constexpr const char* platform = "parlendo-mac";

// "0.2.0+<label>" for a build label, else "0.2.0".
std::string version(const std::optional<std::string>& buildLabel);
// "parlendo-mac/" + version(buildLabel).
std::string value(const std::optional<std::string>& buildLabel);

// The values of this build (the bundle's build label), worked out once.
const std::string& currentVersion();
const std::string& current();

// The part of an outgoing request that stamping looks at and changes.
struct Request {
    std::string url;
    std::map<std::string, std::string> headers;
};

// Sets the header to `value` only when the request's URL has a host equal, ignoring ASCII case,
// to the host of `base`; answers whether it did. Requests to any other host (a redirect target,
// a foreign API) never carry the identity. Other headers are left alone.
bool stamp(Request& request, const std::string& base, const std::string& value);

}  // namespace ClientIdentity
}  // namespace parlendo
