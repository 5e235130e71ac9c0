#pragma once

#include "FakeSession.h"
#include "StubBackend.h"
#include "capture/CaptureCoordinator.h"
#include "capture/DesktopCapture.h"
#include "foundation/GlibMainExecutor.h"
#include "popups/MeaningPopup.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace parlendo::testing {

// The whole capture on the test's X display as the program runs it: the X11 input watch behind
// the input hub, the accessibility, window and clipboard readers, the card windows and the
// capture coordinator. Every server call goes over curl to a loopback stub backend that answers
// like the server: three popup settings ("단어" and "뜻만" for words, "문장" for sentences, each
// shown for two seconds), the dictionary (which knows `knownWord`), translation, sources, word
// and sentence saves. Built and used on the main thread, after DesktopSession::ensure().
class CaptureDesk {
  public:
    static constexpr const char* knownWord = "serendipity";
    static constexpr const char* translation = "재빠른 갈색 여우가 게으른 개를 뛰어넘는다.";

    struct Options {
        // Whether the popup settings save what they show.
        bool save = true;
        // Puts something between the pipeline and the card presenter (to watch it).
        std::function<std::shared_ptr<PopupPresenting>(std::shared_ptr<PopupPresenting>)> wrap;
    };

    CaptureDesk();
    explicit CaptureDesk(Options options);
    ~CaptureDesk();
    CaptureDesk(const CaptureDesk&) = delete;
    CaptureDesk& operator=(const CaptureDesk&) = delete;

    // Whether the X display could be reached.
    bool ready() const { return capture != nullptr; }

    // Starts the coordinator and the input watch, signs in and switches detection on, then
    // runs the main loop until the popup settings are read; whether they were.
    bool start();

    // Whether the front application's selection reads through the accessibility bus now (on
    // the fetch queue).
    bool readsSelection();
    // Lets the front application see a key press and waits until its selection reads through
    // the accessibility bus. The first key of a desktop session and the first read of an
    // application cost the bus a second or more: a user's first capture pays that once, a test
    // that measures placement or time must not.
    bool warmUp();
    // How long the bus client has known the application of process `pid`, in seconds; none
    // while it knows no such application (on the fetch queue). The client lets an application it
    // met less than two seconds ago take its time over every call, so a test of the read budgets
    // waits until the application it stops is past that.
    std::optional<double> knownFor(int pid);
    // Holds Alt and Control through XTest and lets go of both, as the user's keyboard would.
    static void chord();
    // Runs the main loop until the lookup chord's fetch has ended (at most `seconds`).
    bool waitUntilIdle(double seconds = 10);

    // The requests with this method and path that the stub received.
    std::vector<StubRequest> requests(const std::string& method, const std::string& path) const;

    StubBackend stub;
    std::shared_ptr<GlibMainExecutor> main = std::make_shared<GlibMainExecutor>();
    std::shared_ptr<FakeSession> session = std::make_shared<FakeSession>("user-1");
    std::shared_ptr<DesktopCapture> capture;
    std::shared_ptr<AppEnvironment> env;
    std::shared_ptr<MeaningPopup> popup;
    std::shared_ptr<CaptureCoordinator> coordinator;

  private:
    void answerLikeTheServer(bool save);
};

// The longest time the main loop went without running a 5 ms timer, from its first run on: what
// a user would feel as a stall of the desktop's windows. Main thread; meaningful while the test
// keeps the main loop running.
class MainLoopWatch {
  public:
    MainLoopWatch();
    ~MainLoopWatch();
    MainLoopWatch(const MainLoopWatch&) = delete;
    MainLoopWatch& operator=(const MainLoopWatch&) = delete;

    double longestGap() const;

  private:
    struct State;
    std::unique_ptr<State> state_;
    unsigned source_ = 0;
};

}  // namespace parlendo::testing
