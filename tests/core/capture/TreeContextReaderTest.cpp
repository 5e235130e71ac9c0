#include "capture/TreeContextReader.h"

#include "FakeAccessibility.h"
#include "FakeClock.h"
#include "LogCapture.h"
#include "TempDir.h"

#include <gtest/gtest.h>

namespace parlendo {
namespace {

using testing::FakeAccessibilityPort;
using testing::FakeClock;
using testing::FakeNode;
using testing::LogCapture;
using Role = AccessibleNode::Role;

// A window system whose front window the test names, and which may change it after the first
// identity read (the user switching windows during the read).
struct FakeWindows final : WindowPort {
    WindowIdentity identity(const RunningApplication& app) override {
        ++reads;
        if (reads > 1 && changedTitle) {
            return WindowIdentity{app.pid, app.bundleID.value_or("?"), changedTitle};
        }
        return WindowIdentity{app.pid, app.bundleID.value_or("?"), title};
    }
    std::optional<RunningApplication> frontmost() override { return front; }

    std::optional<std::string> title = "Cats - Wikipedia — Mozilla Firefox";
    std::optional<std::string> changedTitle;
    std::optional<RunningApplication> front;
    int reads = 0;
};

struct TreeContextReaderTest : ::testing::Test {
    TreeContextReaderTest() {
        port->window = std::make_shared<FakeNode>(Role::window);
        port->window->clock = clock;
    }
    TreeContextReader reader() { return TreeContextReader(windows, port, clock); }

    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    std::shared_ptr<FakeWindows> windows = std::make_shared<FakeWindows>();
    std::shared_ptr<FakeAccessibilityPort> port = std::make_shared<FakeAccessibilityPort>();
    RunningApplication firefox{7, std::string("firefox")};
    RunningApplication editor{8, std::string("org.gnome.TextEditor")};
    LogCapture log;
};

TEST_F(TreeContextReaderTest, ABrowserPageGivesItsWebAreaAddress) {
    auto area = port->window->add(Role::other)->add(Role::webArea);
    area->url = "https://en.wikipedia.org/wiki/Cat";
    auto toolbar = port->window->add(Role::toolbar);
    toolbar->add(Role::entry)->fieldValue = "https://elsewhere.example/";

    const auto context = reader().read(firefox);
    ASSERT_TRUE(context);
    EXPECT_EQ(context->window, (WindowIdentity{7, "firefox", windows->title}));
    EXPECT_EQ(context->title, windows->title);
    EXPECT_EQ(context->webURL, "https://en.wikipedia.org/wiki/Cat");
    EXPECT_EQ(context->documentURL, std::nullopt);
    EXPECT_EQ(log.count("context", "주소창"), 0u);
    EXPECT_EQ(port->timeouts.front(), 0.25);
}

TEST_F(TreeContextReaderTest, TheShownTabGivesTheAddressAndTheBrowsersOwnDocumentIsNoFile) {
    // Firefox: its window is a document of its own interface, and every tab keeps its page in
    // the tree; only the shown one is read.
    port->window->url = "chrome://browser/content/browser.xhtml";
    auto panels = port->window->add(Role::other);
    auto background = panels->add(Role::other)->add(Role::webArea);
    background->url = "https://background.example/";
    background->hidden = true;
    panels->add(Role::other)->add(Role::webArea)->url = "file:///home/u/page.html?x=1#top";
    const auto context = reader().read(firefox);
    EXPECT_EQ(context->webURL, "file:///home/u/page.html?x=1#top");
    EXPECT_EQ(context->documentURL, std::nullopt);
}

TEST_F(TreeContextReaderTest, WithoutAWebAreaTheAddressFieldIsReadAndJudged) {
    auto toolbar = port->window->add(Role::toolbar);
    auto field = toolbar->add(Role::other)->add(Role::other);
    field->id = "urlbar-input";
    field->fieldValue = "  https://example.org/page  ";
    EXPECT_EQ(reader().read(firefox)->webURL, "https://example.org/page");
    EXPECT_TRUE(log.has("context", "주소창에서 읽음 app=firefox accepted=true"));

    field->fieldValue = "cats";  // a search, not an address
    EXPECT_EQ(reader().read(firefox)->webURL, std::nullopt);
    EXPECT_TRUE(log.has("context", "주소창에서 읽음 app=firefox accepted=false"));
}

TEST_F(TreeContextReaderTest, PagedDocumentsAndPlugInsEndTheWebAreaSearch) {
    auto pages = port->window->add(Role::document);
    for (int i = 0; i < 9; ++i) {
        pages->add(Role::page);
    }
    pages->kids.back()->add(Role::webArea)->url = "https://hidden.example/";
    auto plugin = port->window->add(Role::embedded);
    plugin->add(Role::webArea)->url = "https://plugin.example/";
    EXPECT_EQ(reader().read(firefox)->webURL, std::nullopt);
}

TEST_F(TreeContextReaderTest, OtherApplicationsGiveTheirDocumentButNoWebAddress) {
    auto doc = port->window->add(Role::other)->add(Role::document);
    doc->url = "file:///home/user/notes.txt";
    port->window->add(Role::webArea)->url = "https://example.org/";
    const auto context = reader().read(editor);
    EXPECT_EQ(context->documentURL, "file:///home/user/notes.txt");
    EXPECT_EQ(context->webURL, std::nullopt);
    EXPECT_TRUE(log.has("context", "웹 주소 안 씀 — 브라우저 아님 app=org.gnome.TextEditor"));
}

TEST_F(TreeContextReaderTest, WithoutADocumentInTheTreeTheDesktopsRecordGivesTheFile) {
    // An editor that names its file only in its title, and holds it open.
    testing::TempDir dir;
    const auto essay = dir.write("docs/essay.odt", "odt");
    std::filesystem::create_directories(dir.path() / "proc/8/fd");
    std::filesystem::create_symlink(essay, dir.path() / "proc/8/fd/3");
    std::filesystem::create_directories(dir.path() / "proc/7/fd");
    std::filesystem::create_symlink(essay, dir.path() / "proc/7/fd/3");
    auto documents =
        std::make_shared<DesktopDocuments>(dir.path() / "proc", dir.path() / "recent.xbel");
    windows->title = "essay.odt - LibreOffice Writer";
    TreeContextReader withDesktop(windows, port, clock, documents);
    EXPECT_EQ(withDesktop.read(editor)->documentURL, "file://" + essay.string());
    EXPECT_TRUE(log.has("context", "문서 파일 찾음 from=process app=org.gnome.TextEditor"));
    // A document the tree names comes first.
    port->window->add(Role::document)->url = "file:///home/u/named.odt";
    EXPECT_EQ(withDesktop.read(editor)->documentURL, "file:///home/u/named.odt");
    // A browser's source is its page, never a file its process holds.
    port->window->kids.clear();
    EXPECT_EQ(withDesktop.read(firefox)->documentURL, std::nullopt);
    EXPECT_EQ(log.count("context", "문서 파일 찾음"), 1u);
}

TEST_F(TreeContextReaderTest, AWindowChangeDuringTheReadDropsTheWebAddressOnly) {
    port->window->add(Role::webArea)->url = "https://example.org/";
    windows->changedTitle = "Another tab — Mozilla Firefox";
    const auto context = reader().read(firefox);
    EXPECT_EQ(context->webURL, std::nullopt);
    EXPECT_EQ(context->title, windows->title);
    EXPECT_TRUE(log.has("context", "URL 버림 — 읽는 사이 창이 바뀜 (firefox → firefox)"));
}

TEST_F(TreeContextReaderTest, ASlowApplicationEndsTheReadAtTheBudget) {
    // Every call takes 0.25 s: the read gives up after 0.4 s with what it has.
    port->window->callCost = 0.25;
    auto branch = port->window->add(Role::other);
    for (int i = 0; i < 50; ++i) {
        branch->add(Role::other)->add(Role::webArea)->url = "https://late.example/";
    }
    const double start = clock->uptime();
    const auto context = reader().read(firefox);
    ASSERT_TRUE(context);
    EXPECT_EQ(context->window.pid, 7);
    EXPECT_LT(clock->uptime() - start, 1.5);
    EXPECT_EQ(log.count("context", "읽기 상한 0.40초를 넘김 app=firefox ms="), 1u);
    EXPECT_TRUE(log.contains("context", "title=ok doc=none url=none — 읽은 데까지로 간다"));
}

TEST_F(TreeContextReaderTest, AnApplicationWithoutAnAccessibleWindowKeepsItsIdentity) {
    port->window = nullptr;
    const auto context = reader().read(firefox);
    EXPECT_EQ(context->window.bundleID, "firefox");
    EXPECT_EQ(context->webURL, std::nullopt);
    EXPECT_EQ(reader().read(std::nullopt), std::nullopt);
}

TEST_F(TreeContextReaderTest, AVastListOfChildrenIsListedOnlyAsFarAsTheWalksMayVisit) {
    // A table of 10,000 cells between the window and nothing of interest.
    auto table = port->window->add(Role::other);
    for (int i = 0; i < 10000; ++i) {
        table->add(Role::staticText);
    }
    const auto context = reader().read(firefox);
    ASSERT_TRUE(context);
    EXPECT_EQ(context->documentURL, std::nullopt);
    EXPECT_EQ(context->webURL, std::nullopt);
    // The document search may visit 59 elements, the web-area search 399, the address-field
    // search none (no toolbar): no more cells are asked for than that.
    EXPECT_LE(table->listed, 60u + 400u);
}

}  // namespace
}  // namespace parlendo
