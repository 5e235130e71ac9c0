#pragma once

#include <optional>
#include <string>

namespace parlendo {

// Where a bookmark leads.
struct SourceLink {
    std::string path;
    // The bookmark to keep from now on, when the one resolved no longer describes the file at
    // `path` (saved again, renamed, edited, or made by an older version); else nullopt.
    std::optional<std::string> renewed;
    bool operator==(const SourceLink&) const = default;
};

// Links a document to the local file it came from: bookmark bytes made from a path, and the path
// they lead back to. Any thread; resolving looks at the file system, so never the main loop.
class SourceLinking {
  public:
    virtual ~SourceLinking() = default;
    // The bookmark of the file at `path`; nullopt when there is no such file.
    virtual std::optional<std::string> bookmark(const std::string& path) const = 0;
    // Where the bookmarked file is now, when it still exists outside any trash folder; when it
    // is gone, a regular file saved at its path stands for it.
    virtual std::optional<SourceLink> resolve(const std::string& data) const = 0;
};

}  // namespace parlendo
