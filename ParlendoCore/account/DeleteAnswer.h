#pragma once

#include "foundation/Completion.h"

#include <optional>
#include <string>
#include <string_view>

namespace parlendo {

// How one request to delete the account on the server ended.
enum class DeleteAnswer { deleted, wrongPassword, rateLimited, unauthorized, network, failed };

// "deleted", "wrong_password", "rate_limited", "unauthorized", "network", "failed".
const char* toString(DeleteAnswer answer);
std::optional<DeleteAnswer> deleteAnswerFromString(std::string_view text);

// Sends the request that deletes the signed-in account, checked with its password. Never fails:
// every outcome, a lost connection included, is an answer. The completion may run on any thread.
class AccountDeleteRequesting {
  public:
    virtual ~AccountDeleteRequesting() = default;
    virtual void request(const std::string& password,
                         Completion<void(DeleteAnswer)> completion) = 0;
};

}  // namespace parlendo
