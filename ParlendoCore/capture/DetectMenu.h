#pragma once

#include "capture/DetectState.h"

#include <optional>
#include <string>
#include <vector>

namespace parlendo {

// The three detection lines of the status menu.
namespace DetectMenu {

struct Lines {
    std::string state;
    std::string toggle;
    // None: the popup-settings line is not shown.
    std::optional<std::string> popups;
    bool operator==(const Lines&) const = default;
};

// Which inputs one active popup setting shows for (its `shows` for a word and a sentence).
struct SettingShows {
    bool word = false;
    bool sentence = false;
};

// `settings` has one entry per active popup setting; `settingsLoaded` says whether they were
// read from the server.
Lines lines(const DetectState& state, const std::vector<SettingShows>& settings,
            bool settingsLoaded);

}  // namespace DetectMenu
}  // namespace parlendo
