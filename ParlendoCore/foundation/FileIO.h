#pragma once

#include "foundation/Result.h"

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace parlendo::fileio {

// The whole content of a regular file; nullopt when it cannot be read.
std::optional<std::string> readFile(const std::filesystem::path& path);

// Writes every byte to `fd`, retrying after interruptions; false on an error.
bool writeAll(int fd, std::string_view bytes);

// Replaces `path` with `bytes` atomically: the bytes go to a new temporary file beside it (with
// `mode`), which is flushed to disk and renamed over `path`. Readers see the old content or the
// new, never a mix. The parent folder is created when missing. On failure the temporary file is
// removed and `path` is left as it was.
std::error_code writeAtomically(const std::filesystem::path& path, std::string_view bytes,
                                mode_t mode = 0644);

// Moves a file that cannot be trusted out of the way, keeping it for inspection: renamed to
// "<path>.unreadable", or "<path>.unreadable.<n>" (n from 2 to 100) when that name is taken.
// The new path, or why it could not be moved.
Result<std::filesystem::path, std::error_code> setAside(const std::filesystem::path& path);

// Flushes a folder's entries (a rename or an unlink inside it) to disk.
std::error_code syncFolder(const std::filesystem::path& folder);

}  // namespace parlendo::fileio
