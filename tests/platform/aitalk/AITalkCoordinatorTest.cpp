#include "FakeAccessibility.h"
#include "FakeAuthTransport.h"
#include "FakeInputSource.h"
#include "FakeSelectionReader.h"
#include "FakeSessionStore.h"
#include "FileOpens.h"
#include "HeldThreads.h"
#include "LogCapture.h"
#include "ManualExecutor.h"
#include "StubBackend.h"
#include "TempDir.h"
#include "aitalk/AITalkCoordinator.h"
#include "aitalk/AITalkText.h"
#include "aitalk/AnswerWindow.h"
#include "auth/AccountLocalData.h"
#include "foundation/AppBundle.h"
#include "foundation/GlibMainExecutor.h"
#include "foundation/GlibThreadQueue.h"
#include "foundation/SHA256.h"
#include "foundation/WorkerQueue.h"
#include "projects/FileBookmarks.h"
#include "projects/PageCopyStore.h"
#include "server/CurlServerTransport.h"

// Last: it brings in X11, whose macros clash with names of the headers above.
#include "AITalkDesktop.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace parlendo {
namespace {

namespace fs = std::filesystem;
using testing::AITalkDesktop;
using testing::StubAnswer;
using testing::StubBackend;

const std::vector<std::string> pages = {
    "The first page introduces the course and its reading list.",
    "Newton's second law states that the net force on a body equals its mass times its "
    "acceleration, F = ma, for a body of constant mass.",
    "The third page is about energy."};

std::string joined() {
    std::string out;
    for (size_t i = 0; i < pages.size(); ++i) {
        out += (i ? "\f" : "") + pages[i];
    }
    return out;
}

class RecordingOpener final : public SystemOpening {
  public:
    void open(const std::string& url) override { opened.push_back(url); }
    void openPath(const std::string& path) override { opened.push_back(path); }
    std::vector<std::string> opened;
};

// The coordinator over an environment of the shared services: the data client talks to the
// loopback backend, the account signs in through a fake auth service, the
// input watch is a fake, and the viewer is a scripted accessibility tree.
struct CoordinatorTest : ::testing::Test {
    void SetUp() override {
        if (!AITalkDesktop::available()) {
            GTEST_SKIP() << "no X display";
        }
        AITalkDesktop::ensure();
        const std::string sha = SHA256::hex(joined());
        stub.on("GET", "/rest/v1/drive_popups",
                StubAnswer::json(200, R"([{"id":"pop-1","drive_id":"drv-1","name":"설명"}])"));
        stub.on("GET", "/rest/v1/drive_drives",
                StubAnswer::json(200, R"([{"id":"drv-1","kind":"study","name":"물리"}])"));
        const std::string rows = Json::array({Json{{"id", "doc-1"},
                                                   {"drive_id", "drv-1"},
                                                   {"file_name", "mechanics.pdf"},
                                                   {"text_sha256", sha},
                                                   {"page_count", 3},
                                                   {"status", "ready"},
                                                   {"created_at", "2024-03-01"}}})
                                     .dump();
        // Paged reads end at an empty page; the trash is empty.
        stub.on("GET", "/rest/v1/drive_documents",
                StubAnswer::from(200, [rows](const testing::StubRequest& request) -> std::string {
                    const bool later = request.query.find("offset=") != std::string::npos &&
                                       request.query.find("offset=0") == std::string::npos;
                    const bool trash = request.query.find("not.is.null") != std::string::npos;
                    return later || trash ? "[]" : rows;
                }));
        stub.on("POST", DriveAsk::askPath,
                StubAnswer::json(
                    200, R"({"status":"ok","answer":"힘은 $F=ma$ 예요.","thread_id":"t-1"})"));

        auto auth = std::make_shared<testing::FakeAuthTransport>();
        auth->answerSignIn(AuthSessionResult(testing::testSession("user-1")));
        auto dataSession =
            std::make_shared<CurlSession>(ServerSessions::data(), StubBackend::caFile());
        AppEnvironment::Parts parts;
        parts.config.supabaseURL = stub.baseURL();
        parts.config.publicKey = "anon-key";
        parts.appVersion = "0.2.0";
        parts.main = main;
        parts.background = work;
        parts.clock = SystemClock::shared();
        parts.systemTheme = [] {
            return ThemeMode::light;
        };
        parts.inputSource = std::make_shared<testing::FakeInputSource>();
        parts.authTransport = [auth](std::shared_ptr<ServerGate>) {
            return AppEnvironment::Parts::Auth{auth, nullptr};
        };
        parts.watchNetwork = [](std::shared_ptr<NetState>) {
        };
        parts.serverTransport = std::make_shared<CurlServerTransport>(
            stub.baseURL(), dataSession, std::nullopt, "parlendo-mac/0.2.0");
        parts.sessionStore = std::make_shared<testing::FakeSessionStore>();
        env = AppEnvironment::build(std::move(parts));
        env->main = main;
        env->notice = [this](const std::string& text, double seconds) {
            notices.emplace_back(text, seconds);
        };
        env->openManage = [this] {
            ++manageOpened;
        };

        port->window = viewerWindow;
        AITalkPlatform platform;
        platform.main = main;
        platform.makeWindow = &AnswerWindow::makeInSteps;
        platform.work = platformWork ? platformWork : work;
        platform.fetchQueue = fetch;
        platform.accessibility = port;
        platform.context = std::make_shared<testing::FakeContextReader>();
        platform.frontApplication = [this] {
            return front;
        };
        platform.clipboardCount = XFixesClipboardCounter::open();
        platform.dataSession = dataSession;
        platform.opener = std::make_shared<RecordingOpener>();
        platform.resources = resources;
        platform.stateRoot = dir.path();
        // Only the data session trusts the stand-in: every call but an upload rides it.
        counter = platform.clipboardCount;
        coordinator = AITalkCoordinator::make(env, std::move(platform));
        coordinator->start();
    }

