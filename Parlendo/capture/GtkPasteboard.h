#pragma once

#include "foundation/Completion.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace parlendo {

// Everything the CLIPBOARD offered at one moment: each target with the data and type its owner
// gave for it.
struct SavedClipboard {
    struct Item {
        std::string target;
        std::string type;
        int format = 8;
        std::string data;
    };
    std::vector<Item> items;
    // Why the save is not whole, for the log ("over_cap target=…", "nothing_readable
    // targets=…", "targets_refused"); empty when it is. A save that is not whole cannot put the
    // clipboard back.
    std::string shortfall;

    bool complete() const { return shortfall.empty(); }
};

// The CLIPBOARD selection through GTK. Every call runs on the main thread and answers
// asynchronously, so that an owner that is slow to answer never stalls the main loop.
namespace GtkPasteboard {

// Reads every target the owner offers (not the protocol's own TARGETS, MULTIPLE, TIMESTAMP and
// the like; a target the owner will not give is left out). Past 64 MiB in all, when the owner
// offers targets but gives none of them, or when an owner will not list its targets, the save is
// not complete; only a clipboard without owner saves as empty.
void save(Completion<void(SavedClipboard)> done);
// Puts `saved` back with this process as the owner (an empty save, a clipboard that had no owner,
// leaves it without owner again) and waits until the X server has seen the change. Answers
// whether it took. A save that is not complete is refused and the clipboard left as it is.
void restore(SavedClipboard saved, Completion<void(bool)> done);
// The clipboard's text as UTF-8 (invalid sequences replaced), or none when it holds no text.
void text(Completion<void(std::optional<std::string>)> done);
// The same of the PRIMARY selection.
void primaryText(Completion<void(std::optional<std::string>)> done);

}  // namespace GtkPasteboard
}  // namespace parlendo
