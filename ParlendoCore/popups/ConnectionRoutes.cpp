#include "popups/ConnectionRoutes.h"

#include "foundation/KeychainCall.h"
#include "foundation/Log.h"
#include "foundation/WorkerQueue.h"

#include <optional>
#include <sstream>

namespace parlendo {
namespace {

BridgeReply requestFailure(const char* message) {
    return BridgeReply::custom(Json{{"ok", false}, {"msg", message}, {"error_class", "request"}});
}

// One call's keychain work, on the keychain queue; past the deadline the page is told that the
// keychain did not answer.
struct KeychainReply {
    std::string name;
    KeychainCall keychain;

    void run(UniqueFunction<BridgeReply()> work, Completion<void(BridgeReply)> done) const {
        keychain.run<std::optional<BridgeReply>>(
            [work = std::move(work)]() mutable { return std::optional<BridgeReply>(work()); },
            std::nullopt,
            [name = name, deadline = keychain.deadline,
             done = std::move(done)](std::optional<BridgeReply> reply) mutable {
                if (reply) {
                    done(std::move(*reply));
                    return;
                }
                std::ostringstream seconds;
                seconds << deadline;
                Log::write("connection",
                           "키체인이 답하지 않음 call=" + name + " s=" + seconds.str());
                done(requestFailure(ConnectionRoutes::notAnswering));
            });
    }
};

}  // namespace

ConnectionRoutes::ConnectionRoutes(std::shared_ptr<ConnectionSettings> connection,
                                   ExecutorPtr keychain, ExecutorPtr timers, double deadline)
    : connection_(std::move(connection)),
      keychain_(std::move(keychain)),
      timers_(timers ? std::move(timers) : SerialQueue::timers()),
      deadline_(deadline) {}

std::map<std::string, BridgeEntry> ConnectionRoutes::routes() const {
    auto connection = connection_;
    auto call = [this](const char* name) {
        return KeychainReply{name, KeychainCall{keychain_, timers_, deadline_}};
    };
    std::map<std::string, BridgeEntry> table;
    table.emplace(
        "credential_status",
        BridgeEntry::implemented([connection, keychain = call("credential_status")](
                                     const BridgeArgs&, Completion<void(BridgeReply)> done) {
            keychain.run([connection] { return BridgeReply::ok(connection->status()); },
                         std::move(done));
        }));
    table.emplace(
        "set_optional_credentials",
        BridgeEntry::implemented([connection, keychain = call("set_optional_credentials")](
                                     const BridgeArgs& args, Completion<void(BridgeReply)> done) {
            keychain.run(
                [connection, provider = args.string(0), value = args.string(1)] {
                    auto result = connection->set(provider, value);
                    return result ? BridgeReply::ok(std::move(*result))
                                  : requestFailure(ConnectionSettings::ErrorCode::writeFailed);
                },
                std::move(done));
        }));
    table.emplace(
        "remove_optional_credentials",
        BridgeEntry::implemented([connection, keychain = call("remove_optional_credentials")](
                                     const BridgeArgs& args, Completion<void(BridgeReply)> done) {
            keychain.run(
                [connection, provider = args.string(0)] {
                    auto result = connection->remove(provider);
                    return result ? BridgeReply::ok(std::move(*result))
                                  : requestFailure(ConnectionSettings::ErrorCode::deleteFailed);
                },
                std::move(done));
        }));
    return table;
}

}  // namespace parlendo
