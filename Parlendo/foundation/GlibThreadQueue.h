#pragma once

#include "foundation/Executor.h"
#include "foundation/GlibMainExecutor.h"

#include <glib.h>

#include <memory>
#include <string>
#include <thread>

namespace parlendo {

// A serial queue whose thread runs a GLib main context of its own: tasks run in posting order,
// and libraries that dispatch through a main context (D-Bus signal handlers, the accessibility
// event listeners) can be bound to it so that all their work stays on this one thread.
// Destruction stops the loop and joins the thread (a queue destroyed by one of its own tasks lets
// its thread end by itself); tasks still queued never run.
class GlibThreadQueue final : public Executor {
  public:
    explicit GlibThreadQueue(std::string name);
    ~GlibThreadQueue() override;
    GlibThreadQueue(const GlibThreadQueue&) = delete;
    GlibThreadQueue& operator=(const GlibThreadQueue&) = delete;

    void post(Task task) override;
    void postAfter(double seconds, Task task) override;
    bool isCurrent() const override;

    GMainContext* context() const { return context_; }
    const std::string& name() const { return name_; }

  private:
    std::string name_;
    GMainContext* context_;
    GMainLoop* loop_;
    std::unique_ptr<GlibMainExecutor> executor_;
    std::thread thread_;
};

}  // namespace parlendo
