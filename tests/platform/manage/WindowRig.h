#pragma once

#include "../../core/manage/RouteFixtures.h"
#include "DesktopRig.h"
#include "LogCapture.h"
#include "ManualExecutor.h"
#include "manage/ManageWindow.h"

#include <memory>
#include <string>
#include <vector>

namespace parlendo::testing {

// Records what it is asked to open instead of opening it; a file is taken by an application
// unless `noApplication`.
struct RecordingOpener final : SystemOpening {
    std::vector<std::string> urls;
    std::vector<std::string> paths;
    bool noApplication = false;
    void open(const std::string& url) override { urls.push_back(url); }
    void openPath(const std::string& path) override { paths.push_back(path); }
    void openPath(const std::string& path, std::function<void(bool)> done) override {
        paths.push_back(path);
        done(!noApplication);
    }
};

// A manage window on a test page, over a router of test routes. Its timers and hand-overs run
// on a manual executor, so the close guard's time-out is the test's to trigger.
struct WindowRig {
    LogCapture log;
    std::shared_ptr<ManualExecutor> main = std::make_shared<ManualExecutor>();
    std::shared_ptr<TestRoutes> routes = std::make_shared<TestRoutes>();
    std::shared_ptr<RecordingOpener> opener = std::make_shared<RecordingOpener>();
    ThemeMode theme = ThemeMode::light;
    std::shared_ptr<ManageBridge> bridge;
    std::shared_ptr<ManageWindow> window;
    int closed = 0;

    // `page`: one of the test pages by name, or a file of its own by its whole path. The router
    // reads its routes when the window is first opened.
    explicit WindowRig(std::optional<std::string> page) : page_(std::move(page)) {
        ensureDesktop();
    }
    ~WindowRig() { window.reset(); }

    bool until(const std::function<bool()>& done, double seconds = 10) {
        return pumpUntil(
            [&] {
                main->runAll();
                return done();
            },
            seconds);
    }
    // Builds the window when there is none and shows it.
    void show() {
        if (!window) {
            bridge = std::make_shared<ManageBridge>(BridgeRouter::make({routes}));
            window = ManageWindow::make(
                bridge, [this] { return theme; },
                ManageWindow::Options{page_ ? std::optional(pagesFolder() / *page_) : std::nullopt,
                                      opener, main, false});
            window->onClose = [this] {
                ++closed;
            };
        }
        window->show();
    }
    bool open() {
        show();
        return until([&] { return window->loaded(); });
    }
    std::optional<Json> run(const std::string& script) {
        bool done = false;
        std::optional<Json> result;
        window->run(script, [&](std::optional<Json> r) {
            result = std::move(r);
            done = true;
        });
        until([&] { return done; });
        return result;
    }

  private:
    std::optional<std::string> page_;
};

}  // namespace parlendo::testing
