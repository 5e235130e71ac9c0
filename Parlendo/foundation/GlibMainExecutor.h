#pragma once

#include "foundation/Executor.h"

#include <glib.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace parlendo {

// The main executor: tasks run on the GLib main context (the thread that runs the GTK main loop).
// Posting is thread-safe. Posted tasks run in posting order; delayed tasks run in order of their
// due time (ties in posting order), never early, even when several fall due at once. Tasks still
// queued when the executor or the main loop goes away never run.
class GlibMainExecutor final : public Executor {
  public:
    // Uses the default main context when `context` is null.
    explicit GlibMainExecutor(GMainContext* context = nullptr);
    ~GlibMainExecutor() override;

    GlibMainExecutor(const GlibMainExecutor&) = delete;
    GlibMainExecutor& operator=(const GlibMainExecutor&) = delete;

    void post(Task task) override;
    void postAfter(double seconds, Task task) override;
    bool isCurrent() const override;

  private:
    struct Timers;
    GMainContext* context_;
    std::shared_ptr<Timers> timers_;
};

}  // namespace parlendo
