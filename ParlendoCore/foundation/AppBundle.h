#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace parlendo {

// What the program knows of its own installation: the bundle of the macOS original. An installed
// program (<prefix>/bin/parlendo with <prefix>/share/parlendo/build_info.json) has a bundle
// identifier and reads its resources and build information from <prefix>/share/parlendo. Run from
// the build tree (or as a test) it has no bundle identifier, so it is never in release mode, and
// it reads the source tree's resources/ and the build information compiled in.
struct AppBundle {
    std::optional<std::string> identifier;  // "local.parlendo.mac" when installed
    std::filesystem::path path;             // the install prefix, or the build directory
    std::filesystem::path resourceDirectory;
    std::optional<std::string> shortVersion;   // CFBundleShortVersionString
    std::optional<std::string> buildLabel;     // ParlendoBuildLabel
    std::optional<std::string> bundleVersion;  // CFBundleVersion
    // The build-info file this bundle's values came from: <prefix>/share/parlendo/build_info.json
    // when installed, the build tree's generated one otherwise.
    std::filesystem::path buildInfoFile;

    // The resource `name`.`extension` when the file exists.
    std::optional<std::filesystem::path> resource(const std::string& name,
                                                  const std::string& extension) const;

    // The running program's bundle, worked out once.
    static const AppBundle& main();
    // The bundle of an executable at `executable` (used by `main()` and by tests).
    static AppBundle forExecutable(const std::filesystem::path& executable);
};

}  // namespace parlendo
