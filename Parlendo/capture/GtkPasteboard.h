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
};

// The CLIPBOARD selection through GTK. Every call runs on the main thread and answers
// asynchronously, so that an owner that is slow to answer never stalls the main loop.
namespace GtkPasteboard {

// Reads every target the owner offers (not the protocol's own TARGETS, MULTIPLE, TIMESTAMP and
// the like), up to 64 MiB in all.
void save(Completion<void(SavedClipboard)> done);
// Puts `saved` back with this process as the owner (an empty save leaves the clipboard without
// owner) and waits until the X server has seen the change. Answers whether it took.
void restore(SavedClipboard saved, Completion<void(bool)> done);
// The clipboard's text as UTF-8 (invalid sequences replaced), or none when it holds no text.
void text(Completion<void(std::optional<std::string>)> done);

}  // namespace GtkPasteboard
}  // namespace parlendo
