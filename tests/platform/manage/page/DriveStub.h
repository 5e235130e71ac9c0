#pragma once

#include "foundation/Json.h"
#include "server/ServerCalling.h"

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace parlendo::testing {

// The project tables behind the data API, in memory, as far as the manage page's project screen
// reaches them: projects with their trash, documents (uploaded through the three upload
// functions), tables of contents, AI popups with the one-active rule, and saved threads with
// their messages. Rows belong to one user. Thread-safe.
class DriveStub {
  public:
    explicit DriveStub(std::string user = "user-1") : user_(std::move(user)) {}

    // The answer to a request, or none for a path that is not a project table or function.
    std::optional<DetailedCallResult> call(const std::string& method, const std::string& target,
                                           const std::optional<Json>& body);

    std::string addProject(const std::string& name, const std::string& kind = "study");
    std::string addDocument(const std::string& project, const std::string& fileName, int pages);
    void addToc(const std::string& document, int ord, const std::string& title, int level,
                int first, int last);
    std::string addPopup(const std::string& project, const std::string& name,
                         const std::string& prompt, bool active = false);
    std::string addThread(const std::string& project, std::optional<std::string> document,
                          std::optional<int> page, const std::string& selection);
    void addMessage(const std::string& thread, const std::string& role, const std::string& content);

    std::optional<Json> project(const std::string& id) const;
    std::optional<Json> document(const std::string& id) const;
    std::optional<Json> popup(const std::string& id) const;
    size_t documents(const std::string& project) const;

  private:
    using Params = std::map<std::string, std::string>;
    using Rows = std::vector<Json>;

    DetailedCallResult read(const std::string& table, const Params& q);
    DetailedCallResult write(const std::string& method, const std::string& table, const Params& q,
                             const Json& body);
    DetailedCallResult function(const std::string& name, const Json& body);
    Json listProjects() const;
    Rows* rows(const std::string& table);
    Json* find(Rows& rows, const std::string& id);
    std::string stamp();
    std::string nextID(const char* prefix);

    mutable std::recursive_mutex mutex_;
    std::string user_;
    std::map<std::string, Rows> tables_;
    int clock_ = 0;
    int ids_ = 0;
};

}  // namespace parlendo::testing
