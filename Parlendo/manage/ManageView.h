#pragma once

#include "foundation/Completion.h"
#include "foundation/Executor.h"
#include "foundation/Json.h"
#include "manage/ManageBridge.h"
#include "manage/SystemOpening.h"
#include "manage/ThemeMode.h"

#include <gtk/gtk.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

typedef struct _WebKitWebView WebKitWebView;

namespace parlendo {

// What the manage module needs of its window. The window itself draws with WebKit, which the
// program loads only when the window is first opened (see WebViews), so the module reaches it
// through this interface and a factory. Main thread only.
class ManageView {
  public:
    using Theme = std::function<ThemeMode()>;

    struct Options {
        // The page; nothing when the program ships none (a placeholder text is shown).
        std::optional<std::filesystem::path> page;
        // Opens the web links the user clicks on the page.
        std::shared_ptr<SystemOpening> opener;
        // Runs the close guard's time-out and the hand-over of dropped files.
        ExecutorPtr main;
        // The web inspector (on outside release mode).
        bool inspector = false;
    };

    // Builds a window; `theme` is read when the web view is built and after every page load.
    // Nothing when no window can be built (logged by the factory).
    using Factory = std::function<std::shared_ptr<ManageView>(std::shared_ptr<ManageBridge> bridge,
                                                              Theme theme, Options options)>;

    virtual ~ManageView() = default;

    // Builds the window when it is not there, then brings it to the front.
    virtual void show() = 0;
    // Runs `script` in the loaded page; completes with its result, nothing when there is no
    // loaded page, the result is undefined, or the script failed (logged).
    virtual void run(std::string script, Completion<void(std::optional<Json>)> completion) = 0;
    // Runs `script` without waiting; only the outcome is logged under `name`.
    virtual void push(const std::string& name, std::string script) = 0;

    virtual GtkWindow* window() const = 0;
    virtual WebKitWebView* webView() const = 0;
    virtual bool loaded() const = 0;

    // Called once at the end of each close.
    std::function<void()> onClose = [] {
    };
    // Called with the files dropped onto the page, as standardised "file://" URIs.
    std::function<void(const std::vector<std::string>&)> onFilesDropped =
        [](const std::vector<std::string>&) {
        };
};

}  // namespace parlendo
