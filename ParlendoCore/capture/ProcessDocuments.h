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

// Every existing file a user could be reading, command line first, each once: regular files,
// not hidden, not in a hidden folder and not in the system's own folders (/usr, /etc, /proc …),
// where the fonts, caches and libraries that every process holds open live.
std::vector<std::string> candidates(std::int32_t pid, const std::filesystem::path& proc = "/proc");

// Where the files that process `pid` holds open lead (the targets of its descriptors), in no
// particular order; none when they cannot be read (a process gone, or another user's), which is
// not the same as a process that holds none open.
std::optional<std::vector<std::filesystem::path>> openFiles(
    std::int32_t pid, const std::filesystem::path& proc = "/proc");

// The names the process runs under, lower-cased: its command name and the file names of its
// program and of its first argument.
std::vector<std::string> programNames(std::int32_t pid,
                                      const std::filesystem::path& proc = "/proc");

// Whether the window title shows the file at all: its whole path, its path from the home folder
// `home` ("~/docs/notes.txt"), a trailing part of its path ("docs/notes.txt") or its name, as
// words of their own (nothing that continues a name or a path, a letter, a digit, "_", "-", ".",
// "~" or "/", right before or after it).
bool shownInTitle(const std::string& path, const std::optional<std::string>& title,
                  const std::filesystem::path& home);

// The file among `paths` that the window title shows, never a guess: when the title shows a path
// (whole, from the home folder `home`, or a trailing part of one with a folder in it), that file
// and no other; else the file whose name it shows (the longest name it shows), when no other file
// of the list has that name. None when it shows none, when it shows a path none of them has, or
// when two of them end with what it shows.
std::optional<std::string> namedInTitle(const std::vector<std::string>& paths,
                                        const std::optional<std::string>& title,
                                        const std::filesystem::path& home);

// The one PDF file that process `pid` holds open; none when it holds none or more than one.
std::optional<std::string> onlyPDFHeld(std::int32_t pid,
                                       const std::filesystem::path& proc = "/proc");

}  // namespace ProcessDocuments
}  // namespace parlendo
