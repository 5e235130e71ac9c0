#pragma once

#include "lookup/SourceURL.h"

#include <optional>
#include <string>

namespace parlendo {

// Answers, through GIO's content types (the shared MIME database, by file name and content),
// whether a local file would run something when opened: executables and scripts, .desktop
// launchers, AppImages, Windows programs, Java archives, installer packages and disk images.
// Callable from any thread; blocks on the file system.
class GioContentTypes {
  public:
    // The content type GIO gives the file, or nothing when it cannot be read.
    static std::optional<std::string> contentType(const std::string& path);

    // Whether a content type is, or derives from, one of the runnable types.
    static bool isRunnableType(const std::string& contentType);

    // Whether the file's content type is runnable; false when it cannot be read.
    static bool systemSaysRunnable(const std::string& path);

    // The facts of a local path, with the content-type question answered here.
    static SourceURL::LocalFacts inspect(const std::string& path);
};

}  // namespace parlendo
