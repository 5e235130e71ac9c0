#include "capture/SelectionFetch.h"

#include "FakeSelectionReader.h"
#include "ManualExecutor.h"
#include "capture/CaptureKeys.h"
#include "capture/SyntheticCopyLedger.h"
#include "foundation/Text.h"

#include <gtest/gtest.h>

namespace parlendo {
namespace {

using testing::FakeClock;
using testing::FakePasteboard;
using testing::FakeSelectionReader;
using testing::ManualExecutor;

const WindowIdentity editor{4242, "org.gnome.TextEditor", std::string("notes.txt")};

struct SelectionFetchTest : ::testing::Test {
    SelectionFetchTest() {
        pasteboard->copyText("the user's clipboard");
        reader->window = editor;
    }

    // Starts the fetch and advances the clock `seconds`.
    void fetch(double seconds, std::optional<WindowIdentity> window = editor) {
        SelectionFetch::run(reader, ledger, window, CaptureKeys::copyWait, CaptureKeys::copyPoll,
                            queue, [this](SelectionFetch::Result r) { result = std::move(r); });
        clock->advance(seconds);
    }

    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    std::shared_ptr<ManualExecutor> queue = std::make_shared<ManualExecutor>(clock);
    std::shared_ptr<FakePasteboard> pasteboard = std::make_shared<FakePasteboard>();
    std::shared_ptr<FakeSelectionReader> reader =
        std::make_shared<FakeSelectionReader>(pasteboard, clock);
    std::shared_ptr<SyntheticCopyLedger> ledger = std::make_shared<SyntheticCopyLedger>();
    std::optional<SelectionFetch::Result> result;
};

TEST_F(SelectionFetchTest, DirectReadNeedsNoCopy) {
    reader->direct = DirectSelection{" word ", "selected_text"};
    fetch(0);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->outcome, SelectionFetch::Outcome(SelectionFetch::Text{
                                   " word ", SelectionFetch::Stage::direct, "selected_text", 0}));
    EXPECT_FALSE(result->pending);
    EXPECT_EQ(reader->copies, 0);
    EXPECT_EQ(ledger->size(), 0u);
}

TEST_F(SelectionFetchTest, BlankDirectReadFallsBackToTheCopyAndRestores) {
    reader->direct = DirectSelection{" \n ", "selected_text"};
    reader->copiesAfter(0.03, "copied text");
    const auto start = pasteboard->changeCount();
    const auto before = pasteboard->items();
    fetch(0.1);
    ASSERT_TRUE(result);
    const auto* text = std::get_if<SelectionFetch::Text>(&result->outcome);
    ASSERT_TRUE(text);
    EXPECT_EQ(text->text, "copied text");
    EXPECT_EQ(text->stage, SelectionFetch::Stage::copy);
    EXPECT_EQ(text->method, "synthetic_copy");
    EXPECT_NEAR(text->waitedMs, 30, 1e-6);
    EXPECT_FALSE(result->pending);
    EXPECT_EQ(reader->copies, 1);
    // The user's clipboard is back; the two counts of the copy and the restore's are the app's.
    EXPECT_EQ(pasteboard->items(), before);
    EXPECT_EQ(ledger->size(), 3u);
    EXPECT_TRUE(ledger->isSynthetic(start + 1));
    EXPECT_TRUE(ledger->isSynthetic(start + 2));
    EXPECT_TRUE(ledger->isSynthetic(pasteboard->changeCount()));
}

TEST_F(SelectionFetchTest, BytesThatAreNotUtf8ReadAsReplacementCharacters) {
    // A selection ends up in request bodies; text that JSON cannot carry is repaired on entry.
    reader->direct = DirectSelection{"caf\xe9 bar", "selected_text"};
    fetch(0);
    ASSERT_TRUE(result);
    auto* text = std::get_if<SelectionFetch::Text>(&result->outcome);
    ASSERT_TRUE(text);
    EXPECT_EQ(text->text, "caf\uFFFD bar");

    reader->direct.reset();
    reader->copiesAfter(0.01, "na\xc3\xafve \xed\xa0\x80x");
    result.reset();
    fetch(0.1);
    ASSERT_TRUE(result);
    text = std::get_if<SelectionFetch::Text>(&result->outcome);
    ASSERT_TRUE(text);
    EXPECT_TRUE(text::isValidUtf8(text->text)) << text->text;
    EXPECT_EQ(text->text.rfind("na\u00efve \uFFFD", 0), 0u) << text->text;
}

TEST_F(SelectionFetchTest, CopyThatNeverLandsLeavesAPendingCleanUp) {
    const auto start = pasteboard->changeCount();
    fetch(0.39);
    EXPECT_FALSE(result);
    clock->advance(0.02);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->outcome, SelectionFetch::Outcome(SelectionFetch::NoSelection{}));
    ASSERT_TRUE(result->pending);
    EXPECT_EQ(result->pending->startCount, start);
    EXPECT_EQ(reader->restores, 0);
    EXPECT_EQ(clock->pendingTimers(), 0u);  // polling stopped

