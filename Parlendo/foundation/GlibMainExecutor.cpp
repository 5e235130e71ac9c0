#include "foundation/GlibMainExecutor.h"

#include <cmath>

namespace parlendo {

namespace {
gboolean runOnce(gpointer data) {
    auto* task = static_cast<Task*>(data);
    (*task)();
    return G_SOURCE_REMOVE;
}

void destroyTask(gpointer data) {
    delete static_cast<Task*>(data);
}
}  // namespace

GlibMainExecutor::GlibMainExecutor(GMainContext* context)
    : context_(g_main_context_ref(context != nullptr ? context : g_main_context_default())) {}

GlibMainExecutor::~GlibMainExecutor() {
    g_main_context_unref(context_);
}

void GlibMainExecutor::attach(GSource* source, Task task) {
    g_source_set_priority(source, G_PRIORITY_DEFAULT);
    g_source_set_callback(source, runOnce, new Task(std::move(task)), destroyTask);
    g_source_attach(source, context_);
    g_source_unref(source);
}

void GlibMainExecutor::post(Task task) {
    attach(g_idle_source_new(), std::move(task));
}

void GlibMainExecutor::postAfter(double seconds, Task task) {
    if (!(seconds > 0)) {
        post(std::move(task));
        return;
    }
    const double ms = std::ceil(std::min(seconds, 2e6) * 1000.0);
    attach(g_timeout_source_new(static_cast<guint>(ms)), std::move(task));
}

bool GlibMainExecutor::isCurrent() const {
    return g_main_context_is_owner(context_) != FALSE;
}

}  // namespace parlendo
