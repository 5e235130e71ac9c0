#pragma once

#include <optional>
#include <string>

namespace parlendo {

// Links a document to the local file it came from: bookmark bytes made from a path, and the path
// they lead back to. Any thread.
class SourceLinking {
  public:
    virtual ~SourceLinking() = default;
    // The bookmark of the file at `path`; nullopt when there is no such file.
    virtual std::optional<std::string> bookmark(const std::string& path) const = 0;
    // The path of the bookmarked file, when that file still exists outside any trash folder;
    // another file saved at its path is not it.
    virtual std::optional<std::string> resolve(const std::string& data) const = 0;
};

}  // namespace parlendo
