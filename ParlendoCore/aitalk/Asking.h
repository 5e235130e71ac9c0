#pragma once

#include "foundation/Completion.h"
#include "foundation/Result.h"
#include "projects/DriveFailure.h"

#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace parlendo {

// The user's active AI popup: the one popup switched on in one of the user's projects.
struct ActivePopup {
    std::string popupID;
    std::string driveID;
    std::string name;
    std::string driveName;
    bool operator==(const ActivePopup&) const = default;
};

// The project document and 1-based page a selection was found on.
struct PageHint {
    std::string documentID;
    int page = 0;
    bool operator==(const PageHint&) const = default;
};

// Whether a question is asked with the page it comes from, or about the selection alone.
enum class AskMode { document, selectionOnly };
// "document", "selection_only".
const char* toString(AskMode mode);
std::optional<AskMode> askModeFromString(std::string_view text);

// What the server answered to a question.
namespace AskOutcomes {
// The answer and, for a first question, the thread that follow-ups continue.
struct Answer {
    std::string text;
    std::optional<std::string> threadID;
    bool operator==(const Answer&) const = default;
};
// The server declined, with its reason word.
struct Rejected {
    std::string reason;
    bool operator==(const Rejected&) const = default;
};
// No page to answer from.
struct NotFound {
    bool operator==(const NotFound&) const = default;
};
}  // namespace AskOutcomes
using AskOutcome = std::variant<AskOutcomes::Answer, AskOutcomes::Rejected, AskOutcomes::NotFound>;

using PopupLookup = Result<std::optional<ActivePopup>, DriveFailure>;
using AskResult = Result<AskOutcome, DriveFailure>;

// The backend's AI talk calls. Every failure is a DriveFailure whose code AITalkText turns into a
// message. Completions may run before the call returns (a refused text) or later on the main
// thread.
class Asking {
  public:
    virtual ~Asking() = default;
    // The user's active AI popup; none when AI talk is off on the server.
    virtual void activePopup(Completion<void(PopupLookup)> done) = 0;
    virtual void ask(ActivePopup popup, std::string selection, AskMode mode,
                     std::optional<PageHint> hint, Completion<void(AskResult)> done) = 0;
    virtual void followup(std::string thread, std::string message,
                          Completion<void(AskResult)> done) = 0;
};

}  // namespace parlendo
