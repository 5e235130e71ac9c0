#pragma once

#include <gdk/gdk.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

typedef struct _AtspiAccessible AtspiAccessible;

namespace parlendo::testing {

// Another process's windows as assistive technology reads them over AT-SPI: which windows are
// showing, where, and what their labels, buttons and texts say; buttons can be pressed. Main
// thread of a test; every call asks the other process over the accessibility bus.
class AccessibleApp {
  public:
    struct Element {
        std::string role;
        std::string name;
        std::string text;  // the Text interface's content, when it has one
        bool showing = false;
    };
    struct Window {
        std::string role;
        std::string name;
        GdkRectangle extents{0, 0, 0, 0};
        // Names and texts of the elements inside, in tree order, without empty ones.
        std::vector<std::string> texts;
    };

    // The application of process `pid`, once it appears on the bus (within `seconds`).
    static std::unique_ptr<AccessibleApp> find(int pid, double seconds = 10);
    ~AccessibleApp();
    AccessibleApp(const AccessibleApp&) = delete;
    AccessibleApp& operator=(const AccessibleApp&) = delete;

    // The top-level windows that are showing now.
    std::vector<Window> windows() const;
    // Whether a showing window holds a text equal to `text`.
    bool shows(const std::string& text) const;
    // Every element under the showing windows, in tree order (at most `limit`).
    std::vector<Element> elements(size_t limit = 4000) const;
    // Runs the first action of the first showing element with this role and name.
    bool press(const std::string& role, const std::string& name) const;

  private:
    explicit AccessibleApp(AtspiAccessible* app);
    void walk(AtspiAccessible* node, int depth, size_t& budget,
              const std::function<bool(AtspiAccessible*, const Element&)>& visit) const;

    AtspiAccessible* app_;
};

}  // namespace parlendo::testing
