#include "foundation/Completion.h"

#include "foundation/Log.h"

#include <atomic>
#include <cstdio>
#include <exception>

namespace parlendo::CompletionDrops {

namespace {

// How many scopes are open on this thread.
thread_local int openScopes = 0;
std::atomic<Hook> hook{nullptr};

}  // namespace

Scope::Scope(std::string_view /*why*/) {
    ++openScopes;
}

Scope::~Scope() {
    --openScopes;
}

Hook setHook(Hook h) {
    return hook.exchange(h);
}

void report(const SourcePlace& where) {
#ifdef NDEBUG
    (void)where;
#else
    // A completion destroyed while an exception unwinds the stack is the catcher's to answer
    // (the bridge router answers a handler that throws); it is not a silent loss.
    if (openScopes > 0 || std::uncaught_exceptions() > 0) {
        return;
    }
    const std::string text = std::string("dropped uncalled: made at ") + where.file + ":" +
                             std::to_string(where.line) + " in " + where.function;
    Log::write("completion", text);
    if (const Hook h = hook.load()) {
        h(text, where);
    } else {
        std::fprintf(stderr, "[completion] %s\n", text.c_str());
    }
#endif
}

}  // namespace parlendo::CompletionDrops
