#pragma once

#include "foundation/Executor.h"

#include <glib.h>

namespace parlendo {

// The main executor: tasks run on the GLib main context (the thread that runs the GTK main loop).
// Posting is thread-safe. Tasks still queued when the main loop stops never run.
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
    void attach(GSource* source, Task task);
    GMainContext* context_;
};

}  // namespace parlendo
