#pragma once

#include "capture/SyntheticKeyTrail.h"
#include "foundation/Clock.h"

#include <memory>
#include <mutex>
#include <string>

typedef struct _XDisplay Display;

namespace parlendo {

// Posts the synthetic copy through the XTest extension, on a connection of its own: Control+C,
// or Control+Shift+C (the copy key of most terminal emulators, where Control+C would interrupt the
// program running in them). The keys are found in the current keymap (the physical C key when the
// layout has no "c"). Each step is written to the key trail before it is posted, so that the input
// watch knows it as the application's own. Thread-safe.
class XTestKeyboard {
  public:
    static std::shared_ptr<XTestKeyboard> open(std::shared_ptr<SyntheticKeyTrail> trail,
                                               std::shared_ptr<const MonotonicClock> clock,
                                               const std::string& display = {});
    ~XTestKeyboard();
    XTestKeyboard(const XTestKeyboard&) = delete;
    XTestKeyboard& operator=(const XTestKeyboard&) = delete;

    // Posts Control+C, with Shift held too when `withShift`; false when they could not be posted.
    bool postCopy(bool withShift);

  private:
    XTestKeyboard(Display* display, std::shared_ptr<SyntheticKeyTrail> trail,
                  std::shared_ptr<const MonotonicClock> clock);

    std::mutex lock_;
    Display* display_;
    std::shared_ptr<SyntheticKeyTrail> trail_;
    std::shared_ptr<const MonotonicClock> clock_;
};

}  // namespace parlendo
