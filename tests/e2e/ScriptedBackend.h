#pragma once

#include "ScriptedProjects.h"
#include "StubAuthUsers.h"
#include "StubBackend.h"
#include "StubLibrary.h"
#include "foundation/Json.h"

#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace parlendo::testing {

// The backend of a user's day, on the loopback stub: accounts (StubAuthUsers), the word book
// (StubLibrary, which also keeps the popup settings the app seeds), the dictionary, which knows a
// few words, the translation function, the word snapshot call, which files the word into the
// word book, the title vectors (none) and the user's projects (ScriptedProjects). A scenario puts
// answers in front of all of that for a while (`interpose`) to make the server fail, hang, refuse a
// token or answer garbage.
class ScriptedBackend {
  public:
    static constexpr const char* email = "reader@parlendo.test";
    static constexpr const char* password = "correct horse 1";
    static constexpr const char* username = "reader";
    static constexpr const char* knownWord = "serendipity";
    static constexpr const char* sentence = "The quick brown fox jumps over the lazy dog.";
    static constexpr const char* translation = "재빠른 갈색 여우가 게으른 개를 뛰어넘는다.";

    ScriptedBackend();
    ~ScriptedBackend();

    // Signs the account up, confirms it and gives it its name (first on a fresh backend: its id
    // is "user-1", the word book's user), then signs in as the app would: the refresh token a
    // sign-in leaves.
    std::string signedInRefreshToken();
    // The link of a password-recovery mail for the account of `address` (signed up and confirmed
    // first, with the same password, when it is new).
    std::string recoveryLink(const std::string& address);

    // The popup cards the user set up in an earlier session, kept on the server: "단어" (phonetic,
    // meaning, definition) and "문장" (translation) save what they show, "뜻만" (meaning) does not;
    // each is shown for `seconds`.
    void keepPopupCards(int seconds = 3);

    // Answers `times` requests with this method and path (without query) with `answer`, ahead
    // of everything else; a negative count keeps answering until `clear`.
    void interpose(const std::string& method, const std::string& path, StubAnswer answer,
                   int times = -1);
    void clear();

    // The requests with this method and path that arrived; all of them without arguments.
    std::vector<StubRequest> requests(const std::string& method, const std::string& path) const;
    std::vector<StubRequest> requests() const { return stub.requests(); }
    // Waits until `count` requests of this method and path have arrived (turning the main loop).
    bool waitFor(const std::string& method, const std::string& path, size_t count = 1,
                 double seconds = 15) const;

    StubAuthUsers users;
    std::shared_ptr<StubLibrary> library = std::make_shared<StubLibrary>("user-1");
    ScriptedProjects projects;

  private:
    // A POST to the auth service, as the app would send it.
    std::optional<StubAnswer> postAuth(const std::string& path, const std::string& query,
                                       const Json& body, const std::string& bearer = "");
    std::optional<StubAnswer> answer(const StubRequest& request);
    std::optional<StubAnswer> interposed(const StubRequest& request);
    StubAnswer saveWord(const StubRequest& request);

    mutable std::mutex mutex_;
    std::map<std::pair<std::string, std::string>, std::pair<StubAnswer, int>> interposed_;

  public:
    // Last, so that it stops answering before what it answers from goes away.
    StubBackend stub;
};

}  // namespace parlendo::testing
