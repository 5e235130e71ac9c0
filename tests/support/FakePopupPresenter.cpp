#include "FakePopupPresenter.h"

namespace parlendo::testing {

bool FakePopupPresenter::open(const PopupID& id, const PopupBody& body,
                              const std::optional<std::string>& setting,
                              const PopupOptions& options, const PopupAnchor& anchor,
                              double loadingLimit) {
    log.push_back(Call{Op::open, id, body, setting, options, anchor, loadingLimit});
    if (static_cast<int>(cards.size()) >= limit && !cards.count(id)) {
        return false;
    }
    cards.insert_or_assign(id, Card{body, setting, options, anchor, loadingLimit, std::nullopt});
    return true;
}

void FakePopupPresenter::update(const PopupID& id, const PopupBody& body) {
    log.push_back(Call{Op::update, id, body, std::nullopt, std::nullopt, std::nullopt, 0});
    auto it = cards.find(id);
    if (it != cards.end() && !it->second.shownFor) {
        it->second.body = body;
    }
}

void FakePopupPresenter::fill(const PopupID& id, const PopupBody& body, double seconds) {
    log.push_back(Call{Op::fill, id, body, std::nullopt, std::nullopt, std::nullopt, seconds});
    auto it = cards.find(id);
    if (it != cards.end()) {
        it->second.body = body;
        it->second.shownFor = seconds;
    }
}

void FakePopupPresenter::close(const PopupID& id) {
    log.push_back(Call{Op::close, id, std::nullopt, std::nullopt, std::nullopt, std::nullopt, 0});
    cards.erase(id);
}

const FakePopupPresenter::Card* FakePopupPresenter::card(const PopupID& id) const {
    auto it = cards.find(id);
    return it == cards.end() ? nullptr : &it->second;
}

std::vector<FakePopupPresenter::Call> FakePopupPresenter::calls(Op op) const {
    std::vector<Call> out;
    for (const auto& call : log) {
        if (call.op == op) {
            out.push_back(call);
        }
    }
    return out;
}

}  // namespace parlendo::testing
