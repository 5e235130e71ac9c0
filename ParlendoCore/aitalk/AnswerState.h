#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace parlendo {

// The model of the answer window: what it shows of one conversation.
struct AnswerState {
    enum class Phase { loading, answered, notFound, failed };

    struct Turn {
        enum class Role { user, assistant };
        Role role = Role::user;
        std::string text;
        bool operator==(const Turn&) const = default;
    };

    Phase phase = Phase::loading;
    std::vector<Turn> turns;
    // A follow-up question is waiting for its answer.
    bool pending = false;
    // A message shown in the window.
    std::optional<std::string> notice;
    // Grows by one with every first answer (not with follow-up answers).
    int answerSeq = 0;
    // The server returned a thread for follow-ups.
    bool hasThread = false;

    // Whether a follow-up may be sent now.
    bool canAsk() const { return phase == Phase::answered && hasThread && !pending; }

    bool operator==(const AnswerState&) const = default;
};

// "user", "assistant".
const char* toString(AnswerState::Turn::Role role);
std::optional<AnswerState::Turn::Role> turnRoleFromString(std::string_view text);

// Where the AI talk session shows its state: the answer window. Main thread.
class AnswerScreen {
  public:
    virtual ~AnswerScreen() = default;
    virtual void show(const AnswerState& state) = 0;
    virtual void hide() = 0;
};

}  // namespace parlendo
