#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace parlendo {

// The windows and alerts of a start, one at a time in the order they are asked for: each is
// shown only once the one before it has been answered (the alerts of the install check, the
// notice, the accessibility window, the login window), so none opens behind another. An alert
// that holds the start also holds the rest of the launch until it is answered. Main thread.
class StartupWindows : public std::enable_shared_from_this<StartupWindows> {
  public:
    // Called once the window is answered (closed, acknowledged, or no longer needed); calls
    // after the first do nothing.
    using Answered = std::function<void()>;
    // Shows the window and calls `answered` when the user is done with it (at once when, by its
    // turn, it need not be shown).
    using Step = std::function<void(Answered answered)>;

    // Shows a window now when nothing is open or waiting, else after those.
    void show(std::string name, Step step);
    // Like `show`, and the launch waits for its answer too.
    void hold(std::string name, Step step);
    // Runs `next` once no holding alert is open or waiting: at once when there is none.
    void afterHolds(std::function<void()> next);

    // The window open now ("" when none) and those waiting, in order.
    const std::string& open() const { return open_; }
    std::vector<std::string> waiting() const;

  private:
    struct Entry {
        std::string name;
        Step step;
        bool holds = false;
    };
    void add(Entry entry);
    void advance();
    void answered(unsigned long turn, bool holds);

    std::deque<Entry> queue_;
    std::string open_;
    unsigned long turn_ = 0;
    bool advancing_ = false;
    int holds_ = 0;
    std::vector<std::function<void()>> afterHolds_;
};

}  // namespace parlendo
