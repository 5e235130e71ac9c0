#pragma once

#include "StubBackend.h"

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace parlendo::testing {

// An in-memory auth service for the loopback stub: accounts that sign up unconfirmed and are
// confirmed through the mail's link, password sign-in, refresh tokens that rotate, the user's
// record and password change, confirmation and recovery mails (kept here, with the links they
// carry), sign-out, the username profile rows, and the function that deletes an account after
// checking its password. Thread-safe (the stub answers on its own threads).
class StubAuthUsers {
  public:
    struct Mail {
        std::string kind;  // "signup" or "recovery"
        std::string email;
        std::string link;  // what the mail's button leads to, as the app receives it
    };

    // Serves the auth, profile and delete-account requests; others are left to the stub's
    // scripts.
    void serve(StubBackend& stub);
    std::optional<StubAnswer> handle(const StubRequest& request);

    // Follows the confirmation mail's link on the server's side: the account is confirmed and the
    // link the app would be sent to is returned ("parlendo://auth-callback#…&type=signup").
    std::optional<std::string> confirm(const std::string& email);

    std::vector<Mail> mails() const;
    bool exists(const std::string& email) const;
    std::optional<std::string> username(const std::string& email) const;

  private:
    struct User {
        std::string id;
        std::string email;
        std::string password;
        bool confirmed = false;
        std::optional<std::string> metadataName;
        std::optional<std::string> profileName;
    };

    // A new session of the user: the answer's JSON text.
    std::string session(const User& user);
    // The user holding this bearer token; none for a missing or unknown one.
    User* bearer(const StubRequest& request);
    static std::string userJson(const User& user);

    std::optional<StubAnswer> signUp(const std::string& body);
    std::optional<StubAnswer> token(const std::string& query, const std::string& body);
    std::optional<StubAnswer> profiles(const StubRequest& request);
    std::optional<StubAnswer> deleteAccount(const StubRequest& request);

    mutable std::mutex mutex_;
    std::map<std::string, User> users_;           // by e-mail
    std::map<std::string, std::string> access_;   // access token -> e-mail
    std::map<std::string, std::string> refresh_;  // refresh token -> e-mail
    std::vector<Mail> mails_;
    int next_ = 0;
};

}  // namespace parlendo::testing