    // The last question the server received (the login's syncs and prefetches may come after it).
    testing::StubRequest lastAsk() const {
        const auto all = stub.requests();
        for (auto it = all.rbegin(); it != all.rend(); ++it) {
            if (it->path == DriveAsk::askPath) {
                return *it;
            }
        }
        return {};
    }

    void signIn() {
        std::optional<bool> done;
        env->auth->signIn("reader@example.com", "secret",
                          [&](AuthRuntime::ContextResult result) { done = result.has_value(); });
        ASSERT_TRUE(AITalkDesktop::pumpUntil([&] { return done.has_value(); }));
        env->accountScope->observe(env->auth->userID());
        env->detect->write([](DetectState& state) { state.loggedIn = true; });
    }
    // Copies `text` the way an application does and presses the trigger.
    void copyAndTrigger(const std::string& text) {
        const auto baseline = counter->changeCount();
        gtk_clipboard_set_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), text.c_str(), -1);
        coordinator->triggered(baseline, SystemClock::shared()->uptime());
    }
    size_t requests(const std::string& method, const std::string& path) const {
        size_t n = 0;
        for (const auto& r : stub.requests()) {
            n += r.method == method && r.path == path;
        }
        return n;
    }

    testing::LogCapture log;
    StubBackend stub;
    testing::TempDir dir;
    // Where AI talk reads the answer page and the mathematics script from.
    fs::path resources = AppBundle::main().resourceDirectory;
    std::shared_ptr<GlibMainExecutor> main = std::make_shared<GlibMainExecutor>();
    std::shared_ptr<WorkerQueue> work = std::make_shared<WorkerQueue>("test.work", 2);
    // AI talk's own work executor, when it is not `work`.
    ExecutorPtr platformWork;
    std::shared_ptr<GlibThreadQueue> fetch =
        std::make_shared<GlibThreadQueue>("parlendo.selection-fetch");
    std::shared_ptr<testing::FakeAccessibilityPort> port =
        std::make_shared<testing::FakeAccessibilityPort>();
    std::shared_ptr<testing::FakeNode> viewerWindow =
        std::make_shared<testing::FakeNode>(AccessibleNode::Role::window);
    std::optional<RunningApplication> front;
    std::shared_ptr<XFixesClipboardCounter> counter;
    std::shared_ptr<AppEnvironment> env;
    std::shared_ptr<AITalkCoordinator> coordinator;
    std::vector<std::pair<std::string, double>> notices;
    int manageOpened = 0;
};

