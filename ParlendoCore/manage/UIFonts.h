#pragma once

#include "foundation/Completion.h"
#include "foundation/Executor.h"
#include "foundation/Json.h"

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace parlendo {

// The web fonts shipped with the program, handed to the manage page inline so that it renders
// Korean without relying on the fonts of the system. The list "vendor/fonts.json" in the resource
// folder names each font file (inside "vendor"), its family, weight and optional style; each
// usable entry becomes {"family", "weight", "style", "format", "data": base64}. Read anew on every
// call; any thread.
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

// The fonts as the manage page gets them: read once, on a worker, the first time they are asked
// for (megabytes of files and their base64 would hold the main loop up on every page load), and
// kept for the run, since they ship with the program. Asked and answered on the main executor;
// asks made while the read runs wait for it.
class SharedUIFonts : public std::enable_shared_from_this<SharedUIFonts> {
  public:
    using Read = std::shared_ptr<const UIFonts::Loaded>;

    SharedUIFonts(std::shared_ptr<const UIFonts> fonts, ExecutorPtr work, ExecutorPtr main);

    void read(Completion<void(Read)> done);

  private:
    std::shared_ptr<const UIFonts> fonts_;
    ExecutorPtr work_;
    ExecutorPtr main_;
    Read loaded_;
    std::vector<Completion<void(Read)>> waiting_;
};

}  // namespace parlendo
