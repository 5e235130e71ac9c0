#include "foundation/Json.h"

#include <cmath>

namespace parlendo::json {

namespace {

// Nesting deeper than this is refused: serialising (and comparing) a value recurses once per
// level, so a hostile text could otherwise exhaust the stack after it parsed.
constexpr int kMaxDepth = 512;

bool nestingWithinLimit(std::string_view text) {
    int depth = 0;
    bool inString = false;
    bool escaped = false;
    for (char c : text) {
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                inString = false;
            }
            continue;
        }
        if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > kMaxDepth) {
                return false;
            }
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return true;
}

}  // namespace

std::optional<Json> parse(std::string_view text) {
    // nlohmann-json takes a NUL byte for the end of the input and would accept whatever follows
    // it; no JSON text can hold a raw NUL, so such input is refused here.
    if (text.find('\0') != std::string_view::npos || !nestingWithinLimit(text)) {
        return std::nullopt;
    }
    try {
        Json value = Json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false);
        if (value.is_discarded()) {
            return std::nullopt;
        }
        return value;
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<std::string> dump(const Json& value) {
    try {
        return value.dump(-1, ' ', false, Json::error_handler_t::strict);
    } catch (...) {
        return std::nullopt;
    }
}

std::string dumpLossy(const Json& value) {
    try {
        return value.dump(-1, ' ', false, Json::error_handler_t::replace);
    } catch (...) {
        return "null";
    }
}

namespace {
const Json* member(const Json& object, std::string_view key) {
    if (!object.is_object()) {
        return nullptr;
    }
    auto it = object.find(key);
    if (it == object.end()) {
        return nullptr;
    }
    return &*it;
}
}  // namespace

std::optional<std::string> string(const Json& object, std::string_view key) {
    const Json* m = member(object, key);
    if (m == nullptr || !m->is_string()) {
        return std::nullopt;
    }
    return m->get_ref<const std::string&>();
}

std::optional<bool> boolean(const Json& object, std::string_view key) {
    const Json* m = member(object, key);
    if (m == nullptr || !m->is_boolean()) {
        return std::nullopt;
    }
    return m->get<bool>();
}

std::optional<std::int64_t> integer(const Json& object, std::string_view key) {
    const Json* m = member(object, key);
    if (m == nullptr) {
        return std::nullopt;
    }
    if (m->is_number_integer()) {
        if (m->is_number_unsigned() &&
            m->get<std::uint64_t>() > static_cast<std::uint64_t>(INT64_MAX)) {
            return std::nullopt;
        }
        return m->get<std::int64_t>();
    }
    if (m->is_number_float()) {
        const double d = m->get<double>();
        if (std::isfinite(d) && std::trunc(d) == d && d >= -9.2e18 && d <= 9.2e18) {
            return static_cast<std::int64_t>(d);
        }
    }
    return std::nullopt;
}

std::optional<double> number(const Json& object, std::string_view key) {
    const Json* m = member(object, key);
    if (m == nullptr || !m->is_number()) {
        return std::nullopt;
    }
    const double d = m->get<double>();
    if (!std::isfinite(d)) {
        return std::nullopt;
    }
    return d;
}

const Json* object(const Json& object, std::string_view key) {
    const Json* m = member(object, key);
    return (m != nullptr && m->is_object()) ? m : nullptr;
}

const Json* array(const Json& object, std::string_view key) {
    const Json* m = member(object, key);
    return (m != nullptr && m->is_array()) ? m : nullptr;
}

}  // namespace parlendo::json
