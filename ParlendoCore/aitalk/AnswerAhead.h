#pragma once

#include "foundation/Completion.h"
#include "foundation/Executor.h"

#include <functional>
#include <memory>
#include <vector>

namespace parlendo {

// When AI talk's answer window exists. The window draws with a web view, which brings the web
// engine and its helper processes into memory, so it is built ahead of the first question (a
// moment after start, so that the first answer still appears at once) only while AI talk's gate
// lets questions through, and let go again once the gate closes and no conversation is on the
// screen. A question that passes the gate before the window is there waits for the build.
// Main thread; lives in a shared_ptr (the build and the start timer hold it weakly).
class AnswerAhead : public std::enable_shared_from_this<AnswerAhead> {
  public:
    // The build waits this long after start, out of the way of the program's own start.
    static constexpr double afterStart = 1.0;
    // How often a window kept for a conversation under way is looked at again.
    static constexpr double recheckSeconds = 5.0;

    struct Hooks {
        // Builds the window and its session; completes once they are there.
        std::function<void(Completion<void()>)> build;
        // Lets the window and its session go.
        std::function<void()> release;
        // Whether a conversation is on the screen or under way.
        std::function<bool()> inUse;
    };

    AnswerAhead(ExecutorPtr main, Hooks hooks);

    // Arms the build that follows the start.
    void start();
    // The gate now: open while a signed-in user has AI talk on.
    void gate(bool open);
    // A conversation ended; with the gate closed the window goes now.
    void settled();
    // Calls `ready` once the window is there, building it first when it is not.
    void whenBuilt(Completion<void()> ready);

    bool built() const { return state_ == State::built; }
    bool building() const { return state_ == State::building; }

  private:
    enum class State { none, building, built };

    void build();
    void finished();
    void releaseIfClosed();

    ExecutorPtr main_;
    Hooks hooks_;
    State state_ = State::none;
    bool open_ = false;
    bool due_ = false;
    bool recheckArmed_ = false;
    std::vector<Completion<void()>> waiting_;
};

}  // namespace parlendo
