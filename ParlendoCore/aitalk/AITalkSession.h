#pragma once

#include "aitalk/AnswerState.h"
#include "aitalk/Asking.h"
#include "foundation/Clock.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace parlendo {

// One AI talk conversation at a time: takes the text copied after the trigger, checks the user's
// active AI popup, opens the answer window, locates the project page the selection comes from,
// asks the first question and then follow-ups in the same server thread until the window closes.
// It owns the window's model and shows every change of it on the screen. Nothing is retried by
// itself; every failure ends in a notice. Answers that arrive for an older conversation number are
// dropped. Main thread; lives in a shared_ptr (the calls it awaits hold it weakly).
class AITalkSession : public std::enable_shared_from_this<AITalkSession> {
  public:
    // Finds the project page a selection comes from.
    using Locate = std::function<void(std::string selection, ActivePopup popup,
                                      Completion<void(std::optional<PageHint>)> done)>;
    // Shows a short notice outside the answer window.
    using Notice = std::function<void(const std::string& text)>;

    AITalkSession(std::shared_ptr<Asking> asking, std::weak_ptr<AnswerScreen> screen, Notice notice,
                  Locate locate, std::shared_ptr<const MonotonicClock> clock = nullptr);

    // Begins a conversation with the copied text (none when nothing could be read).
    void start(std::optional<std::string> text);
    // Asks again without the page (only after the page was not found).
    void selectionOnly();
    // Asks the first question again (only after a failure).
    void retry();
    // A follow-up question from the window's input.
    void followup(const std::string& text);
    // Ends the conversation; `reason` is a word for the log.
    void close(const std::string& reason);

    bool busy() const { return busy_; }
    bool isOpen() const { return open_; }
    const AnswerState& state() const { return state_; }
    int sid() const { return sid_; }
    const std::optional<std::string>& threadID() const { return threadID_; }
    const std::string& selection() const { return selection_; }

    // Told whether the server reported an active AI popup; does nothing until set.
    std::function<void(bool on)> onServerChecked;

  private:
    void first(AskMode mode);
    void again(AskMode mode);
    void asked(int startSid, double started, AskMode mode, bool hinted, AskResult result);
    void show();
    long long millisSince(double started) const;

    std::shared_ptr<Asking> asking_;
    std::weak_ptr<AnswerScreen> screen_;
    Notice notice_;
    Locate locate_;
    std::shared_ptr<const MonotonicClock> clock_;
    AnswerState state_;
    int sid_ = 0;
    bool open_ = false;
    std::optional<std::string> threadID_;
    std::optional<ActivePopup> popup_;
    std::string selection_;
    AskMode lastMode_ = AskMode::document;
    bool busy_ = false;
};

}  // namespace parlendo