    // Still nothing later: the clipboard is left alone.
    EXPECT_FALSE(SelectionFetch::settleLate(*reader, *ledger, *result->pending));
    EXPECT_EQ(reader->restores, 0);

    // The copy arrives late: it is marked and the user's clipboard restored.
    pasteboard->copyText("late");
    EXPECT_TRUE(SelectionFetch::settleLate(*reader, *ledger, *result->pending));
    EXPECT_EQ(pasteboard->text(), "the user's clipboard");
    EXPECT_TRUE(ledger->isSynthetic(start + 1));
    EXPECT_TRUE(ledger->isSynthetic(pasteboard->changeCount()));
}

TEST_F(SelectionFetchTest, ImageOnlyCopyIsUnreadable) {
    reader->onCopy = [this] {
        clock->schedule(clock->uptime() + 0.02, [this] { pasteboard->copyImage(); });
    };
    fetch(0.1);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->outcome, SelectionFetch::Outcome(SelectionFetch::Unreadable{}));
    EXPECT_EQ(pasteboard->text(), "the user's clipboard");
}

TEST_F(SelectionFetchTest, WindowChangeDuringTheCopyDropsTheText) {
    reader->onCopy = [this] {
        clock->schedule(clock->uptime() + 0.02, [this] {
            pasteboard->copyText("copied");
            reader->window->title = "other.txt";
        });
    };
    fetch(0.1);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->outcome, SelectionFetch::Outcome(SelectionFetch::WindowChanged{}));
    EXPECT_EQ(pasteboard->text(), "the user's clipboard");

    // Without a window read before the fetch, a copied text cannot be trusted either.
    result.reset();
    reader->copiesAfter(0.02, "copied");
    fetch(0.1, std::nullopt);
    EXPECT_EQ(result->outcome, SelectionFetch::Outcome(SelectionFetch::WindowChanged{}));
}

TEST_F(SelectionFetchTest, EmptyClipboardStaysEmpty) {
    pasteboard->clear();
    reader->copiesAfter(0.01, "copied");
    fetch(0.1);
    ASSERT_TRUE(std::holds_alternative<SelectionFetch::Text>(result->outcome));
    EXPECT_TRUE(pasteboard->items().empty());
}

TEST_F(SelectionFetchTest, ThePrimarySelectionComesBeforeAnyCopy) {
    // The accessibility read finds nothing (xterm is not on the bus); the application holds what
    // is selected: no key, the clipboard untouched.
    reader->primary = "serendipity";
    const auto count = pasteboard->changeCount();
    fetch(0);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->outcome,
              SelectionFetch::Outcome(SelectionFetch::Text{
                  "serendipity", SelectionFetch::Stage::primary, "primary_selection", 0}));
    EXPECT_EQ(reader->copies, 0);
    EXPECT_EQ(reader->saves, 0);
    EXPECT_EQ(pasteboard->changeCount(), count);

    // A usable direct read wins, and a blank primary selection falls through to the copy.
    result.reset();
    reader->direct = DirectSelection{"word", "selected_text"};
    fetch(0);
    EXPECT_EQ(std::get<SelectionFetch::Text>(result->outcome).stage, SelectionFetch::Stage::direct);
    EXPECT_EQ(reader->primaryReads, 1);
    result.reset();
    reader->direct.reset();
    reader->primary = " \n";
    reader->copiesAfter(0.01, "copied");
    fetch(0.1);
    EXPECT_EQ(std::get<SelectionFetch::Text>(result->outcome).stage, SelectionFetch::Stage::copy);
}

TEST_F(SelectionFetchTest, NoCopyWhenTheClipboardCannotBeSavedOrNoKeyIsSent) {
    // The clipboard's owner does not answer: copying would lose what it holds.
    reader->saveAnswers = false;
    reader->copiesAfter(0.01, "copied");
    const auto count = pasteboard->changeCount();
    fetch(0.5);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->outcome, SelectionFetch::Outcome(SelectionFetch::ClipboardNotSaved{}));
    EXPECT_FALSE(result->pending);
    EXPECT_EQ(reader->copies, 0);
    EXPECT_EQ(pasteboard->changeCount(), count);
    EXPECT_EQ(pasteboard->text(), "the user's clipboard");

    // A window that must get no key (a terminal whose copy key is not known, no window known):
    // nothing is waited for and nothing is owed.
    result.reset();
    reader->saveAnswers = true;
    reader->copyKeySent = false;
    fetch(0);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->outcome, SelectionFetch::Outcome(SelectionFetch::CopyNotSent{}));
    EXPECT_FALSE(result->pending);
    EXPECT_EQ(clock->pendingTimers(), 0u);
    EXPECT_EQ(reader->restores, 0);
    EXPECT_EQ(pasteboard->changeCount(), count);
}

}  // namespace
}  // namespace parlendo
