#pragma once

#include "StubBackend.h"
#include "foundation/Json.h"

#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace parlendo::testing {

// The user's projects on the scripted backend: the projects the app creates, the documents its
// upload chain sends (begin, page batches, finish), their pages as the server keeps them, and the
// AI popups a scenario puts on a project. The word book's own project is made when the app first
// asks for it. Reads answer the select lists the app uses with the
// rows as they stand; nothing is ever in the trash. Thread-safe: the stub answers from many
// threads.
class ScriptedProjects {
  public:
    struct Document {
        std::string id;
        std::string drive;
        std::string fileName;
        std::string sha;
        int pageCount = 0;
        std::string status = "uploading";
        std::vector<std::string> pages;  // as the batches brought them
        std::string createdAt;
    };

    // The answer to a request about projects; none for other paths.
    std::optional<StubAnswer> handle(const StubRequest& request);

    // The finish of an upload answered only after `seconds` (the progress stays on the screen).
    void holdFinish(double seconds);

    // A project named `name` the user made on an earlier day; its id.
    std::string addDrive(const std::string& name);
    // An active AI popup named `name` on the project `drive`.
    void addPopup(const std::string& drive, const std::string& name);

    // The project named so; its id when there is one.
    std::optional<std::string> driveNamed(const std::string& name) const;
    std::vector<Document> documents() const;

  private:
    StubAnswer drives(const StubRequest& request);
    StubAnswer documentRows(const StubRequest& request);
    StubAnswer pageRows(const StubRequest& request);
    StubAnswer popups(const StubRequest& request);
    StubAnswer upload(const std::string& step, const Json& body);
    std::string stamp();

    struct Drive {
        std::string id;
        std::string kind;
        std::string name;
        std::string createdAt;
    };
    struct Popup {
        std::string id;
        std::string drive;
        std::string name;
    };

    mutable std::mutex mutex_;
    std::vector<Drive> drives_;
    std::vector<Document> documents_;
    std::vector<Popup> popups_;
    int clock_ = 0;
    double finishDelay_ = 0;
};

}  // namespace parlendo::testing
