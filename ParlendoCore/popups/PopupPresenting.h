#pragma once

#include "popups/PopupBody.h"
#include "popups/PopupSetting.h"

#include <optional>
#include <string>

namespace parlendo {

// Shows the meaning cards of captures: at most five at a time, each opened with a first body,
// then updated while it waits, filled with its final body and counted down, or closed.
// `update`, `fill` and `close` for a card that is gone do nothing. Main thread only.
class PopupPresenting {
  public:
    virtual ~PopupPresenting() = default;
    // False when the card cannot be shown (five are open). `setting` is the caption's name;
    // `loadingLimit` is how long, in seconds, the card may wait for its final body.
    virtual bool open(const PopupID& id, const PopupBody& body,
                      const std::optional<std::string>& setting, const PopupOptions& options,
                      const PopupAnchor& anchor, double loadingLimit) = 0;
    virtual void update(const PopupID& id, const PopupBody& body) = 0;
    virtual void fill(const PopupID& id, const PopupBody& body, double seconds) = 0;
    virtual void close(const PopupID& id) = 0;
};

}  // namespace parlendo
