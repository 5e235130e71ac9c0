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

// What the program keeps for its user is the user's alone: its folders are made with mode 0700
// and its files with mode 0600.
inline constexpr mode_t privateFolderMode = 0700;
inline constexpr mode_t privateFileMode = 0600;

// Creates `folder` and every missing folder above it with mode 0700. Each existing folder from
// `top` down to `folder` (both included) that belongs to this user and lets others in is
// tightened to 0700; an empty `top`, or one that does not contain `folder`, tightens nothing (a
// folder the desktop shares keeps its mode). A relative `folder` is refused: the program never
// writes into whatever folder it was started in.
std::error_code makePrivateFolder(const std::filesystem::path& folder,
                                  const std::filesystem::path& top);

// Replaces `path` with `bytes` atomically: the bytes go to a new temporary file beside it (mode
// 0600), which is flushed to disk and renamed over `path`, so a file that was readable by others
// is not any more. Readers see the old content or the new, never a mix. The file's folder is made
// private with `makePrivateFolder`, from `top` (by default the folder itself). On failure the
// temporary file is removed and `path` is left as it was. A relative `path` is refused.
std::error_code writeAtomically(const std::filesystem::path& path, std::string_view bytes,
                                const std::optional<std::filesystem::path>& top = std::nullopt);

// The first half of `writeAtomically`: the bytes in a new temporary file beside `path`, flushed
// to disk; the temporary file's path. `replaceWith` is the second half.
Result<std::filesystem::path, std::error_code> writeReplacement(
    const std::filesystem::path& path, std::string_view bytes,
    const std::optional<std::filesystem::path>& top = std::nullopt);
// Renames the temporary file `temp` over `path`; on failure `temp` is removed.
std::error_code replaceWith(const std::filesystem::path& temp, const std::filesystem::path& path);

// Moves a file that cannot be trusted out of the way, keeping it for inspection: renamed to
// "<path>.unreadable", or "<path>.unreadable.<n>" (n from 2 to 100) when that name is taken.
// The new path, or why it could not be moved.
Result<std::filesystem::path, std::error_code> setAside(const std::filesystem::path& path);

// Flushes a folder's entries (a rename or an unlink inside it) to disk.
std::error_code syncFolder(const std::filesystem::path& folder);

}  // namespace parlendo::fileio
