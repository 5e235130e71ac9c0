#include "foundation/GlibMainExecutor.h"

#include "foundation/Completion.h"
#include "foundation/HandedOver.h"

#include <algorithm>
#include <cmath>

namespace parlendo {

// The delayed tasks: a min-heap on (due, sequence) behind one GLib timeout source armed for the
// earliest due time. Shared with the armed source so that a timer firing after the executor is
// gone finds the heap emptied instead of freed memory.
struct GlibMainExecutor::Timers : std::enable_shared_from_this<Timers> {
    struct Timed {
        gint64 due;  // microseconds of g_get_monotonic_time()
        std::uint64_t seq;
        Task task;
    };

    GMainContext* context = nullptr;
    std::mutex mutex;
    std::vector<Timed> heap;
    std::uint64_t nextSeq = 0;
    GSource* armed = nullptr;  // the pending timeout source, if any
    gint64 armedFor = 0;
    bool closed = false;

    static bool later(const Timed& a, const Timed& b) {
        return a.due != b.due ? a.due > b.due : a.seq > b.seq;
    }

    // Arms the timeout source for the earliest task; called with the mutex held.
    void armLocked() {
        if (closed || heap.empty()) {
            return;
        }
        const gint64 due = heap.front().due;
        if (armed != nullptr) {
            if (armedFor <= due) {
                return;
            }
            g_source_destroy(armed);
            g_source_unref(armed);
            armed = nullptr;
        }
        const gint64 waitUs = std::max<gint64>(0, due - g_get_monotonic_time());
        armed = g_timeout_source_new(static_cast<guint>((waitUs + 999) / 1000));
        armedFor = due;
        g_source_set_priority(armed, G_PRIORITY_DEFAULT);
        auto* self = new HandedOver<std::weak_ptr<Timers>>(weak_from_this());
        g_source_set_callback(armed, fire, self, [](gpointer p) {
            delete static_cast<HandedOver<std::weak_ptr<Timers>>*>(p);
        });
        g_source_attach(armed, context);
    }

    static gboolean fire(gpointer data) {
        auto self = static_cast<HandedOver<std::weak_ptr<Timers>>*>(data)->get().lock();
        if (self) {
            self->runDue();
        }
        return G_SOURCE_REMOVE;
    }

    void runDue() {
        std::vector<Task> due;
        {
            std::lock_guard lock(mutex);
            if (armed != nullptr) {
                g_source_unref(armed);
                armed = nullptr;
            }
            const gint64 now = g_get_monotonic_time();
            while (!heap.empty() && heap.front().due <= now) {
                std::pop_heap(heap.begin(), heap.end(), later);
                due.push_back(std::move(heap.back().task));
                heap.pop_back();
            }
            armLocked();
        }
        for (auto& task : due) {
            task();
            task.reset();
        }
    }

    void close() {
        std::vector<Timed> dropped;
        {
            std::lock_guard lock(mutex);
            closed = true;
            if (armed != nullptr) {
                g_source_destroy(armed);
                g_source_unref(armed);
                armed = nullptr;
            }
            dropped.swap(heap);
        }
        CompletionDrops::Scope scope("timers of a main executor that is going away");
        dropped.clear();
    }
};

namespace {

// A posted task on its way to the context's thread.
using Posted = HandedOver<Task>;

gboolean runOnce(gpointer data) {
    auto& task = static_cast<Posted*>(data)->get();
    task();
    task.reset();
    return G_SOURCE_REMOVE;
}

// A task still held here never ran: its main context went away first.
void destroyTask(gpointer data) {
    auto* posted = static_cast<Posted*>(data);
    if (posted->get()) {
        CompletionDrops::Scope scope("posted to a main context that is going away");
        delete posted;
        return;
    }
    delete posted;
}
}  // namespace

GlibMainExecutor::GlibMainExecutor(GMainContext* context)
    : context_(g_main_context_ref(context != nullptr ? context : g_main_context_default())),
      timers_(std::make_shared<Timers>()) {
    timers_->context = context_;
}

GlibMainExecutor::~GlibMainExecutor() {
    timers_->close();
    g_main_context_unref(context_);
}

void GlibMainExecutor::post(Task task) {
    GSource* source = g_idle_source_new();
    g_source_set_priority(source, G_PRIORITY_DEFAULT);
    g_source_set_callback(source, runOnce, new Posted(std::move(task)), destroyTask);
    g_source_attach(source, context_);
    g_source_unref(source);
}

void GlibMainExecutor::postAfter(double seconds, Task task) {
    if (!(seconds > 0)) {
        post(std::move(task));
        return;
    }
    const double us = std::ceil(std::min(seconds, 1e9) * 1e6);
    std::unique_lock lock(timers_->mutex);
    if (timers_->closed) {
        lock.unlock();
        CompletionDrops::Scope scope("timer on a main executor that is going away");
        task.reset();
        return;
    }
    timers_->heap.push_back(Timers::Timed{g_get_monotonic_time() + static_cast<gint64>(us),
                                          timers_->nextSeq++, std::move(task)});
    std::push_heap(timers_->heap.begin(), timers_->heap.end(), Timers::later);
    timers_->armLocked();
}

bool GlibMainExecutor::isCurrent() const {
    return g_main_context_is_owner(context_) != FALSE;
}

}  // namespace parlendo
