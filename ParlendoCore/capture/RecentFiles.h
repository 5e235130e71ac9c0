#pragma once

#include "foundation/Result.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace parlendo {

// One entry of the desktop's list of recently used files ($XDG_DATA_HOME/recently-used.xbel),
// where GTK applications record each file they open: its address and who opened it when.
struct RecentFile {
    struct Application {
        // As the application names itself ("Mousepad", "Document Viewer").
        std::string name;
        // The command that opens the file with it ("'mousepad %u'").
        std::string exec;
        // Seconds since 1970 at which it last opened the file; 0 when unknown.
        double modified = 0;
        bool operator==(const Application&) const = default;
    };
    std::string href;
    std::vector<Application> applications;
    bool operator==(const RecentFile&) const = default;
};

// Reads the list of recently used files. The file comes from other programs and may be
// anything: it is read only up to a size limit, and a file that is too large, cut short or not
// well-formed is not trusted at all (no entry of it is used).
namespace RecentFiles {

inline constexpr std::uintmax_t maxBytes = 8 * 1024 * 1024;
// Elements nested deeper than this make the file malformed.
inline constexpr size_t maxDepth = 32;

enum class Failure { missing, unreadable, tooLarge, malformed };
std::string_view toString(Failure failure);

// The list's file for the desktop: $XDG_DATA_HOME/recently-used.xbel.
std::filesystem::path defaultPath();

// The entries of an XBEL document, in file order.
Result<std::vector<RecentFile>, Failure> parse(std::string_view xbel);
// The entries of the file, read up to `maxBytes`.
Result<std::vector<RecentFile>, Failure> read(const std::filesystem::path& file);

// Whether the process that runs under `programNames` (ProcessDocuments::programNames) is the
// application: its command's program or its name is one of them.
bool recordedBy(const RecentFile::Application& application,
                const std::vector<std::string>& programNames);

// The paths of the local files that the process's application opened, in the list's order,
// each once.
std::vector<std::string> openedBy(const std::vector<RecentFile>& entries,
                                  const std::vector<std::string>& programNames);

}  // namespace RecentFiles
}  // namespace parlendo
