#include "popups/ConnectionRoutes.h"

namespace parlendo {
namespace {

BridgeReply requestFailure(const char* message) {
    return BridgeReply::custom(Json{{"ok", false}, {"msg", message}, {"error_class", "request"}});
}

}  // namespace

ConnectionRoutes::ConnectionRoutes(std::shared_ptr<ConnectionSettings> connection)
    : connection_(std::move(connection)) {}

std::map<std::string, BridgeEntry> ConnectionRoutes::routes() const {
    auto connection = connection_;
    std::map<std::string, BridgeEntry> table;
    table.emplace("credential_status",
                  BridgeEntry::implemented(
                      [connection](const BridgeArgs&, Completion<void(BridgeReply)> done) {
                          done(BridgeReply::ok(connection->status()));
                      }));
    table.emplace("set_optional_credentials",
                  BridgeEntry::implemented(
                      [connection](const BridgeArgs& args, Completion<void(BridgeReply)> done) {
                          auto result = connection->set(args.string(0), args.string(1));
                          done(result ? BridgeReply::ok(std::move(*result))
                                      : requestFailure(ConnectionSettings::ErrorCode::writeFailed));
                      }));
    table.emplace("remove_optional_credentials",
                  BridgeEntry::implemented([connection](const BridgeArgs& args,
                                                        Completion<void(BridgeReply)> done) {
                      auto result = connection->remove(args.string(0));
                      done(result ? BridgeReply::ok(std::move(*result))
                                  : requestFailure(ConnectionSettings::ErrorCode::deleteFailed));
                  }));
    return table;
}

}  // namespace parlendo
