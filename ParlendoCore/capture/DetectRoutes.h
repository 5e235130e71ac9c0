#pragma once

#include "capture/DetectControl.h"
#include "foundation/Json.h"
#include "manage/BridgeRoutes.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>

namespace parlendo {

// The manage page's detection calls: "detect_status" reads the state, "detect_start" and
// "detect_stop" switch detection through the guarded switch (a refused switch is no error: the
// reply shows `enabled` as it stayed). Arguments are ignored. Read and called on the main
// executor.
class DetectRoutes final : public BridgeRoutes {
  public:
    // The server's current notice in its screen form, or none.
    using Notice = std::function<std::optional<Json>()>;

    DetectRoutes(DetectControl detect, std::int32_t pid, Notice notice);

    std::map<std::string, BridgeEntry> routes() const override;
    // "detect_status" is logged only when its reply changes.
    std::map<std::string, BridgeLogMode> logModes() const override;

  private:
    BridgeEntry status() const;
    BridgeEntry switchTo(bool enabled) const;

    DetectControl detect_;
    std::int32_t pid_;
    Notice notice_;
};

}  // namespace parlendo
