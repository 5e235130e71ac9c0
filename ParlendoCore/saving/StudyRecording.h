#pragma once

#include "foundation/Completion.h"
#include "saving/StudySave.h"

#include <optional>
#include <string>

namespace parlendo {

// Records the study reviews made in the manage window (a word marked as known or not known) and
// answers questions about them. Called from any thread; completions run on whatever thread the
// last answer arrived on.
class StudyRecording {
  public:
    virtual ~StudyRecording() = default;

    // Writes one review row and proves that it landed. `isKnown` is missing when the page sent
    // something other than a boolean.
    virtual void saveReview(std::optional<bool> isKnown, std::string wordID,
                            Completion<void(StudySave)> completion) = 0;
    // The state of an earlier review of the signed-in user; a review whose fate was unknown is
    // read back (and sent again when the server lacks it). None for an unknown operation, another
    // user's, or while nobody is signed in.
    virtual void status(std::string operationID,
                        Completion<void(std::optional<StudySave>)> completion) = 0;
    // Forgets every operation (the account changed).
    virtual void reset() = 0;
};

}  // namespace parlendo