TEST_F(CoordinatorTest, SignedOutOrSwitchedOffTheTriggerShowsNothing) {
    copyAndTrigger("anything");
    EXPECT_TRUE(log.has("ai_talk", "무시 reason=logged_out"));
    EXPECT_FALSE(coordinator->answerBuilt());
    EXPECT_EQ(coordinator->stateItem()->title, AITalkMenu::loggedOut);
    EXPECT_FALSE(coordinator->stateItem()->enabled);

    signIn();
    ASSERT_TRUE(
        AITalkDesktop::pumpUntil([&] { return requests("GET", "/rest/v1/drive_documents") > 0; }));
    coordinator->drive()->setAIDetect(false, "manage");
    AITalkDesktop::pumpFor(0.1);  // the status line is refreshed on the main queue
    EXPECT_EQ(coordinator->stateItem()->title, AITalkMenu::off);
    EXPECT_TRUE(coordinator->stateItem()->enabled);
    coordinator->stateItem()->handler();
    EXPECT_EQ(manageOpened, 1);
    const size_t before = requests("GET", "/rest/v1/drive_popups");
    copyAndTrigger("anything");
    EXPECT_TRUE(log.has("ai_talk", "무시 reason=ai_talk_off"));
    // The check after sign-in was just now: no new one within 30 seconds.
    AITalkDesktop::pumpFor(0.3);
    EXPECT_EQ(requests("GET", "/rest/v1/drive_popups"), before);
}

TEST_F(CoordinatorTest, TheRoadOfOneQuestionFromTheTriggerToTheAnswer) {
    coordinator->copies()->write("user-1", "doc-1", pages, SHA256::hex(joined()));
    signIn();
    // Signing in checks the switch and the popup, and looks for missing page copies.
    ASSERT_TRUE(AITalkDesktop::pumpUntil(
        [&] { return log.contains("drive", "사본 미리 받기 documents=1 missing=0"); }, 10))
        << log.all();
    coordinator->refreshMenu();
    EXPECT_EQ(coordinator->stateItem()->title, "AI 톡 켜짐 — 글을 선택하고 Ctrl을 누른 채 C 두 번");

    copyAndTrigger("the net force on a body equals its mass times its acceleration");
    ASSERT_TRUE(AITalkDesktop::pumpUntil(
        [&] {
            return coordinator->answerBuilt() &&
                   coordinator->answer()->session->state().phase == AnswerState::Phase::answered;
        },
        30))
        << log.all();
    EXPECT_TRUE(coordinator->answer()->window->isVisible());
    EXPECT_TRUE(log.contains("ai_talk", "글 가져옴 len=62#"));
    EXPECT_TRUE(log.contains("drive", "쪽 찾기 ok route=exact viewer=none"));
    const auto body = json::parse(lastAsk().body);
    ASSERT_TRUE(body);
    EXPECT_EQ((*body)["document_id"], "doc-1");
    EXPECT_EQ((*body)["page_no"], 2);
    EXPECT_EQ((*body)["popup_id"], "pop-1");

    // The theme follows the store once the window is there.
    env->theme->set("dark");
    EXPECT_EQ(coordinator->answer()->window->theme(), ThemeMode::dark);

    // Signing out closes the conversation, lets the window go and removes every page copy: out
    // of reach at once, their files off the main loop (held here until the test lets the work
    // queue go on).
    const auto copyFiles = [&] {
        size_t n = 0;
        for (const auto& entry : fs::recursive_directory_iterator(dir.path())) {
            n += entry.path().filename() == "doc-1.json";
        }
        return n;
    };
    ASSERT_EQ(copyFiles(), 1u);
    testing::HeldThreads held(*work, 2);
    env->accountScope->observe(std::nullopt);
    EXPECT_FALSE(coordinator->copies()->pages("user-1", "doc-1", SHA256::hex(joined())));
    EXPECT_FALSE(fs::exists(dir.path() / PageCopyStore::folderName));
    EXPECT_EQ(copyFiles(), 1u) << "removed on the main loop";
    held.release();
    env->detect->write([](DetectState& state) { state.loggedIn = false; });
    ASSERT_TRUE(AITalkDesktop::pumpUntil([&] { return !coordinator->answerBuilt(); })) << log.all();
    EXPECT_TRUE(log.contains("ai_talk", "reason=account"));
    EXPECT_TRUE(log.has("ai_talk", "답 창 놓음 — AI 톡을 쓸 수 없는 동안 웹 화면을 두지 않음"));
    ASSERT_TRUE(AITalkDesktop::pumpUntil([&] {
        return log.has("drive", "사본 전부 지움 success=true");
    })) << log.all();
    EXPECT_EQ(copyFiles(), 0u);
    AITalkDesktop::pumpFor(0.3);
    EXPECT_FALSE(coordinator->answerBuilt()) << "not built again while signed out";
}

