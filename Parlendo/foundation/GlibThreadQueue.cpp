#include "foundation/GlibThreadQueue.h"

#include <pthread.h>

namespace parlendo {

GlibThreadQueue::GlibThreadQueue(std::string name)
    : name_(std::move(name)),
      context_(g_main_context_new()),
      loop_(g_main_loop_new(context_, FALSE)),
      executor_(std::make_unique<GlibMainExecutor>(context_)) {
    // The thread keeps its own references: a queue destroyed by one of its tasks lets the
    // thread finish on its own.
    thread_ = std::thread([context = g_main_context_ref(context_), loop = g_main_loop_ref(loop_),
                           name = name_.substr(0, 15)] {
        pthread_setname_np(pthread_self(), name.c_str());
        g_main_context_push_thread_default(context);
        g_main_loop_run(loop);
        g_main_context_pop_thread_default(context);
        g_main_loop_unref(loop);
        g_main_context_unref(context);
    });
}

GlibThreadQueue::~GlibThreadQueue() {
    g_main_loop_quit(loop_);
    g_main_context_wakeup(context_);
    if (thread_.get_id() == std::this_thread::get_id()) {
        thread_.detach();
    } else if (thread_.joinable()) {
        thread_.join();
    }
    executor_.reset();
    g_main_loop_unref(loop_);
    g_main_context_unref(context_);
}

void GlibThreadQueue::post(Task task) {
    executor_->post(std::move(task));
}

void GlibThreadQueue::postAfter(double seconds, Task task) {
    executor_->postAfter(seconds, std::move(task));
}

bool GlibThreadQueue::isCurrent() const {
    return executor_->isCurrent();
}

}  // namespace parlendo
