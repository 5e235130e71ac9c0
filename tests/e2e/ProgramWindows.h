#pragma once

#include <gdk/gdk.h>

#include <optional>
#include <string>
#include <vector>

namespace parlendo::testing {

// The windows of the program under test as its window probe tells them (PARLENDO_WINDOW_PROBE=1):
// what each shows and where, read on the program's main thread over the session bus. The test
// acts on them as a user does: the pointer and the keyboard through XTest.
class ProgramWindows {
  public:
    struct Element {
        std::string role;  // "label", "button", "entry", "text"
        std::string text;
        GdkRectangle place{0, 0, 0, 0};
    };
    struct Window {
        std::string title;
        unsigned long xid = 0;
        GdkRectangle place{0, 0, 0, 0};
        std::vector<Element> elements;

        // The texts shown, in widget order, without empty ones.
        std::vector<std::string> texts() const;
        bool shows(const std::string& text) const;
        bool showsStart(const std::string& prefix) const;
        bool showsPart(const std::string& part) const;
        // A card of the capture: its caption names the popup setting ("· 단어").
        bool isCard() const { return showsStart("· "); }
    };

    // The mapped windows now; empty when the program does not answer.
    static std::vector<Window> all();
    // The first window that shows `text` (or a text holding `part`), waiting up to `seconds`.
    static std::optional<Window> showing(const std::string& text, double seconds = 15);
    static std::optional<Window> showingPart(const std::string& part, double seconds = 15);
    // The text of the page in the program's web view.
    static std::string pageText();
    // Where the page shows an element with this text, label or title; empty when it shows none.
    static GdkRectangle pageFind(const std::string& text);
    // Clicks (or double-clicks) that element, waiting up to `seconds` for it to be shown.
    static bool clickPage(const std::string& text, double seconds = 10, int clicks = 1);

    // Brings `window` to the front and clicks the element with this role and text.
    static bool click(const Window& window, const std::string& role, const std::string& text);
    // Clicks the `index`-th entry of `window`, selects what it holds and types `text` (ASCII).
    static bool type(const Window& window, size_t index, const std::string& text);
    // Asks `window` to close, as a window manager's close button does.
    static void close(const Window& window);
    // The keyboard: one key (an X key symbol, with Control when `control`), keys held together
    // (pressed in order, let go in reverse), or ASCII text.
    static void pressKey(unsigned long keysym, bool control = false);
    static void pressKeys(const std::vector<unsigned long>& keysyms);
    static void typeText(const std::string& text);
};

}  // namespace parlendo::testing
