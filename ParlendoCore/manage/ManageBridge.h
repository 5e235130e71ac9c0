#pragma once

#include "foundation/Completion.h"
#include "foundation/Executor.h"
#include "foundation/Json.h"
#include "manage/BridgeRouter.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace parlendo {

// The native end of the manage page's bridge: it reads each page message, counts the sign-in and
// account calls in flight, asks the router for the answer and turns it into the script that
// settles the page's promise. Main executor only.
class ManageBridge {
  public:
    // One call of the page: {"id": integer, "name": string, "args": array, "load": string}.
    struct Message {
        std::int64_t id = 0;
        std::string name;
        std::vector<Json> args;
        // The mark of the page load that made the call (each load numbers its calls from 1):
        // the reply settles a call of that load only. Empty when the message had none.
        std::string load = {};
        // The id and name could be read but not the rest (nested too deeply, not JSON): the
        // call is answered as failed without reaching a route.
        bool unreadable = false;
        bool operator==(const Message&) const = default;
    };
    // What the web view handed over: the message, if there is one, and the nonce it carried.
    struct Incoming {
        std::optional<std::string> nonce;
        std::optional<Message> message;
    };

    explicit ManageBridge(std::shared_ptr<BridgeRouter> router);

    // The calls that sign in, sign out or change the account; while one runs, a change of the
    // signed-in state was made by the page itself.
    static const std::set<std::string>& authCalls();

    void respond(const std::string& name, std::vector<Json> args,
                 Completion<void(Json)> completion);
    void handle(const std::string& name, std::vector<Json> args, Completion<void(Json)> completion);
    int authCallsInFlight() const { return *authCallsInFlight_; }
    std::map<std::string, BridgeStatus> table() const { return router_->table(); }
    const std::shared_ptr<BridgeRouter>& router() const { return router_; }

    // Reads the JSON text of a message as the web view hands it over. Invalid UTF-8 and lone
    // UTF-16 surrogates are repaired to U+FFFD first. Text that is not one readable JSON value
    // still gives its top-level "id", "name" and "nonce" when they can be found.
    static Incoming read(std::string_view text);
    // The JSON value of the text after the repairs; nothing when it is not one JSON value.
    static std::optional<Json> parseBody(std::string_view text);
    // The message in a body; nothing when "id" is not an integer or "name" not a string. An
    // "args" that is missing or not an array means no arguments; a "load" that is not a short
    // text of letters and digits means none.
    static std::optional<Message> message(const Json& body);

    // Answers one message and completes with the script that settles the page's promise.
    void take(Message message, Completion<void(std::string)> script);
    // Large replies are written out on `writer` and their scripts handed back on `main`, so that
    // a word book of many thousand rows does not hold up the main loop. Without this they are
    // written where they are answered.
    void writeLargeRepliesOn(ExecutorPtr writer, ExecutorPtr main);
    // Whether a reply holds more than this many values, or more than this many bytes of text.
    static constexpr size_t largeReplyValues = 2000;
    static constexpr size_t largeReplyBytes = 256 * 1024;
    static bool isLarge(const Json& reply);

    // "window.__prlResolve(<id>, <json>, "<load>");", which is true when it settled a call.
    static std::string resolveScript(std::int64_t id, const std::string& jsonText,
                                     const std::string& load);
    // The JSON text of a result (fragments allowed). A result that cannot be written is logged
    // and answered with the request-failure envelope, so the page's promise still settles.
    static std::string replyText(const std::string& name, const Json& result);

  private:
    std::shared_ptr<BridgeRouter> router_;
    // Shared with the calls in flight, which count themselves down when answered.
    std::shared_ptr<int> authCallsInFlight_ = std::make_shared<int>(0);
    ExecutorPtr writer_;
    ExecutorPtr main_;
};

}  // namespace parlendo
