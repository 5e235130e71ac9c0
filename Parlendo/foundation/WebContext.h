#pragma once

#include <webkit2/webkit2.h>

#include <functional>
#include <vector>

namespace parlendo {

// The web engine's context that the program's web views share: one network process for the
// manage window and the answer window, caches sized for a document viewer, a memory limit past
// which the web processes let go of what they keep, and nothing kept on disk (the pages are the
// program's own and store nothing). It lives while a web view uses it: when the last one is
// destroyed the context goes and takes the engine's helper processes with it. A little after a web
// view goes, the memory the program freed with it (a large word book's replies, the view's own)
// is handed back to the system. Built into the web views module only. Main thread.
class WebContext {
  public:
    // The web processes start letting go of caches and collecting garbage at a third of this,
    // and try harder at half of it (MB).
    static constexpr unsigned memoryLimitMB = 300;
    // How long after a web view goes the freed memory is handed back.
    static constexpr unsigned trimAfterSeconds = 3;

    // What the first web view of the program starts, a step each (the engine's display, then the
    // context), to run on separate turns of the main loop before the view is made; each does
    // nothing once done.
    static std::vector<std::function<void()>> startSteps();
    // Settings for a new web view (a new reference): the pages draw without the GPU.
    static WebKitSettings* settings();
    // A new web view on the shared context, with the page's scripts and settings.
    static WebKitWebView* webView(WebKitUserContentManager* content, WebKitSettings* settings);
    // Whether the shared context is alive now.
    static bool alive();
    // Brings the engine's files into the system's file cache, and loads and starts the GL driver
    // that the engine's first settings start on the main thread (hundreds of milliseconds with a
    // software driver), so that the main thread finds them ready. Any thread; once per process.
    static void prepare();
};

}  // namespace parlendo
