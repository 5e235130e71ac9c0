#include <gtest/gtest.h>

#include "FakeClock.h"
#include "HeldCompletions.h"
#include "LogCapture.h"
#include "ManualExecutor.h"
#include "lookup/GeneratingDictionary.h"
#include "lookup/LookupTimes.h"

namespace parlendo {
namespace {

using Outcome = SenseGeneration::Outcome;
using testing::FakeClock;
using testing::ManualExecutor;

class HeldDictionary final : public DictionaryService {
  public:
    void lookup(std::string word, std::optional<std::string> title,
                Completion<void(DictionaryLookup::Outcome)> completion) override {
        asked.push_back({std::move(word), std::move(title)});
        held.hold(std::move(completion));
    }
    void answer(DictionaryLookup::Outcome outcome) {
        ASSERT_TRUE(held.answerOldest(std::move(outcome)));
    }
    std::vector<std::pair<std::string, std::optional<std::string>>> asked;
    testing::HeldCompletions<DictionaryLookup::Outcome> held;
};

class HeldGenerator final : public SenseGenerating {
  public:
    struct Ask {
        std::string lemma, titleKey, word;
    };
    void generate(std::string lemma, std::string titleKey, std::string word,
                  Completion<void(Outcome)> completion) override {
        asked.push_back({std::move(lemma), std::move(titleKey), std::move(word)});
        held.hold(std::move(completion));
    }
    void answer(Outcome outcome) { ASSERT_TRUE(held.answerOldest(std::move(outcome))); }
    std::vector<Ask> asked;
    testing::HeldCompletions<Outcome> held;
};

DictionaryLookup::Result found(DictionaryLookup::Status status,
                               std::optional<std::string> lemma = std::nullopt) {
    DictionaryLookup::Result r;
    r.status = status;
    r.word = "server-word";
    r.lemma = std::move(lemma);
    r.serverMs = 4;
    return r;
}

class GeneratingDictionaryTest : public ::testing::Test {
  protected:
    GeneratingDictionaryTest()
        : clock_(std::make_shared<FakeClock>()),
          executor_(std::make_shared<ManualExecutor>(clock_)),
          notWords_(std::make_shared<NegativeCache>(256, LookupTimes::notAWordMemory, clock_)),
          lookup_(dictionary_, generator_, notWords_, executor_) {}
    ~GeneratingDictionaryTest() override {
        // Calls left in flight hold the lookup's parts; let them go.
        dictionary_->held.dropAll("the test ended with the lookup in flight");
        generator_->held.dropAll("the test ended with the generation in flight");
        // The deadlines too: their tasks hold the lookup, and with it the clock.
        clock_->cancelAll();
    }

    void look(std::string word, std::optional<std::string> title = "Some Article") {
        lookup_.lookup(
            std::move(word), std::move(title), [this] { ++generating_; },
            [this](WordLookupResult r) { results_.push_back(std::move(r)); });
    }
    WordLookupOutcome last() const {
        EXPECT_FALSE(results_.empty());
        EXPECT_TRUE(results_.back().has_value());
        return results_.back().value_or(WordLookupOutcome{});
    }

