#include "capture/CaptureController.h"

#include "CaptureRig.h"
#include "LogCapture.h"
#include "capture/CaptureCopy.h"

#include <gtest/gtest.h>

namespace parlendo {
namespace {

using testing::CaptureQueues;
using testing::CaptureRig;
using testing::LogCapture;

const RunningApplication editor{4242, std::string("org.gnome.TextEditor")};

class RecordingSink final : public CaptureSink {
  public:
    CaptureStarted begin(const CaptureSnapshot& snapshot, const PopupAnchor& anchor) override {
        snapshots.push_back(snapshot);
        anchors.push_back(anchor);
        return CaptureStarted{snapshot, {CaptureKind::Word{snapshot.text}}, {}, {}, {}, popups,
                              notice};
    }
    void complete(CaptureStarted started, Task done) override {
        EXPECT_EQ(started.snapshot, snapshots.back());
        EXPECT_FALSE(done);
        ++completed;
    }
    std::vector<CaptureSnapshot> snapshots;
    std::vector<PopupAnchor> anchors;
    int popups = 2;
    std::optional<CaptureNotice> notice;
    int completed = 0;
};

// The capture road from raw key events to the sink: input hub, lookup chord, controller, the
// selection fetch over a fake clipboard, all on a fake clock.
struct CaptureControllerTest : ::testing::Test, CaptureQueues, CaptureRig {
    CaptureControllerTest() : CaptureRig(static_cast<const CaptureQueues&>(*this)) {
        context->title = "notes.txt";
        reader->window = context->identity(editor);
        front = editor;
        start(dependencies(sink));
        controller->onRejected = [this](bool busy) {
            rejections.push_back(busy);
        };
    }

    void advanceTo(double uptime) { clock->advance(uptime - clock->uptime()); }

