#include "manage/ManageBridge.h"

#include "foundation/Log.h"
#include "foundation/Text.h"

#include <algorithm>
#include <cstdint>
#include <exception>

namespace parlendo {

namespace {

bool isHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The UTF-16 unit of a "\uXXXX" escape starting at `at`, or -1.
int escapedUnit(std::string_view text, size_t at) {
    if (at + 6 > text.size() || text[at] != '\\' || text[at + 1] != 'u') {
        return -1;
    }
    int unit = 0;
    for (size_t i = at + 2; i < at + 6; ++i) {
        if (!isHex(text[i])) {
            return -1;
        }
        const char c = text[i];
        unit = unit * 16 + (c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
    }
    return unit;
}

bool isHigh(int unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool isLow(int unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// A page load's mark as the shim makes it; anything else is no mark, so it can go into the
// reply script as it is.
std::string loadMark(const std::optional<std::string>& text) {
    if (!text || text->empty() || text->size() > 64 ||
        !std::all_of(text->begin(), text->end(),
                     [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z'); })) {
        return {};
    }
    return *text;
}

// JSON text in which every "\uXXXX" escape of a surrogate without its partner becomes "\ufffd".
// JavaScript strings may hold such lone halves; JSON readers refuse them.
std::string repairSurrogateEscapes(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '\\' || i + 1 >= text.size()) {
            out.push_back(text[i++]);
            continue;
        }
        if (text[i + 1] != 'u') {
            out.append(text.substr(i, 2));  // any other escape, "\\" included
            i += 2;
            continue;
        }
        const int unit = escapedUnit(text, i);
        if (isHigh(unit) && isLow(escapedUnit(text, i + 6))) {
            out.append(text.substr(i, 12));
            i += 12;
        } else if (isHigh(unit) || isLow(unit)) {
            out.append("\\ufffd");
            i += 6;
        } else {
            out.append(text.substr(i, 2));
            i += 2;
        }
    }
    return out;
}

// Collects the top-level "id", "name" and "nonce" of a JSON text without building its values, so
// that a message too deep or too damaged to read can still be answered. The reader keeps its own
// depth count and never recurses.
struct HeadReader {
    using number_integer_t = Json::number_integer_t;
    using number_unsigned_t = Json::number_unsigned_t;
    using number_float_t = Json::number_float_t;
    using string_t = Json::string_t;
    using binary_t = Json::binary_t;

    int depth = 0;
    bool topIsObject = false;
    std::string currentKey;
    std::optional<std::int64_t> id;
    std::optional<std::string> name;
    std::optional<std::string> nonce;
    std::optional<std::string> load;

    bool atTop() const { return depth == 1 && topIsObject; }
    bool null() { return true; }
    bool boolean(bool) { return true; }
    bool number_integer(number_integer_t value) {
        if (atTop() && currentKey == "id") {
            id = value;
        }
        return true;
    }
    bool number_unsigned(number_unsigned_t value) {
        if (atTop() && currentKey == "id" && value <= static_cast<number_unsigned_t>(INT64_MAX)) {
            id = static_cast<std::int64_t>(value);
        }
        return true;
    }
    bool number_float(number_float_t, const string_t&) { return true; }
    bool string(string_t& value) {
        if (atTop() && currentKey == "name") {
            name = value;
        } else if (atTop() && currentKey == "nonce") {
            nonce = value;
        } else if (atTop() && currentKey == "load") {
            load = value;
        }
        return true;
    }
    bool binary(binary_t&) { return true; }
    bool start_object(std::size_t) {
        if (depth == 0) {
            topIsObject = true;
        }
        ++depth;
        currentKey.clear();
        return true;
    }
    bool key(string_t& value) {
        if (depth == 1) {
            currentKey = value;
        }
        return true;
    }
    bool end_object() {
        --depth;
        return true;
    }
    bool start_array(std::size_t) {
        ++depth;
        return true;
    }
    bool end_array() {
        --depth;
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) {
        return false;
    }
};

}  // namespace

ManageBridge::ManageBridge(std::shared_ptr<BridgeRouter> router) : router_(std::move(router)) {}

const std::set<std::string>& ManageBridge::authCalls() {
    static const std::set<std::string> names = {
        "login",
        "sign_in",
        "sign_up",
        "set_username",
        "sign_out",
        "delete_account",
        "forget_deleted_account",
        "reset_local_state",
    };
    return names;
}

void ManageBridge::respond(const std::string& name, std::vector<Json> args,
                           Completion<void(Json)> completion) {
    std::shared_ptr<int> counter;
    if (authCalls().count(name) > 0) {
        counter = authCallsInFlight_;
        ++*counter;
    }
    router_->respond(name, std::move(args),
                     [counter, completion = std::move(completion)](Json result) mutable {
                         if (counter && *counter > 0) {
                             --*counter;
                         }
                         completion(std::move(result));
                     });
}

void ManageBridge::handle(const std::string& name, std::vector<Json> args,
                          Completion<void(Json)> completion) {
    respond(name, std::move(args), [completion = std::move(completion)](Json result) mutable {
        completion(BridgeRouter::wrapped(std::move(result)));
    });
}

std::optional<Json> ManageBridge::parseBody(std::string_view text) {
    return json::parse(repairSurrogateEscapes(text::sanitize(text)));
}

ManageBridge::Incoming ManageBridge::read(std::string_view text) {
    const std::string repaired = repairSurrogateEscapes(text::sanitize(text));
    Incoming incoming;
    if (const std::optional<Json> body = json::parse(repaired)) {
        incoming.nonce = json::string(*body, "nonce");
        incoming.message = message(*body);
        return incoming;
    }
    HeadReader head;
    try {
        Json::sax_parse(repaired, &head, Json::input_format_t::json, false);
    } catch (const std::exception&) {
        // The reader stops at the first error; what it found before stays usable.
    }
    incoming.nonce = head.nonce;
    if (head.id && head.name) {
        incoming.message = Message{*head.id, *head.name, {}, loadMark(head.load), true};
    }
    return incoming;
}

std::optional<ManageBridge::Message> ManageBridge::message(const Json& body) {
    if (!body.is_object()) {
        return std::nullopt;
    }
    auto id = body.find("id");
    auto name = body.find("name");
    if (id == body.end() || !id->is_number_integer() || name == body.end() || !name->is_string()) {
        return std::nullopt;
    }
    if (id->is_number_unsigned() &&
        id->get<std::uint64_t>() > static_cast<std::uint64_t>(INT64_MAX)) {
        return std::nullopt;
    }
    Message out;
    out.id = id->get<std::int64_t>();
    out.name = name->get<std::string>();
    if (const Json* args = json::array(body, "args")) {
        out.args.assign(args->begin(), args->end());
    }
    out.load = loadMark(json::string(body, "load"));
    return out;
}

void ManageBridge::take(Message message, Completion<void(std::string)> script) {
    const std::int64_t id = message.id;
    if (message.unreadable) {
        Log::write("manage", message.name + " 실패 reason=unreadable_message");
        script(resolveScript(
            id,
            replyText(message.name,
                      Json{{"ok", false}, {"msg", "REQUEST_FAILED"}, {"error_class", "request"}}),
            message.load));
        return;
    }
    std::string name = message.name;
    respond(message.name, std::move(message.args),
            [id, name = std::move(name), load = std::move(message.load), script = std::move(script),
             writer = writer_, main = main_](Json result) mutable {
                if (!writer || !main || !isLarge(result)) {
                    script(resolveScript(id, replyText(name, result), load));
                    return;
                }
                // The reply is written, and let go, off the main executor.
                writer->post([id, name = std::move(name), load = std::move(load),
                              result = std::move(result), script = std::move(script),
                              main = std::move(main)]() mutable {
                    std::string text = resolveScript(id, replyText(name, result), load);
                    result = Json();
                    main->post([script = std::move(script), text = std::move(text)]() mutable {
                        script(std::move(text));
                    });
                });
            });
}

void ManageBridge::writeLargeRepliesOn(ExecutorPtr writer, ExecutorPtr main) {
    writer_ = std::move(writer);
    main_ = std::move(main);
}

namespace {

// Counts the values of `value` and the bytes of its texts down from the budgets; false once
// either is spent.
bool within(const Json& value, size_t& values, size_t& bytes) {
    if (values == 0) {
        return false;
    }
    --values;
    if (value.is_string()) {
        const size_t size = value.get_ref<const std::string&>().size();
        if (size >= bytes) {
            return false;
        }
        bytes -= size;
    } else if (value.is_object()) {
        for (const auto& [key, item] : value.items()) {
            if (key.size() >= bytes || !within(item, values, bytes -= key.size())) {
                return false;
            }
        }
    } else if (value.is_array()) {
        for (const auto& item : value) {
            if (!within(item, values, bytes)) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

bool ManageBridge::isLarge(const Json& reply) {
    size_t values = largeReplyValues;
    size_t bytes = largeReplyBytes;
    return !within(reply, values, bytes);
}

std::string ManageBridge::resolveScript(std::int64_t id, const std::string& jsonText,
                                        const std::string& load) {
    return "window.__prlResolve(" + std::to_string(id) + ", " + jsonText + ", \"" + load + "\");";
}

std::string ManageBridge::replyText(const std::string& name, const Json& result) {
    if (auto text = json::dump(result)) {
        return *text;
    }
    Log::write("manage", "🔴 " + name + " 의 답을 JSON 으로 못 만듦 — REQUEST_FAILED 로 답함");
    return *json::dump(Json{{"ok", false}, {"msg", "REQUEST_FAILED"}, {"error_class", "request"}});
}

}  // namespace parlendo
