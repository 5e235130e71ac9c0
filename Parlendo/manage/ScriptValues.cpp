#include "manage/ScriptValues.h"

#include "foundation/Log.h"
#include "manage/ManageBridge.h"

#include <glib.h>

namespace parlendo::ScriptValues {

std::optional<std::string> jsonText(JSCValue* value) {
    if (value == nullptr || jsc_value_is_undefined(value)) {
        return std::nullopt;
    }
    gchar* text = jsc_value_to_json(value, 0);
    if (text == nullptr) {
        // A throwing toJSON or a cycle leaves an exception on the context; it is not ours.
        if (JSCContext* context = jsc_value_get_context(value)) {
            jsc_context_clear_exception(context);
        }
        return std::nullopt;
    }
    std::string out(text);
    g_free(text);
    return out;
}

std::optional<Json> json(JSCValue* value) {
    const std::optional<std::string> text = jsonText(value);
    if (!text) {
        return std::nullopt;
    }
    return ManageBridge::parseBody(*text);
}

}  // namespace parlendo::ScriptValues
