#pragma once

#include "manage/BridgeRoutes.h"
#include "manage/UIErrorLog.h"

#include <memory>
#include <string>
#include <vector>

namespace parlendo {

// The manage page's report of its own JavaScript errors ("ui_error"), handed to the UI error log.
// The router writes no line for a recorded report: the error log writes its own. Main executor.
class DiagnosticsRoutes final : public BridgeRoutes {
  public:
    static const std::vector<std::string>& names();

    DiagnosticsRoutes() = default;
    explicit DiagnosticsRoutes(std::shared_ptr<UIErrorLog> errors);

    std::map<std::string, BridgeEntry> routes() const override;
    std::map<std::string, BridgeLogMode> logModes() const override;

  private:
    std::shared_ptr<UIErrorLog> errors_;
};

}  // namespace parlendo
