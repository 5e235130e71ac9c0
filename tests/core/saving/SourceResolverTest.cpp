#include <gtest/gtest.h>

#include "LogCapture.h"
#include "foundation/Text.h"
#include "foundation/Uuid.h"
#include "saving/SourceResolver.h"

#include <deque>

namespace parlendo {
namespace {

using testing::LogCapture;

// A store that records calls and answers finds and creates when the test says so (at once by
// default). Rows are made per URL or title.
class FakeSourceStore final : public SourceStore {
  public:
    void find(std::optional<std::string> url, std::string title,
              Completion<void(SourceFindResult)> completion) override {
        finds.push_back(url && !url->empty() ? "url=" + *url : "title=" + title);
        heldFinds.push_back(std::move(completion));
        if (!holdFinds) {
            answerFind();
        }
    }
    void create(std::string id, std::string title, std::optional<std::string> url,
                Completion<void(std::optional<SourceRow>)> completion) override {
        creates.push_back(id);
        if (failCreate) {
            completion(std::nullopt);
            return;
        }
        SourceRow row{id, title, url};
        known[url ? "url=" + *url : "title=" + title] = row;
        completion(row);
    }
    void touch(std::string id, Completion<void()> completion) override {
        touches.push_back(id);
        completion();
    }

    void answerFind() {
        auto completion = std::move(heldFinds.front());
        heldFinds.pop_front();
        if (findFailure) {
            completion(fail(*findFailure));
            return;
        }
        auto it = known.find(finds.back());
        completion(it == known.end() ? std::optional<SourceRow>() : std::optional(it->second));
    }

    std::map<std::string, SourceRow> known;
    std::vector<std::string> finds;
    std::vector<std::string> creates;
    std::vector<std::string> touches;
    std::deque<Completion<void(SourceFindResult)>> heldFinds;
    bool holdFinds = false;
    bool failCreate = false;
    std::optional<CallFailure> findFailure;
};

CaptureSnapshot capture(std::optional<std::string> title, std::optional<std::string> webURL,
                        bool window = true) {
    return CaptureSnapshot(
        "CAP", "word", 0,
        window ? std::optional(WindowIdentity(1, "org.example.app", title)) : std::nullopt, title,
        std::nullopt, std::move(webURL));
}

class SourceResolverTest : public ::testing::Test {
  protected:
    SourceResolverTest()
        : store_(std::make_shared<FakeSourceStore>()), resolver_(SourceResolver::make(store_)) {}

    std::optional<SourceRow> resolve(const CaptureSnapshot& snapshot) {
        std::optional<SourceRow> out;
        bool done = false;
        resolver_->resolve(snapshot, [&](std::optional<SourceRow> row) {
            out = std::move(row);
            done = true;
        });
        EXPECT_TRUE(done);
        return out;
    }

