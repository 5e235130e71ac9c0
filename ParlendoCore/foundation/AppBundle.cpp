#include "foundation/AppBundle.h"

#include "BuildInfo.h"
#include "foundation/FileIO.h"
#include "foundation/Json.h"

#include <system_error>

namespace parlendo {

namespace fs = std::filesystem;

std::optional<fs::path> AppBundle::resource(const std::string& name,
                                            const std::string& extension) const {
    fs::path file = resourceDirectory / (extension.empty() ? name : name + "." + extension);
    std::error_code ec;
    if (fs::is_regular_file(file, ec)) {
        return file;
    }
    return std::nullopt;
}

AppBundle AppBundle::forExecutable(const fs::path& executable) {
    const fs::path binDir = executable.parent_path();
    const fs::path prefix = binDir.parent_path();
    const fs::path installed = prefix / "share" / "parlendo";
    std::error_code ec;
    if (binDir.filename() == "bin" && fs::is_regular_file(installed / "build_info.json", ec)) {
        AppBundle bundle;
        bundle.path = prefix;
        bundle.resourceDirectory = installed;
        bundle.buildInfoFile = installed / "build_info.json";
        const auto contents = fileio::readFile(installed / "build_info.json");
        if (auto info = contents ? json::parse(*contents) : std::nullopt) {
            bundle.identifier = json::string(*info, "CFBundleIdentifier");
            bundle.shortVersion = json::string(*info, "CFBundleShortVersionString");
            bundle.buildLabel = json::string(*info, "ParlendoBuildLabel");
            bundle.bundleVersion = json::string(*info, "CFBundleVersion");
        }
        return bundle;
    }
    AppBundle bundle;
    bundle.path = binDir;
    bundle.resourceDirectory = buildinfo::kResourceDirInTree;
    bundle.shortVersion = buildinfo::kVersion;
    bundle.buildLabel = buildinfo::kBuildLabel;
    bundle.bundleVersion = buildinfo::kBuildLabel;
    bundle.buildInfoFile = buildinfo::kBuildInfoFileInTree;
    return bundle;
}

const AppBundle& AppBundle::main() {
    static const AppBundle bundle = [] {
        std::error_code ec;
        fs::path exe = fs::read_symlink("/proc/self/exe", ec);
        return forExecutable(ec ? fs::path() : exe);
    }();
    return bundle;
}

}  // namespace parlendo
