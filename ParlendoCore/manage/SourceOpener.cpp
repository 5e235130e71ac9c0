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

void SourceOpener::open(const std::string& address, Completion<void(Outcome)> done) const {
    auto shared = std::make_shared<Completion<void(Outcome)>>(std::move(done));
    const auto answer = [shared](bool opened) {
        (*shared)(opened ? Outcome::opened : Outcome::failed);
    };
    const std::string lower = text::asciiLower(address);
    if (text::startsWith(lower, "http://") || text::startsWith(lower, "https://")) {
        const std::optional<Url> url = Url::parse(address);
        if (!url || !url->host || url->host->empty()) {
            (*shared)(Outcome::badURL);
            return;
        }
        system_->open(address, answer);
        return;
    }
    const Local local = judge_(address);
    switch (local.verdict) {
        case Local::Verdict::open:
            system_->openPath(local.path, answer);
            return;
        case Local::Verdict::unsupported:
            (*shared)(Outcome::unsupported);
            return;
        case Local::Verdict::missing:
            (*shared)(Outcome::missing);
            return;
        case Local::Verdict::runnable:
            (*shared)(Outcome::runnable);
            return;
    }
    (*shared)(Outcome::unsupported);
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
        case SourceOpener::Outcome::failed:
            return "open_failed";
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
             opener->open(args.string(0),
                          [reply = std::move(reply)](SourceOpener::Outcome outcome) mutable {
                              if (outcome == SourceOpener::Outcome::opened) {
                                  reply(BridgeReply::ok(true));
                              } else {
                                  reply(BridgeReply::requestFailed(toString(outcome)));
                              }
                          });
         })},
    };
}

}  // namespace parlendo