    LogCapture log_;
    std::shared_ptr<FakeSourceStore> store_;
    std::shared_ptr<SourceResolver> resolver_;
};

TEST_F(SourceResolverTest, CreatesANewSourceWithAnUpperCaseIdAndRemembersIt) {
    auto row = resolve(capture("Paper", "https://a.example/p"));
    ASSERT_TRUE(row);
    EXPECT_TRUE(uuid::isCanonical(row->id));
    EXPECT_EQ(row->id, text::asciiUpper(row->id));
    EXPECT_EQ(row->url, "https://a.example/p");
    EXPECT_EQ(store_->finds, std::vector<std::string>{"url=https://a.example/p"});
    EXPECT_TRUE(store_->touches.empty());
    EXPECT_EQ(log_.messages("source"),
              std::vector<std::string>{"새 출처 " + row->id.substr(0, 8) + "… url=true"});

    // Same URL, another title: the same row, with no server call and no touch.
    EXPECT_EQ(resolve(capture("Other title", "https://a.example/p")), row);
    EXPECT_EQ(store_->finds.size(), 1u);
    EXPECT_TRUE(store_->touches.empty());
}

TEST_F(SourceResolverTest, ReusesAnExistingRowAndTouchesOnSwitchesBetweenRememberedSources) {
    store_->known["title=Notes"] = SourceRow{"EXIST-1", "Notes", std::nullopt};
    auto notes = resolve(capture("Notes", std::nullopt));
    EXPECT_EQ(notes, (SourceRow{"EXIST-1", "Notes", std::nullopt}));
    EXPECT_EQ(store_->touches, std::vector<std::string>{"EXIST-1"});
    EXPECT_EQ(log_.messages("source").back(), "기존 출처 재사용 EXIST-1…");

    auto page = resolve(capture("Page", "https://b.example"));
    EXPECT_EQ(resolve(capture("Notes", std::nullopt)), notes);
    EXPECT_EQ(resolve(capture("Page", "https://b.example")), page);
    EXPECT_EQ(store_->finds.size(), 2u);
    EXPECT_EQ(store_->touches, (std::vector<std::string>{"EXIST-1", "EXIST-1", page->id}));
    EXPECT_TRUE(store_->creates.size() == 1u);
}

TEST_F(SourceResolverTest, IdentityIsTheURLElseTheNormalisedTitle) {
    auto page = SourceResolver::identity(capture("Title", "https://e.example/a"));
    EXPECT_EQ(page.key, "url:https://e.example/a");
    EXPECT_EQ(page.title, "Title");
    auto untitled = SourceResolver::identity(capture(std::nullopt, std::nullopt));
    EXPECT_EQ(untitled.key, "title:(제목 없음)");
    EXPECT_EQ(untitled.url, std::nullopt);

    // Without a URL, one title resolves to one row.
    auto first = resolve(capture("Same", std::nullopt));
    resolve(capture("Else", std::nullopt));
    EXPECT_EQ(resolve(capture("Same", std::nullopt)), first);
    EXPECT_EQ(store_->finds, (std::vector<std::string>{"title=Same", "title=Else"}));
}

TEST_F(SourceResolverTest, FailuresGiveNoRow) {
    EXPECT_EQ(resolve(capture("t", std::nullopt, false)), std::nullopt);
    EXPECT_TRUE(store_->finds.empty());

    store_->findFailure = CallFailure::timeout();
    EXPECT_EQ(resolve(capture("t", std::nullopt)), std::nullopt);
    EXPECT_TRUE(store_->creates.empty());
    EXPECT_EQ(log_.messages("source"), std::vector<std::string>{"찾기 실패 timeout — 만들지 않음"});

    store_->findFailure.reset();
    store_->failCreate = true;
    EXPECT_EQ(resolve(capture("t", std::nullopt)), std::nullopt);
    EXPECT_EQ(store_->creates.size(), 1u);
}

TEST_F(SourceResolverTest, AClearingDuringASearchDiscardsItsAnswer) {
    store_->known["title=T"] = SourceRow{"S-1", "T", std::nullopt};
    for (int round = 0; round < 2; ++round) {
        store_->holdFinds = true;
        std::optional<std::optional<SourceRow>> out;
        resolver_->resolve(capture("T", std::nullopt),
                           [&](std::optional<SourceRow> row) { out = std::move(row); });
        if (round == 0) {
            resolver_->reset();
        } else {
            resolver_->forget("NOT-REMEMBERED");
        }
        store_->answerFind();
        ASSERT_TRUE(out);
        EXPECT_EQ(*out, std::nullopt);
        EXPECT_EQ(log_.messages("source").back(), "출처 기억이 그 사이 비워짐 — 이번 판단을 버림");
    }
    // The next capture resolves afresh.
    store_->holdFinds = false;
    EXPECT_EQ(resolve(capture("T", std::nullopt))->id, "S-1");
    EXPECT_EQ(store_->finds.size(), 3u);
}

TEST_F(SourceResolverTest, SaveOutcomesForgetOnlyMissingSources) {
    auto row = *resolve(capture("T", "https://c.example"));
    resolve(capture("T2", "https://c2.example"));
    SaveWork work("ID", row.id, "w", std::nullopt, std::nullopt, {}, 0);

    resolver_->noteSaveOutcome({work, 1, fail(SaveVerdict::terminal("folder_cycle")), "rpc"});
    resolver_->noteSaveOutcome({work, 3, fail(SaveVerdict::retry("timeout")), "rpc"});
    resolve(capture("T", "https://c.example"));
    EXPECT_EQ(store_->finds.size(), 2u);

    resolver_->noteSaveOutcome({work, 1, fail(SaveVerdict::terminal("source_not_found")), "rpc"});
    EXPECT_EQ(log_.messages("source").back(),
              "출처 기억 버림 " + row.id.substr(0, 8) + "… — 저장 거부(source_not_found)");
    resolve(capture("T", "https://c.example"));
    EXPECT_EQ(store_->finds.size(), 3u);

    EXPECT_FALSE(resolver_->noteSentenceOutcome(SentenceSaveOutcome::rejected("23505"), row.id));
    EXPECT_FALSE(resolver_->noteSentenceOutcome(SentenceSaveOutcome::lost(3), row.id));
    EXPECT_TRUE(resolver_->noteSentenceOutcome(SentenceSaveOutcome::rejected("23503"), "OTHER"));
    EXPECT_EQ(log_.messages("source").back(), "출처 기억 버림 OTHER… — 문장 저장 거부");
}

TEST_F(SourceResolverTest, ResetForgetsEverything) {
    resolve(capture("T", "https://d.example"));
    resolver_->reset();
    resolve(capture("T", "https://d.example"));
    EXPECT_EQ(store_->finds.size(), 2u);
}

TEST_F(SourceResolverTest, TheMemoryIsBoundedAndForgetsTheFirstRemembered) {
    const size_t capacity = SourceResolver::sessionCapacity;
    for (size_t i = 0; i <= capacity; ++i) {
        ASSERT_TRUE(resolve(capture("t", "https://a.example/" + std::to_string(i))));
    }
    EXPECT_EQ(resolver_->rememberedCount(), capacity);
    // The newest is remembered; the first is asked for again, and found.
    size_t finds = store_->finds.size();
    EXPECT_TRUE(resolve(capture("t", "https://a.example/" + std::to_string(capacity))));
    EXPECT_EQ(store_->finds.size(), finds);
    auto first = resolve(capture("t", "https://a.example/0"));
    ASSERT_TRUE(first);
    EXPECT_EQ(store_->finds.size(), finds + 1);
    EXPECT_EQ(store_->creates.size(), capacity + 1);
    EXPECT_EQ(resolver_->rememberedCount(), capacity);

    // Forgetting a row keeps the count right for what comes next.
    resolver_->forget(first->id);
    EXPECT_EQ(resolver_->rememberedCount(), capacity - 1);
    ASSERT_TRUE(resolve(capture("t", "https://a.example/new")));
    ASSERT_TRUE(resolve(capture("t", "https://a.example/newer")));
    EXPECT_EQ(resolver_->rememberedCount(), capacity);
}

}  // namespace
}  // namespace parlendo
