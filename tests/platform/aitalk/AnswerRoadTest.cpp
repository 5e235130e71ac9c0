#include "AITalkDesktop.h"
#include "FakeAuthAccess.h"
#include "FakeSession.h"
#include "LogCapture.h"
#include "StubBackend.h"
#include "TempDir.h"
#include "aitalk/AITalkSession.h"
#include "aitalk/AnswerWindow.h"
#include "aitalk/DriveAsk.h"
#include "aitalk/MathLib.h"
#include "foundation/AppBundle.h"
#include "foundation/FileIO.h"
#include "foundation/GlibMainExecutor.h"
#include "foundation/WorkerQueue.h"
#include "projects/FileBookmarks.h"
#include "server/CurlServerTransport.h"
#include "server/ServerClient.h"

#include <gtest/gtest.h>

namespace parlendo {
namespace {

using testing::AITalkDesktop;
using testing::StubAnswer;
using testing::StubBackend;

const std::string firstAnswer = R"(## 요점
뉴턴의 **제2법칙**은 $F = ma$ 입니다. 가격은 $5 또는 $10 이에요.

$$\int_0^1 x^2\,dx = \frac{1}{3}$$

- 힘은 *질량*과 가속도의 곱
- 단위는 $\mathrm{N}$

| 양 | 기호 |
|---|:-:|
| 힘 | $F$ |

```python
print("<b>코드</b>")
```
<img src=x onerror="window.__pwned=1"><script>window.__pwned=2</script>
[링크](javascript:window.__pwned=3))";

// The road of one question from the session to the window, with the answer from the loopback
// backend through a client over the data session.
struct AnswerRoad {
    AnswerRoad() {
        stub.on("GET", "/rest/v1/drive_popups",
                StubAnswer::json(200, R"([{"id":"pop-1","drive_id":"drv-1","name":"설명"}])"));
        stub.on("GET", "/rest/v1/drive_drives",
                StubAnswer::json(200, R"([{"id":"drv-1","kind":"study","name":"물리"}])"));
        stub.on(
            "POST", DriveAsk::askPath,
            StubAnswer::json(
                200, Json{{"status", "ok"}, {"answer", firstAnswer}, {"thread_id", "t-1"}}.dump()));
        stub.on("POST", DriveAsk::askPath,
                StubAnswer::json(200, R"({"status":"ok","answer":"이어진 답: $a^2+b^2=c^2$"})"));
        auto transport = std::make_shared<CurlServerTransport>(
            stub.baseURL(),
            std::make_shared<CurlSession>(ServerSessions::data(), StubBackend::caFile()),
            std::nullopt, "parlendo-mac/0.2.0");
        auto client = std::make_shared<ServerClient>(transport, auth, "anon-key",
                                                     ServerClient::deliverOn(main), true);
        auto drive = std::make_shared<DriveService>(
            client, std::make_shared<testing::FakeSession>("user-1"),
            std::make_shared<DriveLocalStore>(dir.path()),
            std::make_shared<PageCopyStore>(dir.path()),
            std::make_shared<FileBookmarks>(dir.path() / "Trash"), nullptr, std::nullopt,
            DriveService::Runtime{work, main, SystemClock::shared()});
        ask = std::make_shared<DriveAsk>(client, drive, "0.2.0", SystemClock::shared());
        const auto page =
            fileio::readFile(AppBundle::main().resourceDirectory / "ai_popup_web.html");
        window = AnswerWindow::make(AnswerPage::build(page, ThemeMode::light),
                                    MathLib(AppBundle::main().resourceDirectory).source(),
                                    ThemeMode::light, main, clock);
        session = std::make_shared<AITalkSession>(
            ask, window, [this](const std::string& text) { notices.push_back(text); },
            [](std::string, ActivePopup, Completion<void(std::optional<PageHint>)> done) {
                done(PageHint{"DOC-1", 2});
            });
        window->onFollowup = [this](const std::string& text) {
            session->followup(text);
        };
        window->onClose = [this](const std::string& reason) {
            session->close(reason);
        };
    }

    std::optional<Json> evaluate(const std::string& script) {
        std::optional<std::optional<Json>> out;
        window->evaluate(script, [&](std::optional<Json> value) { out = std::move(value); });
        AITalkDesktop::pumpUntil([&] { return out.has_value(); });
        return out.value_or(std::nullopt);
    }
    // The point of a widget on the root window.
    std::pair<int, int> rootPoint(GtkWidget* widget, int dx, int dy) {
        int x = 0;
        int y = 0;
        gtk_widget_translate_coordinates(widget, window->parts().window, dx, dy, &x, &y);
        return {window->frame().x + x, window->frame().y + y};
    }

    testing::LogCapture log;
    std::shared_ptr<GlibMainExecutor> main = std::make_shared<GlibMainExecutor>();
    std::shared_ptr<WorkerQueue> work = std::make_shared<WorkerQueue>("test.work", 1);
    std::shared_ptr<testing::ManualUptime> clock = std::make_shared<testing::ManualUptime>();
    std::shared_ptr<testing::FakeAuthAccess> auth = std::make_shared<testing::FakeAuthAccess>();
    StubBackend stub;
    testing::TempDir dir;
    std::shared_ptr<DriveAsk> ask;
    std::shared_ptr<AnswerWindow> window;
    std::shared_ptr<AITalkSession> session;
    std::vector<std::string> notices;
};

class AnswerRoadTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!AITalkDesktop::available()) {
            GTEST_SKIP() << "no X display";
        }
        AITalkDesktop::ensure();
        AITalkDesktop::pointerTo(5, 5);
    }
};

