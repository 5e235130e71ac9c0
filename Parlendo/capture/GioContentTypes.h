#pragma once

#include "lookup/SourceURL.h"

#include <optional>
#include <string>

namespace parlendo {

// Answers, through GIO's content types (the shared MIME database, by file name and content),
// whether a local file would run something when opened: executables and scripts, .desktop
// launchers, AppImages, Windows programs and links, Java archives and classes, Android and
// Flatpak packages, installer packages and disk images, and whatever type a program like that
// opens by default.
// Callable from any thread; blocks on the file system.
class GioContentTypes {
  public:
    // The content type GIO gives the file, or nothing when it cannot be read.
    static std::optional<std::string> contentType(const std::string& path);

    // Whether a content type is, or derives from, one of the runnable types.
    static bool isRunnableType(const std::string& contentType);

    // Whether the program that opens a content type by default installs, mounts or runs what
    // it opens (a package manager, an emulator, a disk mounter, an interpreter).
    static bool handlerRuns(const std::string& contentType);

    // Whether the file's content type is runnable, or is opened by such a program; false when it
    // cannot be read.
    static bool systemSaysRunnable(const std::string& path);

    // The facts of a local path, with the content-type question answered here.
    static SourceURL::LocalFacts inspect(const std::string& path);
};

}  // namespace parlendo
