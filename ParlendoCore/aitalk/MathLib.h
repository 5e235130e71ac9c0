#pragma once

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>

namespace parlendo {

// The mathematics renderer's script (Temml), read once from the resources' "vendor/temml-*/"
// folder and kept for the life of the process, empty when there is none. Thread-safe: concurrent
// first callers read the file once.
class MathLib {
  public:
    explicit MathLib(std::optional<std::filesystem::path> resources);

    // The script, or empty text.
    std::string source();

  private:
    std::string read() const;

    std::optional<std::filesystem::path> resources_;
    std::mutex mutex_;
    std::optional<std::string> cached_;
};

}  // namespace parlendo