TEST_F(CoordinatorTest, TheViewersPageAnswersWhenItShowsALinkedFile) {
    const auto file = dir.write("mechanics.pdf", "%PDF-1.4");
    coordinator->local()->setSource("doc-1", *FileBookmarks().bookmark(file.string()), "user-1");
    // The viewer shows the linked file with the selection on page 3.
    viewerWindow->url = "file://" + file.string();
    viewerWindow->nodeName = "mechanics.pdf";
    auto view = viewerWindow->add(AccessibleNode::Role::document);
    for (int i = 0; i < 3; ++i) {
        auto page = view->add(AccessibleNode::Role::page);
        page->ownFrame = DesktopRect{0, i * 900.0, 600, 880};
    }
    view->ownFrame = DesktopRect{0, 1800, 600, 700};
    view->kids[2]->selected = TextRange{0, 10};
    port->focused = view;
    front = RunningApplication{4242, std::string("org.gnome.Evince")};
    signIn();
    copyAndTrigger("a passage that is on no page of the copies");
    ASSERT_TRUE(AITalkDesktop::pumpUntil(
        [&] {
            return coordinator->answerBuilt() &&
                   coordinator->answer()->session->state().phase == AnswerState::Phase::answered;
        },
        30))
        << log.all();
    EXPECT_TRUE(log.contains("drive", "쪽 찾기 ok route=viewer viewer=preview_lines"));
    const auto body = json::parse(lastAsk().body);
    ASSERT_TRUE(body);
    EXPECT_EQ((*body)["page_no"], 3);
}

TEST_F(CoordinatorTest, ATriggerWhileAQuestionRunsOnlySaysSo) {
    stub.respondWith([](const testing::StubRequest& request) -> std::optional<StubAnswer> {
        if (request.path != DriveAsk::askPath) {
            return std::nullopt;
        }
        StubAnswer slow = StubAnswer::json(200, R"({"status":"ok","answer":"늦은 답"})");
        slow.delay = 1.5;
        return slow;
    });
    coordinator->copies()->write("user-1", "doc-1", pages, SHA256::hex(joined()));
    signIn();
    copyAndTrigger("equals its mass times its acceleration");
    ASSERT_TRUE(AITalkDesktop::pumpUntil(
        [&] { return coordinator->answerBuilt() && coordinator->answer()->session->busy(); }));
    copyAndTrigger("a second question meanwhile");
    ASSERT_TRUE(AITalkDesktop::pumpUntil([&] { return !notices.empty(); }));
    EXPECT_EQ(notices.front(), std::make_pair(std::string(AITalkText::busy), 3.0));
    EXPECT_EQ(log.count("ai_talk", "글 가져옴"), 1u) << "the clipboard is not read again";
    ASSERT_TRUE(AITalkDesktop::pumpUntil(
        [&] {
            return coordinator->answer()->session->state().phase == AnswerState::Phase::answered;
        },
        10))
        << log.all();
}

TEST_F(CoordinatorTest, TheModuleOffersTheProjectCallsAndForgetsLocalData) {
    const auto groups = coordinator->bridgeRoutes();
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_EQ(groups[0]->routes().size(), 30u);
    EXPECT_EQ(coordinator->menu().status, std::vector<MenuItemPtr>{coordinator->stateItem()});
    const auto names = AccountLocalData::shared().names();
    EXPECT_NE(std::find(names.begin(), names.end(), "프로젝트 원본 위치 · 설정"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), "쪽 글 사본"), names.end());
}

