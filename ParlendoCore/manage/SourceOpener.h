#pragma once

#include "foundation/Completion.h"
#include "manage/BridgeRoutes.h"
#include "manage/SystemOpening.h"

#include <functional>
#include <memory>
#include <string>

namespace parlendo {

// Opens the saved source of a word again: web pages and ordinary local documents only. Addresses
// that cannot be parsed, files that are gone, anything that could run (applications, scripts,
// installers, executables, packages, disk images) and every other kind of address are refused. A
// local address is judged by the path it resolves to (every link followed), and exactly that path
// is opened. An address no application takes has not been opened. Main executor; the file checks
// are synchronous and short.
class SourceOpener {
  public:
    enum class Outcome { opened, badURL, missing, runnable, unsupported, failed };

    // What the local address rules say of a non-web address.
    struct Local {
        enum class Verdict { open, unsupported, missing, runnable };
        Verdict verdict = Verdict::unsupported;
        std::string path;  // for `open`: the path the address resolves to, which was judged
        static Local open(std::string path) { return {Verdict::open, std::move(path)}; }
        static Local unsupported() { return {Verdict::unsupported, {}}; }
        static Local missing() { return {Verdict::missing, {}}; }
        static Local runnable() { return {Verdict::runnable, {}}; }
        bool operator==(const Local&) const = default;
    };
    using Judge = std::function<Local(const std::string& address)>;

    SourceOpener(std::shared_ptr<SystemOpening> system, Judge judge);

    // "available", "missing" or "unsupported" (web addresses included).
    std::string localStatus(const std::string& address) const;
    // The refusals answer at once; an address handed to the desktop answers once an application
    // took it (`opened`) or none did (`failed`), on the desktop's main thread.
    void open(const std::string& address, Completion<void(Outcome)> done) const;

  private:
    std::shared_ptr<SystemOpening> system_;
    Judge judge_;
};

// "opened", "open_bad_url", "open_missing", "open_runnable", "open_unsupported", "open_failed".
const char* toString(SourceOpener::Outcome outcome);

// The manage page's "local_pdf_status" and "open_url" calls. Main executor.
class SourceOpenRoutes final : public BridgeRoutes {
  public:
    explicit SourceOpenRoutes(std::shared_ptr<const SourceOpener> opener);

    std::map<std::string, BridgeEntry> routes() const override;

  private:
    std::shared_ptr<const SourceOpener> opener_;
};

}  // namespace parlendo
