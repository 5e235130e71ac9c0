#pragma once

#include "aitalk/ClipboardSource.h"
#include "capture/XFixesClipboardCounter.h"

#include <memory>

namespace parlendo {

// The CLIPBOARD as AI talk reads it: its change count from the XFixes counter that the capture
// shares, its text through GTK. Main thread.
class GtkClipboardSource final : public ClipboardSource {
  public:
    explicit GtkClipboardSource(std::shared_ptr<XFixesClipboardCounter> counter);

    std::int64_t changeCount() override;
    void text(Completion<void(std::optional<std::string>)> done) override;

  private:
    std::shared_ptr<XFixesClipboardCounter> counter_;
};

}  // namespace parlendo
