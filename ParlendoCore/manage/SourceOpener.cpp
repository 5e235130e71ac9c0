#include "manage/SourceOpener.h"

#include "foundation/Text.h"
#include "foundation/Url.h"

namespace parlendo {

SourceOpener::SourceOpener(std::shared_ptr<SystemOpening> system, Judge judge)
    : system_(std::move(system)), judge_(std::move(judge)) {}

std::string SourceOpener::localStatus(const std::string& address) const {
    switch (judge_(address).verdict) {
        case Local::Verdict::open:
            return "available";
        case Local::Verdict::missing:
            return "missing";
        case Local::Verdict::unsupported:
        case Local::Verdict::runnable:
            return "unsupported";
    }
    return "unsupported";
}

SourceOpener::Outcome SourceOpener::open(const std::string& address) const {
    const std::string lower = text::asciiLower(address);
    if (text::startsWith(lower, "http://") || text::startsWith(lower, "https://")) {
        const std::optional<Url> url = Url::parse(address);
        if (!url || !url->host || url->host->empty()) {
            return Outcome::badURL;
        }
        system_->open(address);
        return Outcome::opened;
    }
    const Local local = judge_(address);
    switch (local.verdict) {
        case Local::Verdict::open:
            system_->openPath(local.path);
            return Outcome::opened;
        case Local::Verdict::unsupported:
            return Outcome::unsupported;
        case Local::Verdict::missing:
            return Outcome::missing;
        case Local::Verdict::runnable:
            return Outcome::runnable;
    }
    return Outcome::unsupported;
}

const char* toString(SourceOpener::Outcome outcome) {
    switch (outcome) {
        case SourceOpener::Outcome::opened:
            return "opened";
        case SourceOpener::Outcome::badURL:
            return "open_bad_url";
        case SourceOpener::Outcome::missing:
            return "open_missing";
        case SourceOpener::Outcome::runnable:
            return "open_runnable";
        case SourceOpener::Outcome::unsupported:
            return "open_unsupported";
    }
    return "open_unsupported";
}

SourceOpenRoutes::SourceOpenRoutes(std::shared_ptr<const SourceOpener> opener)
    : opener_(std::move(opener)) {}

std::map<std::string, BridgeEntry> SourceOpenRoutes::routes() const {
    auto opener = opener_;
    return {
        {"local_pdf_status", BridgeEntry::implemented([opener](const BridgeArgs& args, auto reply) {
             reply(BridgeReply::ok(Json{{"status", opener->localStatus(args.string(0))}}));
         })},
        {"open_url", BridgeEntry::implemented([opener](const BridgeArgs& args, auto reply) {
             const SourceOpener::Outcome outcome = opener->open(args.string(0));
             if (outcome == SourceOpener::Outcome::opened) {
                 reply(BridgeReply::ok(true));
             } else {
                 reply(BridgeReply::requestFailed(toString(outcome)));
             }
         })},
    };
}

}  // namespace parlendo