    std::shared_ptr<FakeClock> clock_;
    std::shared_ptr<ManualExecutor> executor_;
    std::shared_ptr<HeldDictionary> dictionary_ = std::make_shared<HeldDictionary>();
    std::shared_ptr<HeldGenerator> generator_ = std::make_shared<HeldGenerator>();
    std::shared_ptr<NegativeCache> notWords_;
    GeneratingDictionary lookup_;
    testing::LogCapture log_;
    int generating_ = 0;
    std::vector<WordLookupResult> results_;
};

TEST_F(GeneratingDictionaryTest, AFoundWordIsShownWithoutGeneration) {
    look("Run", "Title");
    ASSERT_EQ(dictionary_->asked.size(), 1u);
    EXPECT_EQ(dictionary_->asked[0].first, "Run");
    EXPECT_EQ(dictionary_->asked[0].second, "Title");
    dictionary_->answer(found(DictionaryLookup::Status::ok));  // no senses, still found
    EXPECT_EQ(last(), (WordLookupOutcome{found(DictionaryLookup::Status::ok), std::nullopt}));
    EXPECT_EQ(generating_, 0);
    clock_->advance(10);  // the deadline timer runs out harmlessly
    EXPECT_EQ(results_.size(), 1u);
}

TEST_F(GeneratingDictionaryTest, TheDictionaryDeadlineFailsTheLookup) {
    look("slow");
    clock_->advance(2.29);
    EXPECT_TRUE(results_.empty());
    clock_->advance(0.01);
    ASSERT_EQ(results_.size(), 1u);
    EXPECT_EQ(results_[0].error(), CallFailure::timeout());
    dictionary_->answer(found(DictionaryLookup::Status::ok));  // late: dropped
    EXPECT_EQ(results_.size(), 1u);

    look("w");
    dictionary_->answer(fail(CallFailure::authRequired()));
    EXPECT_EQ(results_.back().error(), CallFailure::authRequired());
    EXPECT_TRUE(generator_->asked.empty());
}

TEST_F(GeneratingDictionaryTest, SkipsWithoutTitleKeyOrValidLemma) {
    look("Zorp", std::nullopt);
    dictionary_->answer(found(DictionaryLookup::Status::notFound, "zorp"));
    EXPECT_EQ(last(),
              (WordLookupOutcome{GeneratingDictionary::notFound("Zorp", "zorp"), "no_title"}));

    look("Zorp", " \u200b ");
    dictionary_->answer(found(DictionaryLookup::Status::notFound));
    EXPECT_EQ(last().generation, "no_title");

    look("abc1");
    dictionary_->answer(found(DictionaryLookup::Status::notFound));
    EXPECT_EQ(last(), (WordLookupOutcome{GeneratingDictionary::notFound("abc1", std::nullopt),
                                         "lemma_invalid"}));
    look("ok");
    dictionary_->answer(found(DictionaryLookup::Status::notFound, "café"));  // the server's lemma
    EXPECT_EQ(last().generation, "lemma_invalid");
    EXPECT_EQ(generating_, 0);
    EXPECT_TRUE(generator_->asked.empty());
}

TEST_F(GeneratingDictionaryTest, GeneratesForTheServerLemmaWithinItsDeadline) {
    look("Grokked", "  Docs — Page\u200b");
    dictionary_->answer(found(DictionaryLookup::Status::notFound, "Grok"));
    EXPECT_EQ(generating_, 1);
    ASSERT_EQ(generator_->asked.size(), 1u);
    EXPECT_EQ(generator_->asked[0].lemma, "grok");
    EXPECT_EQ(generator_->asked[0].titleKey, "Docs — Page");
    EXPECT_EQ(generator_->asked[0].word, "Grokked");

    DictionaryLookup::Result made = found(DictionaryLookup::Status::ok, "grok");
    made.matchedBy = "generated";
    generator_->answer(Outcome::made(made));
    EXPECT_EQ(last(), (WordLookupOutcome{made, "made"}));

    // A generation still running at 8.3 s is a "failed" label, not a failure.
    look("Blorp");
    clock_->advance(1);
    dictionary_->answer(found(DictionaryLookup::Status::notFound));
    EXPECT_EQ(generator_->asked.back().lemma, "blorp");
    clock_->advance(8.29);
    EXPECT_EQ(results_.size(), 1u);
    clock_->advance(0.01);
    EXPECT_EQ(last(),
              (WordLookupOutcome{GeneratingDictionary::notFound("Blorp", std::nullopt), "failed"}));
    generator_->answer(Outcome::made(made));  // late: dropped
    EXPECT_EQ(results_.size(), 2u);
    EXPECT_EQ(generating_, 2);
}

// A word's cards wait for the slowest lookup that still answers, and a second more to show it:
// a dictionary miss just before its deadline, then a generation that never answers.
TEST_F(GeneratingDictionaryTest, TheSlowestLookupEndsASecondBeforeTheWordCardsStopWaiting) {
    look("Blorp");
    clock_->advance(LookupTimes::dictionaryDeadline - 0.01);
    dictionary_->answer(found(DictionaryLookup::Status::notFound));
    clock_->advance(LookupTimes::generationDeadline);
    ASSERT_EQ(results_.size(), 1u);
    EXPECT_EQ(last().generation, "failed");
    EXPECT_LE(clock_->elapsed() + 1.0, LookupTimes::wordLoadingLimit);
}

TEST_F(GeneratingDictionaryTest, GenerationOutcomesMapToLabelsOrFailures) {
    ServerRejection update{426, "app_update_required", "update"};
    ServerRejection other{400, "bad_input", "x"};
    struct Case {
        Outcome outcome;
        std::optional<std::string> label;
        std::optional<CallFailure> failure;
    };
    std::vector<Case> cases = {
        {Outcome::rejected("korean_invalid"), "rejected", std::nullopt},
        {Outcome::failed(CallFailure::quota()), "quota", std::nullopt},
        // A refusal for good is told apart from a failure that may pass.
        {Outcome::failed(CallFailure::rejectedDetail(other)), "refused", std::nullopt},
        {Outcome::failed(CallFailure::rejected(403)), "refused", std::nullopt},
        {Outcome::failed(CallFailure::rejected(503)), "failed", std::nullopt},
        {Outcome::failed(CallFailure::rejected(429)), "failed", std::nullopt},
        {Outcome::failed(CallFailure::badShape()), "failed", std::nullopt},
        {Outcome::failed(CallFailure::authRequired()), "failed", std::nullopt},
        {Outcome::failed(CallFailure::rejectedDetail(update)), std::nullopt,
         CallFailure::rejectedDetail(update)},
        {Outcome::failed(CallFailure::stale()), std::nullopt, CallFailure::stale()},
    };
    for (const auto& c : cases) {
        look("Quux");
        dictionary_->answer(found(DictionaryLookup::Status::notFound, "quux"));
        generator_->answer(c.outcome);
        ASSERT_FALSE(results_.empty());
        if (c.label) {
            EXPECT_EQ(last(), (WordLookupOutcome{GeneratingDictionary::notFound("Quux", "quux"),
                                                 *c.label}));
        } else {
            ASSERT_FALSE(results_.back().has_value());
            EXPECT_EQ(results_.back().error(), *c.failure);
        }
    }
    EXPECT_EQ(notWords_->size(), 0u);
}

TEST_F(GeneratingDictionaryTest, NonWordsAreRememberedInAnyCaseForTenMinutes) {
    look("Asdfg");
    dictionary_->answer(found(DictionaryLookup::Status::notFound));
    generator_->answer(Outcome::notAWord());
    EXPECT_EQ(last().generation, "not_a_word");

    look("ASDFG");
    EXPECT_EQ(last(), (WordLookupOutcome{GeneratingDictionary::notFound("ASDFG", std::nullopt),
                                         "remembered"}));
    EXPECT_EQ(dictionary_->asked.size(), 1u);
    EXPECT_EQ(log_.messages("lookup"),
              std::vector<std::string>{"단어 아님 기억 — 서버를 부르지 않음 word=" +
                                       Log::redact("asdfg")});
    clock_->advance(600.5);
    look("asdfg");
    EXPECT_EQ(dictionary_->asked.size(), 2u);
    EXPECT_EQ(generating_, 1);
}

}  // namespace
}  // namespace parlendo
