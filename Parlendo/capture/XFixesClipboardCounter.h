#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

typedef struct _XDisplay Display;

namespace parlendo {

// The change count of the CLIPBOARD selection: one more for every change of its owner (a copy in
// any application, the application's own restore) and for an owner that went away, as the XFixes
// extension reports them on a connection of its own. Reading the count makes one round trip, so
// that every change the X server made before the read is counted. Thread-safe.
class XFixesClipboardCounter {
  public:
    static std::shared_ptr<XFixesClipboardCounter> open(const std::string& display = {});
    ~XFixesClipboardCounter();
    XFixesClipboardCounter(const XFixesClipboardCounter&) = delete;
    XFixesClipboardCounter& operator=(const XFixesClipboardCounter&) = delete;

    std::int64_t changeCount();

  private:
    XFixesClipboardCounter(Display* display, int eventBase);

    std::mutex lock_;
    Display* display_;
    int eventBase_;
    std::int64_t count_ = 1;
};

}  // namespace parlendo
