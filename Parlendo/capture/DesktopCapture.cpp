#include "capture/DesktopCapture.h"

#include "capture/AtspiNode.h"
#include "foundation/Log.h"
#include "foundation/MainThreadCall.h"
#include "foundation/WorkerQueue.h"
#include "popups/GdkPopupScreens.h"

#include <unistd.h>

namespace parlendo {

namespace {

// Whether the window with the focus belongs to this process.
std::function<bool()> ownsFocus(std::shared_ptr<X11Windows> windows) {
    return [windows, pid = static_cast<std::int32_t>(::getpid())] {
        const auto active = windows->activeWindow();
        return active && windows->pid(*active) == std::optional<std::int32_t>(pid);
    };
}

// The monitors in card coordinates with the primary one's height, and where the primary
// monitor's top left lies in X screen coordinates.
struct ScreenLayout {
    ScreenFrames frames;
    double originX = 0;
    double originY = 0;
};

ScreenLayout screenLayout() {
    ScreenLayout out;
    GdkDisplay* display = gdk_display_get_default();
    if (display == nullptr) {
        return out;
    }
    // The primary monitor comes first.
    for (const auto& screen : GdkPopupScreens(display).screens()) {
        out.frames.frames.push_back(screen.frame);
    }
    if (out.frames.frames.empty()) {
        return out;
    }
    out.frames.primaryHeight = out.frames.frames.front().height;
    const auto origin = GdkPopupScreens::origin(display);
    out.originX = origin.left;
    out.originY = origin.bottom - out.frames.primaryHeight;
    return out;
}

}  // namespace

std::function<ScreenFrames()> DesktopCapture::screens(ExecutorPtr main) {
    return [main] {
        auto layout = callOnMain<ScreenLayout>(
            *main, AtspiSelectionReader::mainHopTimeout,
            [](Completion<void(ScreenLayout)> done) { done(screenLayout()); });
        if (!layout) {
            return ScreenFrames{};
        }
        AtspiNode::setScreenOrigin(layout->originX, layout->originY);
        return layout->frames;
    };
}

std::shared_ptr<DesktopCapture> DesktopCapture::build(ExecutorPtr main,
                                                      std::shared_ptr<Clock> clock) {
    auto windows = X11Windows::connect();
    auto counter = XFixesClipboardCounter::open();
    if (!windows || !counter) {
        Log::write("capture", "X 디스플레이에 연결하지 못함 — 캡처를 쓸 수 없음");
        return nullptr;
    }
    auto capture = std::make_shared<DesktopCapture>();
    capture->clock = clock;
    capture->fetchQueue = std::make_shared<GlibThreadQueue>("parlendo.selection-fetch");
    capture->trail = std::make_shared<SyntheticKeyTrail>();
    capture->input =
        X11InputSource::make({main, clock, capture->trail, ownsFocus(windows), std::string()});
    auto apps = std::make_shared<DesktopApps>(windows);
    // The installed applications are read ahead, at once and off the main thread, which names the
    // front application at the first chord: on the fetch queue the read would wait behind the
    // accessibility bus's start, and the chord would then read them itself.
    ThreadPool::global().post([apps] { apps->entries(); });
    capture->accessibility = AtspiAccessibility::make(
        capture->fetchQueue, capture->fetchQueue->context(), screens(main));
    capture->accessibility->start();
    capture->selection = std::make_shared<SelectionDesktop>();
    capture->selection->accessibility = capture->accessibility;
    capture->selection->windows = std::make_shared<EwmhWindows>(apps);
    capture->selection->clipboardCount = counter;
    capture->selection->keyboard = XTestKeyboard::open(capture->trail, clock);
    capture->selection->primary = X11PrimarySelection::open(windows);
    capture->selection->main = main;
    capture->selection->clock = clock;
    capture->documents = std::make_shared<DesktopDocuments>("/proc", RecentFiles::defaultPath());
    capture->trust = AccessibilityTrust::make(capture->input->available());
    capture->trust->start();
    return capture;
}

std::shared_ptr<TreeContextReader> DesktopCapture::contextReader() const {
    return std::make_shared<TreeContextReader>(selection->windows, accessibility, selection->clock,
                                               documents);
}

CaptureDesktop DesktopCapture::desktop(std::shared_ptr<PopupPresenting> popup,
                                       std::function<void(const std::string&, double)> show) {
    CaptureDesktop out;
    out.popup = std::move(popup);
    out.show = std::move(show);
    auto windows = selection->windows;
    out.readers.frontApplication = [windows] {
        return windows->frontmost();
    };
    out.readers.ownPid = static_cast<std::int32_t>(::getpid());
    out.readers.makeReader = [selection = selection](const RunningApplication& app) {
        return std::make_shared<AtspiSelectionReader>(selection, app);
    };
    out.readers.context = contextReader();
    out.fetchQueue = fetchQueue;
    out.clock = clock;
    out.trusted = [trust = trust] {
        return trust->trusted();
    };
    out.refreshTrust = [trust = trust](std::function<void()> done) {
        trust->refresh(std::move(done));
    };
    out.watchSystemNotice = [trust = trust](std::function<void()> onNotice) {
        trust->onSystemNotice = std::move(onNotice);
    };
    out.busEnded = [trust = trust, accessibility = accessibility] {
        return accessibility->closed() || trust->busReplaced();
    };
    out.restoreAccessibility = [accessibility = accessibility] {
        return AccessibleSelection::restoreAccessibility(*accessibility);
    };
    return out;
}

}  // namespace parlendo
