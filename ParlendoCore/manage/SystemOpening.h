#pragma once

#include <functional>
#include <string>

namespace parlendo {

// Opening a web address in the user's browser, or a local file in its default application. The
// caller decides beforehand what may be opened. Main thread.
class SystemOpening {
  public:
    virtual ~SystemOpening() = default;
    // An absolute URL; the system picks the handler (the default browser for web addresses).
    virtual void open(const std::string& url) = 0;
    // The same, telling `done` whether an application took the address.
    virtual void open(const std::string& url, std::function<void(bool opened)> done) {
        open(url);
        done(true);
    }
    // A local path; a relative one is taken against the process's current directory.
    virtual void openPath(const std::string& path) = 0;
    // The same, telling `done` whether an application took the file.
    virtual void openPath(const std::string& path, std::function<void(bool opened)> done) {
        openPath(path);
        done(true);
    }
};

}  // namespace parlendo
