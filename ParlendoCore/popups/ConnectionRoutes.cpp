#include "popups/ConnectionRoutes.h"

#include "foundation/Log.h"
#include "foundation/WorkerQueue.h"
#include "lookup/Deadline.h"

#include <optional>
#include <sstream>

namespace parlendo {
namespace {

BridgeReply requestFailure(const char* message) {
    return BridgeReply::custom(Json{{"ok", false}, {"msg", message}, {"error_class", "request"}});
}

// One call's keychain work: on the keychain queue, raced against the deadline.
struct KeychainCall {
    std::string name;
    ExecutorPtr keychain;
    ExecutorPtr timers;
    double deadline = 0;

    void run(UniqueFunction<BridgeReply()> work, Completion<void(BridgeReply)> done) const {
        if (!keychain) {
            done(work());
            return;
        }
        Deadline::Operation<std::optional<BridgeReply>> operation =
            [keychain = keychain, work = std::move(work)](
                Completion<void(std::optional<BridgeReply>)> answered) mutable {
                keychain->post([work = std::move(work), answered = std::move(answered)]() mutable {
                    answered(work());
                });
            };
        Deadline::race<std::optional<BridgeReply>>(
            deadline, std::nullopt, *timers, std::move(operation),
            [name = name, deadline = deadline,
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
        return KeychainCall{name, keychain_, timers_, deadline_};
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
