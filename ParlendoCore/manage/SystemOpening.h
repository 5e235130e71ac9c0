#pragma once

#include <string>

namespace parlendo {

// Opening a web address in the user's browser, or a local file in its default application. The
// caller decides beforehand what may be opened; neither call reports failure. Main thread.
class SystemOpening {
  public:
    virtual ~SystemOpening() = default;
    // An absolute URL; the system picks the handler (the default browser for web addresses).
    virtual void open(const std::string& url) = 0;
    // A local path; a relative one is taken against the process's current directory.
    virtual void openPath(const std::string& path) = 0;
};

}  // namespace parlendo
