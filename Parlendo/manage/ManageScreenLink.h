#pragma once

#include "foundation/Json.h"
#include "manage/ManageScreenPort.h"
#include "manage/SystemOpening.h"
#include "projects/DriveScreen.h"

#include <memory>
#include <string>
#include <vector>

namespace parlendo {

// What the project feature needs of the manage window, over the manage-screen port: the PDF
// picker, upload progress on the page, files dropped onto the page, and opening a local file.
// The project logic never touches windows. Main thread; holds no mutable state.
class ManageScreenLink final : public DriveScreen {
  public:
    ManageScreenLink(std::shared_ptr<ManageScreenPort> port, std::shared_ptr<SystemOpening> opener);

    // Registers one drop handler on the port, which passes dropped files to the page's
    // `driveDropped`. Call it once; each call adds another handler.
    void listenForDrops();

    // Completes with the chosen paths; empty when cancelled, never nothing.
    void pickPDFs(bool multiple,
                  Completion<void(std::optional<std::vector<std::string>>)> done) override;
    void uploadProgress(int done, int total, int index, int count) override;
    void open(const std::string& path, std::function<void(bool)> done) override;

    // Dropped files as the page receives them.
    struct Dropped {
        Json files = Json::array();  // {"name", "path"} per file
        int pdf = 0;
        std::vector<std::string> refused;  // display names of files that cannot be carried
    };
    static Dropped describe(const std::vector<std::string>& fileURIs);
    static std::string dropScript(const std::string& filesJSON);
    static std::string progressScript(int done, int total, int index, int count);

  private:
    std::shared_ptr<ManageScreenPort> port_;
    std::shared_ptr<SystemOpening> opener_;
};

}  // namespace parlendo
