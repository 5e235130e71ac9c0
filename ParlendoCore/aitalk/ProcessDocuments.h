#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace parlendo {

// The PDF files a process shows, as the system's process table tells them: those named on its
// command line (paths or file addresses, relative ones from its working folder) and those it
// holds open. For viewers that do not name their document through the accessibility tree.
namespace ProcessDocuments {

// Every existing PDF file of the process, command line first, each once.
std::vector<std::string> candidates(std::int32_t pid, const std::filesystem::path& proc = "/proc");

// The one whose file name appears in the window title, else the first; none without any.
std::optional<std::string> document(std::int32_t pid, const std::optional<std::string>& title,
                                    const std::filesystem::path& proc = "/proc");

}  // namespace ProcessDocuments
}  // namespace parlendo
