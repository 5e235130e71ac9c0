#pragma once

#include "account/AccountAlert.h"
#include "account/AccountWindows.h"
#include "server/CurlSession.h"
#include "server/ServerTransport.h"

#include <memory>
#include <string>

namespace parlendo::AccountDesktop {

// The transport of the account deletion: the project URL over the program's one curl session.
// Its requests carry their own 30-second time-out, and the session never waits for a connection.
std::shared_ptr<ServerTransport> deleteTransport(const std::string& base,
                                                 std::shared_ptr<CurlSession> session,
                                                 const std::string& clientInfo);

// The account alerts as message dialogs.
AccountAlert::Port alerts();

// The login and new-password windows of this desktop.
AccountWindows windows();

}  // namespace parlendo::AccountDesktop
