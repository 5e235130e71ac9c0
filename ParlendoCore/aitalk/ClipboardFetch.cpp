#include "aitalk/ClipboardFetch.h"

#include "foundation/PyText.h"

namespace parlendo::ClipboardFetch {

namespace {

struct Fetch {
    std::shared_ptr<ClipboardSource> source;
    std::shared_ptr<SyntheticCopyLedger> ledger;
    std::int64_t baseline = 0;
    double wait = 0;
    double poll = 0;
    ExecutorPtr timers;
    Completion<void(Outcome)> done;
    double waited = 0;
};

void look(std::shared_ptr<Fetch> fetch) {
    const std::int64_t count = fetch->source->changeCount();
    const bool changed =
        count != fetch->baseline && !(fetch->ledger && fetch->ledger->isSynthetic(count));
    if (changed) {
        auto source = fetch->source;
        source->text([fetch](std::optional<std::string> text) {
            if (!text || PyText::strip(*text).empty()) {
                fetch->done(Unreadable{});
                return;
            }
            fetch->done(Text{std::move(*text), fetch->waited * 1000});
        });
        return;
    }
    if (fetch->waited >= fetch->wait || fetch->poll <= 0) {
        fetch->done(NoCopy{});
        return;
    }
    auto timers = fetch->timers;
    const double poll = fetch->poll;
    timers->postAfter(poll, [fetch] {
        fetch->waited += fetch->poll;
        look(fetch);
    });
}

}  // namespace

void run(std::shared_ptr<ClipboardSource> source, std::shared_ptr<SyntheticCopyLedger> ledger,
         std::int64_t baseline, double wait, double poll, ExecutorPtr timers,
         Completion<void(Outcome)> done) {
    auto fetch = std::make_shared<Fetch>();
    fetch->source = std::move(source);
    fetch->ledger = std::move(ledger);
    fetch->baseline = baseline;
    fetch->wait = wait;
    fetch->poll = poll;
    fetch->timers = std::move(timers);
    fetch->done = std::move(done);
    look(std::move(fetch));
}

}  // namespace parlendo::ClipboardFetch