TEST_F(AnswerRoadTest, TheAnswerIsRenderedTakesAFollowUpCountsDownAndCloses) {
    AnswerRoad road;
    ASSERT_TRUE(AITalkDesktop::pumpUntil([&] { return road.window->pageReady(); }, 30));
    road.session->start("Newton's second law relates force and acceleration");
    ASSERT_TRUE(AITalkDesktop::pumpUntil(
        [&] { return road.session->state().phase == AnswerState::Phase::answered; }, 30))
        << road.log.all();
    ASSERT_TRUE(road.window->isVisible());
    EXPECT_TRUE(road.log.contains("ai_talk", "답 창 준비 renderer=windows_md math=true"));

    // The question went out with the page, the document id in lower case.
    const auto asked = json::parse(road.stub.requests().back().body);
    ASSERT_TRUE(asked);
    EXPECT_EQ((*asked)["document_id"], "doc-1");
    EXPECT_EQ((*asked)["page_no"], 2);
    EXPECT_EQ((*asked)["mode"], "document");

    // Markdown, tables and mathematics are drawn; the answer's markup and script stay text.
    ASSERT_TRUE(AITalkDesktop::pumpUntil([&] {
        auto n = road.evaluate("document.querySelectorAll('#thread math').length");
        return n && n->get<int>() >= 4;
    }));
    EXPECT_EQ(road.evaluate("document.querySelectorAll('#thread h2, #thread table, #thread pre, "
                            "#thread li').length"),
              Json(5));
    EXPECT_EQ(road.evaluate("typeof window.__pwned"), Json("undefined"));
    EXPECT_EQ(road.evaluate("document.querySelectorAll('#thread img, #thread script, "
                            "#thread [onerror], #thread a[href]').length"),
              Json(0));
    EXPECT_EQ(road.evaluate("document.querySelector('#thread pre code').textContent"),
              Json("print(\"<b>코드</b>\")"));
    EXPECT_EQ(road.evaluate("document.querySelectorAll('#thread .tex-raw').length"), Json(0));
    AITalkDesktop::pumpFor(0.5);
    const GdkRectangle frame = road.window->frame();
    EXPECT_GT(frame.height, AnswerLayout::minHeight) << "the window grew with the answer";
    EXPECT_EQ(frame.x + frame.width, 1920 - 16);
    EXPECT_EQ(frame.y, 24);
    // The page and the controls below it fill the window.
    EXPECT_EQ(gtk_widget_get_allocated_height(GTK_WIDGET(road.window->parts().webView)) + 8 +
                  gtk_widget_get_allocated_height(road.window->parts().bottom) + 16,
              frame.height);
    EXPECT_GT(testing::saveScreenshot(frame, AITalkDesktop::outputPath("answer-light.png")), 1000);

    // A follow-up typed into the input and sent with Return.
    ASSERT_TRUE(road.window->state().canAsk());
    const auto [ix, iy] = road.rootPoint(road.window->parts().input, 20, 10);
    AITalkDesktop::clickAt(ix, iy);
    ASSERT_TRUE(
        AITalkDesktop::pumpUntil([&] { return gtk_widget_has_focus(road.window->parts().input); }));
    AITalkDesktop::type("why so");
    EXPECT_EQ(road.window->inputText(), "why so");
    AITalkDesktop::chord({"Return"});
    ASSERT_TRUE(
        AITalkDesktop::pumpUntil([&] { return road.session->state().turns.size() == 3; }, 30));
    EXPECT_EQ(road.session->state().turns[1].text, "why so");
    EXPECT_EQ(road.window->inputText(), "");
    const auto followup = json::parse(road.stub.requests().back().body);
    EXPECT_EQ((*followup)["thread_id"], "t-1");
    EXPECT_EQ((*followup)["message"], "why so");
    ASSERT_TRUE(AITalkDesktop::pumpUntil([&] {
        auto n = road.evaluate("document.querySelectorAll('#thread .turn math').length");
        return n && n->get<int>() >= 1;
    }));
    EXPECT_DOUBLE_EQ(road.window->countdown().remaining, AnswerCountdown::total)
        << "the follow-up answer gives ten seconds again";

    // Away from the pointer, the countdown runs out and the window closes.
    AITalkDesktop::pointerTo(5, 5);
    AITalkDesktop::pumpFor(0.3);
    road.clock->advance(4.0);
    ASSERT_TRUE(AITalkDesktop::pumpUntil([&] { return road.window->ringFraction() < 0.7; }, 5));
    EXPECT_FALSE(road.window->ringPaused());
    road.clock->advance(7.0);
    ASSERT_TRUE(AITalkDesktop::pumpUntil([&] { return !road.window->isVisible(); }, 5));
    EXPECT_FALSE(road.session->isOpen());
    EXPECT_TRUE(road.log.contains("ai_talk", "창 닫힘 sid=1 reason=timer waiting=false"));
}

}  // namespace
}  // namespace parlendo
