#pragma once

#include "capture/SelectionSource.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace parlendo::testing {

// A clipboard with a change count, items of (type, data) pairs, and the save and restore of the
// selection fetch. Every clear and every write moves the change count on by one.
class FakePasteboard {
  public:
    using Item = std::vector<std::pair<std::string, std::string>>;
    static constexpr const char* textType = "text/plain";

    std::int64_t changeCount() const { return changeCount_; }
    const std::vector<Item>& items() const { return items_; }

    void clear();
    void write(std::vector<Item> items);
    // Clears, then writes one plain-text item (the way an application copies text).
    void copyText(const std::string& text);
    // Clears, then writes one image item.
    void copyImage();

    std::optional<std::string> text() const;
    SavedPasteboard save() const;
    std::int64_t restore(const SavedPasteboard& saved);

  private:
    std::int64_t changeCount_ = 100;
    std::vector<Item> items_;
};

}  // namespace parlendo::testing