TEST_F(CoordinatorTest, TheAnswerWindowIsBuiltAheadOnlyWhileAQuestionCanBeAsked) {
    // Signed out, nobody can get an answer: no window, no web engine.
    AITalkDesktop::pumpFor(AnswerAhead::afterStart + 0.5);
    EXPECT_FALSE(coordinator->answerBuilt());
    EXPECT_FALSE(log.contains("ai_talk", "답 창 준비"));

    // Signed in with an AI popup on: made before any question.
    signIn();
    ASSERT_TRUE(AITalkDesktop::pumpUntil([&] { return coordinator->answerBuilt(); }, 10))
        << log.all();
    EXPECT_TRUE(log.contains("ai_talk", "답 창 준비 renderer=windows_md math=true theme=light"));

    // AI talk switched off in the manage window: let go.
    coordinator->drive()->setAIDetect(false, "manage");
    ASSERT_TRUE(AITalkDesktop::pumpUntil([&] { return !coordinator->answerBuilt(); })) << log.all();
    // And on again: made again.
    coordinator->drive()->setAIDetect(true, "manage");
    ASSERT_TRUE(AITalkDesktop::pumpUntil([&] { return coordinator->answerBuilt(); }, 10))
        << log.all();
}

// AI talk's work waits on a manual executor, which runs only when the test says so. Its answer
// page and mathematics script are copies of the bundle's of its own, which no other test reads.
struct CoordinatorOnHeldWorkTest : CoordinatorTest {
    void SetUp() override {
        platformWork = heldWork;
        const auto bundle = AppBundle::main().resourceDirectory;
        ownFiles.push_back(copy(bundle / "ai_popup_web.html"));
        for (const auto& entry : fs::directory_iterator(bundle / "vendor")) {
            if (entry.path().filename().string().starts_with("temml-")) {
                ownFiles.push_back(copy(entry.path() / "temml.min.js"));
            }
        }
        resources = ownResources.path();
        CoordinatorTest::SetUp();
    }
    // Copies a file of the bundle to the same place among this test's resources.
    fs::path copy(const fs::path& file) {
        const auto to =
            ownResources.path() / file.lexically_relative(AppBundle::main().resourceDirectory);
        fs::create_directories(to.parent_path());
        fs::copy_file(file, to);
        return to;
    }
    std::shared_ptr<testing::ManualExecutor> heldWork = std::make_shared<testing::ManualExecutor>();
    testing::TempDir ownResources;
    std::vector<fs::path> ownFiles;
};

// The answer window's renderer page and mathematics script are read on the work executor, never on
// the main loop, where a busy disk holds each read for tens of milliseconds; so is the script the
// manage page asks for. The window is built once they are read.
TEST_F(CoordinatorOnHeldWorkTest, TheAnswerWindowsFilesAreReadOffTheMainLoop) {
    ASSERT_EQ(ownFiles.size(), 2u);
    testing::FileOpens opens(ownFiles);
    signIn();
    // Signed in with an AI popup on, the window is due a second after start.
    AITalkDesktop::pumpFor(AnswerAhead::afterStart + 0.5);
    std::optional<BridgeReply> math;
    coordinator->bridgeRoutes()[0]
        ->routes()
        .at("drive_math_lib")
        .handler()(BridgeArgs(), [&](BridgeReply reply) { math = std::move(reply); });
    AITalkDesktop::pumpFor(0.2);
    EXPECT_EQ(opens.count(), 0) << "read on the main loop";
    EXPECT_FALSE(coordinator->answerBuilt());
    EXPECT_FALSE(math.has_value());

    ASSERT_TRUE(AITalkDesktop::pumpUntil(
        [&] {
            heldWork->runAll();
            return coordinator->answerBuilt() && math.has_value();
        },
        10))
        << log.all();
    EXPECT_GE(opens.count(), 2);
    EXPECT_TRUE(log.contains("ai_talk", "답 창 준비 renderer=windows_md math=true theme=light"));
    const auto* script = math->as<BridgeReply::Custom>();
    ASSERT_NE(script, nullptr);
    EXPECT_NE(script->value.get<std::string>().find("temml"), std::string::npos);
}

}  // namespace
}  // namespace parlendo
