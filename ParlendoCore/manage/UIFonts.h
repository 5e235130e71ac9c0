#pragma once

#include "foundation/Json.h"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace parlendo {

// The web fonts shipped with the program, handed to the manage page inline so that it renders
// Korean without relying on the fonts of the system. The list "vendor/fonts.json" in the resource
// folder names each font file (inside "vendor"), its family, weight and optional style; each
// usable entry becomes {"family", "weight", "style", "format", "data": base64}. Read anew on every
// call. Main executor.
class UIFonts {
  public:
    static constexpr const char* listPath = "vendor/fonts.json";

    struct Loaded {
        std::vector<Json> fonts;
        size_t bytes = 0;  // total size of the font files read
    };

    explicit UIFonts(std::optional<std::filesystem::path> resources);

    // Any problem with the list gives no fonts; a bad entry or unreadable file costs that entry.
    Loaded load() const;

    // The parts of an accepted font path: a string "vendor/…" whose parts are all non-empty, not
    // "." or "..", and hold neither "\" nor ":".
    static std::optional<std::vector<std::string>> vendorParts(const Json* value);

  private:
    std::optional<std::filesystem::path> resources_;
};

}  // namespace parlendo
