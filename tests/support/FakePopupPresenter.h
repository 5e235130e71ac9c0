#pragma once

#include "popups/PopupBody.h"
#include "popups/PopupPresenting.h"
#include "popups/PopupSetting.h"

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace parlendo::testing {

// A card presenter that records every call and keeps the cards "on screen" until they are
// closed or dismissed. Like the real one it refuses a card beyond the visible limit, and ignores
// calls for cards that are not shown. Main thread.
class FakePopupPresenter final : public PopupPresenting {
  public:
    enum class Op { open, update, fill, close };
    struct Call {
        Op op = Op::open;
        PopupID id;
        std::optional<PopupBody> body;
        std::optional<std::string> setting;
        std::optional<PopupOptions> options;
        std::optional<PopupAnchor> anchor;
        // The loading limit of an open, the seconds of a fill.
        double seconds = 0;
    };
    struct Card {
        PopupBody body;
        std::optional<std::string> setting;
        PopupOptions options;
        PopupAnchor anchor;
        double loadingLimit = 0;
        // Set once the final body is in.
        std::optional<double> shownFor;
    };

    bool open(const PopupID& id, const PopupBody& body, const std::optional<std::string>& setting,
              const PopupOptions& options, const PopupAnchor& anchor, double loadingLimit) override;
    void update(const PopupID& id, const PopupBody& body) override;
    void fill(const PopupID& id, const PopupBody& body, double seconds) override;
    void close(const PopupID& id) override;

    // The user closed the card (or its countdown ended).
    void dismiss(const PopupID& id) { cards.erase(id); }
    const Card* card(const PopupID& id) const;
    // The calls of one kind, in order.
    std::vector<Call> calls(Op op) const;

    int limit = PopupLimits::maxVisible;
    std::unordered_map<PopupID, Card> cards;
    std::vector<Call> log;
};

}  // namespace parlendo::testing
