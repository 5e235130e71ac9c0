#pragma once

#include <filesystem>
#include <vector>

namespace parlendo::testing {

// Watches files for being opened (inotify), by any process.
class FileOpens {
  public:
    explicit FileOpens(const std::vector<std::filesystem::path>& files);
    ~FileOpens();
    FileOpens(const FileOpens&) = delete;
    FileOpens& operator=(const FileOpens&) = delete;

    // How many opens happened since the last call.
    int count();

    // The index files of the icon theme in use and of the themes it falls back to, wherever the
    // toolkit looks for them: read when the theme is first used.
    static std::vector<std::filesystem::path> iconThemeIndexes();

  private:
    int fd_;
};

}  // namespace parlendo::testing
