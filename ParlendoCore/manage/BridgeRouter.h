#pragma once

#include "foundation/Clock.h"
#include "foundation/Completion.h"
#include "foundation/Executor.h"
#include "foundation/Json.h"
#include "manage/BridgeRoutes.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace parlendo {

// Answers every call of the manage page. The route groups of all modules are joined into one
// table at construction; a call is answered by name, its typed reply turned into the page's reply
// object, timed, and logged in one line (fewer for calls logged only when their reply changes).
// Main executor only: handlers run there, and an answer that arrives elsewhere is handed back to
// `main` before it is logged. Several calls may be in progress at once.
class BridgeRouter : public std::enable_shared_from_this<BridgeRouter> {
  public:
    using Groups = std::vector<std::shared_ptr<const BridgeRoutes>>;

    // Groups are read once, in order; a name served by an earlier group keeps its entry and mode.
    static std::shared_ptr<BridgeRouter> make(const Groups& groups,
                                              std::shared_ptr<const MonotonicClock> clock = nullptr,
                                              ExecutorPtr main = nullptr);

    std::map<std::string, BridgeStatus> table() const;
    // The call names in the order of the groups, each group's names sorted.
    const std::vector<std::string>& names() const { return names_; }

    // Answers one call with a JSON-ready result, as a rule an object. Never fails: unknown and
    // unserved names answer the request-failure envelope.
    void respond(const std::string& name, std::vector<Json> args,
                 Completion<void(Json)> completion);
    // `respond`, with a result that is not an object wrapped as {"ok": true, "data": result}.
    void handle(const std::string& name, std::vector<Json> args, Completion<void(Json)> completion);
    // The result as `handle` answers it: an object as it is, anything else wrapped.
    static Json wrapped(Json result);

    // The result object of a typed reply; writes the reply's failure line under "manage".
    static Json envelope(const std::string& name, const BridgeReply& reply);

  private:
    BridgeRouter(const Groups& groups, std::shared_ptr<const MonotonicClock> clock,
                 ExecutorPtr main);

    void finish(const std::string& name, double start, const BridgeReply& reply,
                Completion<void(Json)> completion);
    void logCall(const std::string& name, const Json& result, int ms);

    std::map<std::string, BridgeEntry> entries_;
    std::map<std::string, BridgeLogMode> logModes_;
    std::vector<std::string> names_;
    std::shared_ptr<const MonotonicClock> clock_;
    ExecutorPtr main_;
    std::map<std::string, size_t> lastLogged_;
    std::map<std::string, int> quiet_;
};

}  // namespace parlendo
