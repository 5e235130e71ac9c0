#pragma once

#include "foundation/Completion.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace parlendo {

// What the project feature needs of the screen it runs in: a PDF picker, upload progress on the
// page and opening a local file. The manage window provides it; the project logic never touches
// windows. Main thread.
class DriveScreen {
  public:
    virtual ~DriveScreen() = default;

    // Asks the user for PDF files. Completes with the chosen paths, empty when cancelled.
    virtual void pickPDFs(bool multiple,
                          Completion<void(std::optional<std::vector<std::string>>)> done) = 0;
    // Shows the numbers on the page; returns at once.
    virtual void uploadProgress(int done, int total, int index, int count) = 0;
    // Opens the file with its default application; `done` tells whether one took it (false:
    // no application could open it).
    virtual void open(const std::string& path, std::function<void(bool opened)> done) = 0;
};

}  // namespace parlendo
