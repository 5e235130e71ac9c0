#pragma once

#include "foundation/Completion.h"
#include "foundation/Json.h"

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace parlendo {

// How code outside the manage window reaches its page: run a script in the page, find the native
// window (for sheets and dialogs), and hear about files dropped onto the page. The environment
// makes one port at start; the manage coordinator fills in `run` and `window`, other modules
// append drop handlers. Main thread only.
class ManageScreenPort {
  public:
    // The native window, opaque here: a GtkWindow* in the Linux layer; null when there is none.
    using NativeWindow = void*;
    // Runs `script` in the loaded page and completes with its result as JSON: nullopt when the
    // page is not loaded, the result is undefined or cannot be read, or the script failed.
    using Run =
        std::function<void(std::string script, Completion<void(std::optional<Json>)> completion)>;
    using Window = std::function<NativeWindow()>;
    // Called with the dropped files as "file://" URIs, in the order dropped.
    using DropHandler = std::function<void(const std::vector<std::string>& fileURIs)>;

    // Until the manage window is there: no page ran the script.
    Run run = [](std::string, Completion<void(std::optional<Json>)> completion) {
        completion(std::nullopt);
    };
    // Until the manage window is there: no window.
    Window window = [] {
        return NativeWindow(nullptr);
    };
    // Only ever appended to; called in order for every drop.
    std::vector<DropHandler> dropHandlers;
};

}  // namespace parlendo
