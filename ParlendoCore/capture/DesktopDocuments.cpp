#include "capture/DesktopDocuments.h"

#include "capture/ProcessDocuments.h"
#include "foundation/Log.h"
#include "foundation/RuntimePaths.h"
#include "lookup/SourceURL.h"

#include <algorithm>

namespace parlendo {

namespace fs = std::filesystem;

DesktopDocuments::DesktopDocuments(fs::path proc, fs::path recentList, fs::path home)
    : proc_(std::move(proc)), recentList_(std::move(recentList)), home_(std::move(home)) {}

DesktopDocuments::DesktopDocuments(fs::path proc, fs::path recentList)
    : DesktopDocuments(std::move(proc), std::move(recentList),
                       RuntimePaths::homeDirectory(RuntimePaths::processEnvironment())) {}

std::optional<DesktopDocuments::Found> DesktopDocuments::find(
    std::int32_t pid, const std::optional<std::string>& title) {
    if (!title || pid <= 0) {
        return std::nullopt;
    }
    const auto open = ProcessDocuments::candidates(pid, proc_);
    // The recent list and the process's files are weighed together: the list also holds the
    // files a running editor was handed by a later start, which its command line does not name.
    // An entry counts while its file is there; only those the title shows are looked at.
    std::vector<std::string> paths = open;
    const auto entries = recent();
    if (!entries->empty()) {
        for (auto& path :
             RecentFiles::openedBy(*entries, ProcessDocuments::programNames(pid, proc_))) {
            std::error_code error;
            if (ProcessDocuments::shownInTitle(path, title, home_) &&
                fs::is_regular_file(path, error) &&
                std::find(paths.begin(), paths.end(), path) == paths.end()) {
                paths.push_back(std::move(path));
            }
        }
    }
    const auto path = ProcessDocuments::namedInTitle(paths, title, home_);
    if (!path) {
        return std::nullopt;
    }
    const bool held = std::find(open.begin(), open.end(), *path) != open.end();
    return Found{SourceURL::fileURL(*path), held ? "process" : "recent_list"};
}

std::optional<DesktopDocuments::Found> DesktopDocuments::findViewed(
    std::int32_t pid, const std::optional<std::string>& title) {
    if (auto found = find(pid, title)) {
        return found;
    }
    if (auto pdf = ProcessDocuments::onlyPDFHeld(pid, proc_)) {
        return Found{SourceURL::fileURL(*pdf), "process"};
    }
    return std::nullopt;
}

std::shared_ptr<const std::vector<RecentFile>> DesktopDocuments::recent() {
    std::lock_guard guard(lock_);
    std::error_code error;
    const auto size = fs::file_size(recentList_, error);
    const auto time = error ? fs::file_time_type() : fs::last_write_time(recentList_, error);
    if (error) {
        stamp_.reset();
        entries_ = std::make_shared<const std::vector<RecentFile>>();
        return entries_;
    }
    const auto stamp = std::make_pair(size, time);
    if (entries_ && stamp_ == stamp) {
        return entries_;
    }
    stamp_ = stamp;
    auto read = RecentFiles::read(recentList_);
    if (!read) {
        // Logged once for each state of the file: it is read again only when it changes.
        Log::write("context", "최근 파일 목록을 쓰지 않음 why=" +
                                  std::string(RecentFiles::toString(read.error())) +
                                  " bytes=" + std::to_string(size));
        entries_ = std::make_shared<const std::vector<RecentFile>>();
    } else {
        entries_ = std::make_shared<const std::vector<RecentFile>>(std::move(*read));
    }
    return entries_;
}

}  // namespace parlendo
