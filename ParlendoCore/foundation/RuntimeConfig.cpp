#include "foundation/RuntimeConfig.h"

namespace parlendo {

const char* toString(RuntimeConfig::KeyKind kind) {
    switch (kind) {
        case RuntimeConfig::KeyKind::publishable:
            return "publishable";
        case RuntimeConfig::KeyKind::anon:
            return "anon";
    }
    return "publishable";
}

const char* toString(RuntimeConfig::Route route) {
    switch (route) {
        case RuntimeConfig::Route::rpcOnly:
            return "rpc_only";
    }
    return "rpc_only";
}

const char* toString(RuntimeConfig::Deployment deployment) {
    switch (deployment) {
        case RuntimeConfig::Deployment::synthetic:
            return "synthetic";
        case RuntimeConfig::Deployment::release:
            return "release";
    }
    return "synthetic";
}

std::optional<RuntimeConfig::KeyKind> keyKindFromString(std::string_view text) {
    if (text == "publishable") {
        return RuntimeConfig::KeyKind::publishable;
    }
    if (text == "anon") {
        return RuntimeConfig::KeyKind::anon;
    }
    return std::nullopt;
}

std::optional<RuntimeConfig::Route> routeFromString(std::string_view text) {
    if (text == "rpc_only") {
        return RuntimeConfig::Route::rpcOnly;
    }
    return std::nullopt;
}

std::optional<RuntimeConfig::Deployment> deploymentFromString(std::string_view text) {
    if (text == "synthetic") {
        return RuntimeConfig::Deployment::synthetic;
    }
    if (text == "release") {
        return RuntimeConfig::Deployment::release;
    }
    return std::nullopt;
}

}  // namespace parlendo
