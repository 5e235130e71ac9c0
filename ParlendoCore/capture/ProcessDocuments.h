#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace parlendo {

// The files a process shows, as the system's process table tells them: those named on its
// command line (paths or file addresses, relative ones from its working folder) and those it
// holds open. For applications whose accessibility tree does not name their document: the
// window context of a capture and the viewer probe of AI talk read them here.
namespace ProcessDocuments {

// Which files count.
enum class Kind {
    // PDF files only.
    pdf,
    // Any regular file a user could be reading: not hidden, not in a hidden folder and not in the
    // system's own folders (/usr, /etc, /proc …), where the fonts, caches and libraries that
    // every process holds open live.
    document,
};

// Every existing file of the kind, command line first, each once.
std::vector<std::string> candidates(std::int32_t pid, Kind kind,
                                    const std::filesystem::path& proc = "/proc");

// The names the process runs under, lower-cased: its command name and the file names of its
// program and of its first argument.
std::vector<std::string> programNames(std::int32_t pid,
                                      const std::filesystem::path& proc = "/proc");

// How plainly the window title shows the file: 0 when it does not; otherwise the longer the
// match, the higher, and the whole path above any file name alone. A file name counts only as a
// word of its own (no letter or digit right before or after it).
size_t shownInTitle(const std::string& path, const std::optional<std::string>& title);

// The file the title shows most plainly (the first of equals); none when it shows none.
std::optional<std::string> namedInTitle(const std::vector<std::string>& paths,
                                        const std::optional<std::string>& title);

// For a PDF viewer: the PDF whose name, without its extension and in any case, the title holds,
// else the first; none without any.
std::optional<std::string> document(std::int32_t pid, const std::optional<std::string>& title,
                                    const std::filesystem::path& proc = "/proc");

}  // namespace ProcessDocuments
}  // namespace parlendo