    std::shared_ptr<RecordingSink> sink = std::make_shared<RecordingSink>();
    std::vector<bool> rejections;
    LogCapture log;
};

TEST_F(CaptureControllerTest, DirectReadOpensCardsAtTheSelection) {
    reader->direct = DirectSelection{"word", "selected_text"};
    reader->bounds = SelectionBoundsRead{PopupRect{10, 20, 30, 12}, "marker"};
    chord();
    EXPECT_TRUE(controller->fetching());
    EXPECT_EQ(captures, 1);
    clock->advance(0);

    EXPECT_FALSE(controller->fetching());
    ASSERT_EQ(sink->snapshots.size(), 1u);
    const auto& snapshot = sink->snapshots[0];
    EXPECT_EQ(snapshot.text, "word");
    EXPECT_EQ(snapshot.window, context->identity(editor));
    EXPECT_EQ(snapshot.title, "notes.txt");
    EXPECT_EQ(snapshot.capturedAt, clock->now());
    EXPECT_EQ(sink->anchors[0], PopupAnchor::selection(PopupRect{10, 20, 30, 12}));
    EXPECT_EQ(sink->completed, 1);
    EXPECT_EQ(reader->copies, 0);
    EXPECT_EQ(log.messages("timing"),
              std::vector<std::string>{
                  "lookup_key stage=direct method=selected_text app=org.gnome.TextEditor "
                  "popups=2 key_to_popup_ms=0 len=4 context_ms=0 anchor=marker bounds_ms=0"});
    EXPECT_TRUE(notices.empty());
    EXPECT_TRUE(rejections.empty());
}

TEST_F(CaptureControllerTest, DirectReadWithoutBoundsOpensAtTheMouse) {
    reader->direct = DirectSelection{"a sentence here", "text_marker_range"};
    chord();
    clock->advance(0);
    ASSERT_EQ(sink->anchors.size(), 1u);
    EXPECT_EQ(sink->anchors[0], PopupAnchor::mouse());
    const auto line = log.messages("timing").at(0);
    EXPECT_TRUE(line.ends_with("anchor=mouse(no_bounds) bounds_ms=0")) << line;
}

TEST_F(CaptureControllerTest, CopiedTextOpensAtTheMouseWithoutBoundsSearch) {
    reader->copiesAfter(0.05, "copied");
    chord();
    const double released = clock->uptime();
    clock->advance(0.1);
    ASSERT_EQ(sink->snapshots.size(), 1u);
    EXPECT_EQ(sink->snapshots[0].text, "copied");
    EXPECT_EQ(sink->anchors[0], PopupAnchor::mouse());
    EXPECT_EQ(reader->boundsReads, 0);
    EXPECT_EQ(pasteboard->text(), "the user's clipboard");
    EXPECT_TRUE(log.has("capture",
                        "대신 복사 사용 app=org.gnome.TextEditor outcome=ok "
                        "copy_wait_ms=50"));
    EXPECT_EQ(log.messages("timing"),
              std::vector<std::string>{
                  "lookup_key stage=copy method=synthetic_copy app=org.gnome.TextEditor "
                  "popups=2 key_to_popup_ms=50 len=6 copy_wait_ms=50 context_ms=0 anchor=mouse"});
    EXPECT_LT(released, clock->uptime());
}

TEST_F(CaptureControllerTest, SecondChordDuringAFetchIsRefusedAsBusy) {
    reader->copiesAfter(0.2, "copied");
    chord();
    clock->advance(0.1);
    chord();
    EXPECT_EQ(rejections, std::vector<bool>{true});
    EXPECT_TRUE(log.has("capture", "찾기 키 무시 — 앞의 가져오기가 끝나지 않음"));
    EXPECT_EQ(captures, 1);
    clock->advance(0.2);
    EXPECT_EQ(sink->snapshots.size(), 1u);

    // Idle again: the next chord is taken.
    reader->direct = DirectSelection{"next", "selected_text"};
    chord();
    clock->advance(0);
    EXPECT_EQ(sink->snapshots.size(), 2u);
    EXPECT_EQ(rejections, std::vector<bool>{true});
}

TEST_F(CaptureControllerTest, CopyThatNeverLandsTellsTheUserAndChecksLater) {
    chord();
    clock->advance(0.5);
    EXPECT_TRUE(sink->snapshots.empty());
    EXPECT_FALSE(controller->fetching());
    EXPECT_EQ(notices, std::vector<std::string>{"선택한 글이 없어요"});
    EXPECT_EQ(rejections, std::vector<bool>{false});
    EXPECT_TRUE(log.has("capture", "대신 복사 사용 app=org.gnome.TextEditor outcome=no_copy"));
    EXPECT_FALSE(
        log.startingWith("capture", "못 가져옴 reason=no_selection app=org.gnome.TextEditor ms=4")
            .empty());

    // Nothing arrived by the late check: the clipboard is not touched.
    clock->advance(1.0);
    EXPECT_EQ(reader->restores, 0);
    EXPECT_TRUE(log.startingWith("capture", "늦게 도착한").empty());
    EXPECT_EQ(pasteboard->text(), "the user's clipboard");
}

TEST_F(CaptureControllerTest, LateCopyIsCleanedUpASecondLater) {
    reader->copiesAfter(0.6, "late");
    chord();
    clock->advance(0.7);
    EXPECT_EQ(notices, std::vector<std::string>{"선택한 글이 없어요"});
    EXPECT_EQ(pasteboard->text(), "late");
    clock->advance(1.0);
    EXPECT_EQ(pasteboard->text(), "the user's clipboard");
    EXPECT_TRUE(
        log.has("capture", "늦게 도착한 대신 복사 — 클립보드를 되돌림 app=org.gnome.TextEditor"));
    EXPECT_TRUE(ledger->isSynthetic(pasteboard->changeCount()));
}

TEST_F(CaptureControllerTest, LateCheckWaitsForTheFetchInProgress) {
    // The first copy never lands in time; it arrives while the second fetch waits for its own.
    chord();
    clock->advance(0.45);
    ASSERT_EQ(notices.size(), 1u);
    const double lateCheck = noticeAt + 1.0;

    reader->onCopy = nullptr;
    const double second = lateCheck - 0.1 + 0.0025;  // a poll falls 2.5 ms after the check
    advanceTo(second);
    reader->copiesAfter(lateCheck - 0.001 - second, "second copy");
    chord();
    clock->advance(0.2);

    // Run in between, the late check would have restored the clipboard before the poll saw the
    // second copy, and the user's old text would have been captured.
    ASSERT_EQ(sink->snapshots.size(), 1u);
    EXPECT_EQ(sink->snapshots[0].text, "second copy");
    EXPECT_EQ(pasteboard->text(), "the user's clipboard");
}

TEST_F(CaptureControllerTest, DetectionSwitchedOffDuringTheFetchDropsTheText) {
    reader->copiesAfter(0.1, "copied");
    chord();
    clock->advance(0.05);
    controller->setEnabled(false);
    clock->advance(0.1);
    EXPECT_TRUE(sink->snapshots.empty());
    EXPECT_TRUE(log.has("capture", "가져온 글 버림 — 그 사이 감지가 꺼짐"));
    EXPECT_TRUE(log.messages("timing").empty());
    EXPECT_EQ(pasteboard->text(), "the user's clipboard");
}

TEST_F(CaptureControllerTest, RefusedChords) {
    controller->setEnabled(false);
    chord();
    front.reset();
    controller->setEnabled(true);
    chord();
    front = RunningApplication{ownPid, std::string("parlendo")};
    chord();
    clock->advance(1);
    EXPECT_EQ(captures, 0);
    EXPECT_EQ(context->reads, 0);
    EXPECT_TRUE(rejections.empty());
    EXPECT_EQ(log.messages("capture"),
              (std::vector<std::string>{"찾기 키 무시 — 감지 꺼짐", "찾기 키 무시 — 앞 앱 없음",
                                        "찾기 키 무시 — PARLENDO 자기 창"}));
}

TEST_F(CaptureControllerTest, UnreadableAndWindowChangedCopies) {
    reader->onCopy = [this] {
        clock->schedule(clock->uptime() + 0.02, [this] { pasteboard->copyImage(); });
    };
    chord();
    clock->advance(0.1);
    EXPECT_EQ(notices, std::vector<std::string>{"이 글은 읽을 수 없어요"});
    EXPECT_TRUE(log.has("capture", "대신 복사 사용 app=org.gnome.TextEditor outcome=no_text"));

    reader->onCopy = [this] {
        clock->schedule(clock->uptime() + 0.02, [this] {
            pasteboard->copyText("copied");
            reader->window->title = "elsewhere";
        });
    };
    chord();
    clock->advance(0.1);
    EXPECT_EQ(notices.size(), 1u);  // dropped silently
    EXPECT_TRUE(log.has("capture",
                        "가져온 글 버림 — 가져오는 사이 앞 창이 바뀜 "
                        "app=org.gnome.TextEditor"));
    EXPECT_EQ(rejections, (std::vector<bool>{false, false}));
    EXPECT_TRUE(sink->snapshots.empty());
}

TEST_F(CaptureControllerTest, ThePrimarySelectionOpensAtTheMouseAndRefusedCopiesSayWhy) {
    reader->primary = "moment";
    chord();
    clock->advance(0.1);
    ASSERT_EQ(sink->snapshots.size(), 1u);
    EXPECT_EQ(sink->snapshots[0].text, "moment");
    EXPECT_EQ(sink->anchors[0], PopupAnchor::mouse());
    EXPECT_EQ(reader->boundsReads, 0);
    EXPECT_EQ(reader->copies, 0);
    EXPECT_EQ(log.messages("timing"),
              std::vector<std::string>{
                  "lookup_key stage=primary method=primary_selection app=org.gnome.TextEditor "
                  "popups=2 key_to_popup_ms=0 len=6 context_ms=0 anchor=mouse"});

    reader->primary.reset();
    reader->copyKeySent = false;
    chord();
    clock->advance(0.1);
    reader->copyKeySent = true;
    reader->saveAnswers = false;
    chord();
    clock->advance(0.1);
    EXPECT_EQ(notices, (std::vector<std::string>{"선택한 글이 없어요",
                                                 std::string(CaptureCopy::clipboardNotSaved)}));
    EXPECT_TRUE(log.has("capture", "못 가져옴 reason=copy_not_sent app=org.gnome.TextEditor ms=0"));
    EXPECT_TRUE(
        log.has("capture", "못 가져옴 reason=clipboard_not_saved app=org.gnome.TextEditor ms=0"));
    EXPECT_EQ(rejections, (std::vector<bool>{false, false}));
    EXPECT_EQ(pasteboard->text(), "the user's clipboard");
}

TEST_F(CaptureControllerTest, ShowsTheSinksSkipNotice) {
    sink->popups = 0;
    sink->notice = CaptureNotice::notEnglish;
    reader->direct = DirectSelection{"안녕", "selected_text"};
    context->title.reset();
    reader->window = context->identity(editor);
    chord();
    clock->advance(0);
    EXPECT_EQ(notices, std::vector<std::string>{"영어 단어나 문장이 아니라서 찾지 않았어요"});
    EXPECT_TRUE(log.has("capture", "버림 안내 reason=not_english"));
    EXPECT_FALSE(log.startingWith("timing",
                                  "lookup_key stage=direct method=selected_text "
                                  "app=org.gnome.TextEditor popups=0 "
                                  "key_to_popup_ms=0 len=2 ")
                     .empty());
}

TEST_F(CaptureControllerTest, FetchOutlivingTheControllerDoesNothing) {
    reader->direct = DirectSelection{"word", "selected_text"};
    chord();
    controller.reset();
    clock->advance(0);
    EXPECT_EQ(context->reads, 0);
    EXPECT_TRUE(sink->snapshots.empty());
}

}  // namespace
}  // namespace parlendo
