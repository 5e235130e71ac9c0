#pragma once

#include "foundation/Json.h"

#include <optional>
#include <set>
#include <string>

namespace parlendo {

// Counts the JavaScript errors that the manage page reports about itself and writes at most
// `maxPerRun` of them to the log. Main executor only.
class UIErrorLog {
  public:
    static constexpr int maxPerRun = 50;
    // An uncaught error and an unhandled promise rejection; any other kind is logged as "other".
    static const std::set<std::string>& kinds();

    // Records one report and returns the new count; nothing once the limit was reached (then
    // nothing is logged either).
    std::optional<int> record(const Json* kind);
    int count() const { return count_; }

  private:
    int count_ = 0;
};

}  // namespace parlendo
