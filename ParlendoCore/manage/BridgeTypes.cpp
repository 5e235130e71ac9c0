#include "manage/BridgeTypes.h"

namespace parlendo {

BridgeArgs BridgeArgs::fromJson(const Json& array) {
    BridgeArgs args;
    if (array.is_array()) {
        args.raw.assign(array.begin(), array.end());
    }
    return args;
}

std::string BridgeArgs::string(size_t index) const {
    return optionalString(index).value_or("");
}

std::optional<std::string> BridgeArgs::optionalString(size_t index) const {
    const Json* value = any(index);
    if (value && value->is_string()) {
        return value->get<std::string>();
    }
    return std::nullopt;
}

std::vector<std::string> BridgeArgs::strings(size_t index) const {
    const Json* value = any(index);
    if (!value || !value->is_array()) {
        return {};
    }
    std::vector<std::string> out;
    for (const auto& item : *value) {
        if (!item.is_string()) {
            return {};
        }
        out.push_back(item.get<std::string>());
    }
    return out;
}

const Json* BridgeArgs::any(size_t index) const {
    return index < raw.size() ? &raw[index] : nullptr;
}

void BridgeReply::reading(ReadBody body, Completion<void(BridgeReply)> completion) {
    body([completion = std::move(completion)](Result<Json, CallFailure> result) mutable {
        if (result) {
            completion(ok(std::move(*result)));
        } else {
            completion(failed(std::move(result.error())));
        }
    });
}

const char* toString(BridgeStatus status) {
    switch (status) {
        case BridgeStatus::implemented:
            return "implemented";
        case BridgeStatus::notYet:
            return "notYet";
    }
    return "notYet";
}

const char* toString(BridgeLogMode mode) {
    switch (mode) {
        case BridgeLogMode::selfLogged:
            return "selfLogged";
        case BridgeLogMode::onChange:
            return "onChange";
    }
    return "selfLogged";
}

}  // namespace parlendo
