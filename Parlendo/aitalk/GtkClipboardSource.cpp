#include "aitalk/GtkClipboardSource.h"

#include "capture/GtkPasteboard.h"

namespace parlendo {

GtkClipboardSource::GtkClipboardSource(std::shared_ptr<XFixesClipboardCounter> counter)
    : counter_(std::move(counter)) {}

std::int64_t GtkClipboardSource::changeCount() {
    return counter_ ? counter_->changeCount() : 0;
}

void GtkClipboardSource::text(Completion<void(std::optional<std::string>)> done) {
    GtkPasteboard::text(std::move(done));
}

}  // namespace parlendo
