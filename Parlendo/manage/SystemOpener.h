#pragma once

#include "manage/SystemOpening.h"

#include <functional>
#include <string>

namespace parlendo {

// Opens web addresses and local files with the desktop's default handlers (GIO), without
// waiting for them. A launch that fails is logged. Main thread.
class SystemOpener final : public SystemOpening {
  public:
    void open(const std::string& url) override;
    void open(const std::string& url, std::function<void(bool opened)> done) override;
    void openPath(const std::string& path) override;
    void openPath(const std::string& path, std::function<void(bool opened)> done) override;

    // The URL with every byte outside ASCII percent-encoded, as launchers expect.
    static std::string asciiURL(const std::string& url);
};

}  // namespace parlendo
