#pragma once

#include <string>

namespace parlendo {

// Why the deployment profile was refused: one upper-case reason code.
class ConfigError {
  public:
    static ConfigError reason(std::string code) { return ConfigError(std::move(code)); }
    const std::string& code() const { return code_; }
    bool operator==(const ConfigError&) const = default;

  private:
    explicit ConfigError(std::string code) : code_(std::move(code)) {}
    std::string code_;
};

}  // namespace parlendo
