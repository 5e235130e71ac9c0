#include "aitalk/DesktopViewerProbe.h"

#include "capture/DesktopDocuments.h"
#include "foundation/Text.h"

namespace parlendo {

DesktopViewerProbe::DesktopViewerProbe(std::shared_ptr<AccessibilityPort> accessibility,
                                       std::shared_ptr<ContextReader> context,
                                       ExecutorPtr fetchQueue, ExecutorPtr main,
                                       std::shared_ptr<const MonotonicClock> clock)
    : fetchQueue_(std::move(fetchQueue)),
      main_(std::move(main)),
      clock_(clock ? std::move(clock) : SystemClock::shared()) {
    // The same reader of the desktop's records as a capture's window context.
    auto documents = std::make_shared<DesktopDocuments>("/proc", RecentFiles::defaultPath());
    probe_ = std::make_shared<ViewerProbe>(
        ViewerProbe::Ports{std::move(accessibility), std::move(context), clock_,
                           [documents](std::int32_t pid, const std::optional<std::string>& title) {
                               const auto found = documents->findViewed(pid, title);
                               return found ? ViewerProbe::filePath(found->url) : std::nullopt;
                           },
                           &DesktopViewerProbe::searchesArea});
}

bool DesktopViewerProbe::searchesArea(const std::optional<std::string>& bundleID) {
    if (!bundleID) {
        return false;
    }
    const std::string id = text::asciiLower(*bundleID);
    return id == "org.gnome.evince" || id == "evince" || id == "atril" || id == "org.mate.atril";
}

void DesktopViewerProbe::probe(std::optional<RunningApplication> app,
                               Completion<void(ViewerHints)> done) {
    if (!app) {
        done(ViewerHints{});
        return;
    }
    const double t0 = clock_->uptime();
    fetchQueue_->post([probe = probe_, clock = clock_, main = main_, app = *app, t0,
                       done = std::move(done)]() mutable {
        ViewerHints hints = probe->probe(app, t0);
        hints.ms = (clock->uptime() - t0) * 1000;
        main->post([hints = std::move(hints), done = std::move(done)]() mutable {
            done(std::move(hints));
        });
    });
}

}  // namespace parlendo
