#pragma once

#include "capture/RecentFiles.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace parlendo {

// The file a window shows, from what the desktop records, for applications whose accessibility
// tree does not name it: the files its process names on its command line or holds open
// (LibreOffice holds its documents open) together with those its application opened as the list
// of recently used files records them (GTK applications record each file they open; editors such
// as Mousepad close it after reading, and a running one takes the files of later starts). The
// window title decides among them, never by a guess (ProcessDocuments::namedInTitle): a title
// showing a path (whole, from the home folder, or its trailing part) admits only that path, and a
// name two of them share gives no file. The list is read again only when it changed. Thread-safe.
class DesktopDocuments {
  public:
    struct Found {
        // The file's URL.
        std::string url;
        // Where it was found: "process" or "recent_list".
        std::string from;
        bool operator==(const Found&) const = default;
    };

    // `home` is the folder that titles show as "~".
    DesktopDocuments(std::filesystem::path proc, std::filesystem::path recentList,
                     std::filesystem::path home);
    // The same for the user's own home folder.
    DesktopDocuments(std::filesystem::path proc, std::filesystem::path recentList);

    // The file that the process's window titled `title` shows; none without a title.
    std::optional<Found> find(std::int32_t pid, const std::optional<std::string>& title);

    // For a document viewer: the file its window's title shows, else the one PDF its process
    // holds open (a viewer may title its window with the document's own title, and a name the
    // title shows may be one that other files share); none when it holds none or several.
    std::optional<Found> findViewed(std::int32_t pid, const std::optional<std::string>& title);

  private:
    std::shared_ptr<const std::vector<RecentFile>> recent();

    std::filesystem::path proc_;
    std::filesystem::path recentList_;
    std::filesystem::path home_;
    std::mutex lock_;
    // The list as last read, and the size and time of the file it was read from.
    std::shared_ptr<const std::vector<RecentFile>> entries_;
    std::optional<std::pair<std::uintmax_t, std::filesystem::file_time_type>> stamp_;
};

}  // namespace parlendo
