#include "FakeClock.h"
#include "HeldCompletions.h"
#include "LogCapture.h"
#include "aitalk/AITalkSession.h"
#include "aitalk/AITalkText.h"

#include <gtest/gtest.h>

namespace parlendo {
namespace {

using Phase = AnswerState::Phase;
using Role = AnswerState::Turn::Role;
using testing::FakeClock;
using testing::HeldCompletions;
using testing::LogCapture;

const ActivePopup popup{"pop-1", "drv-1", "설명", "물리"};

class FakeAsking final : public Asking {
  public:
    void activePopup(Completion<void(PopupLookup)> done) override { popups.hold(std::move(done)); }
    void ask(ActivePopup, std::string selection, AskMode mode, std::optional<PageHint> hint,
             Completion<void(AskResult)> done) override {
        asked.push_back({std::move(selection), mode, std::move(hint)});
        answers.hold(std::move(done));
    }
    void followup(std::string thread, std::string message,
                  Completion<void(AskResult)> done) override {
        followups.emplace_back(std::move(thread), std::move(message));
        answers.hold(std::move(done));
    }
    struct Asked {
        std::string selection;
        AskMode mode;
        std::optional<PageHint> hint;
    };
    HeldCompletions<PopupLookup> popups;
    HeldCompletions<AskResult> answers;
    std::vector<Asked> asked;
    std::vector<std::pair<std::string, std::string>> followups;
};

class FakeScreen final : public AnswerScreen {
  public:
    void show(const AnswerState& state) override { shown.push_back(state); }
    void hide() override { ++hides; }
    std::vector<AnswerState> shown;
    int hides = 0;
};

struct SessionRig {
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    std::shared_ptr<FakeAsking> asking = std::make_shared<FakeAsking>();
    std::shared_ptr<FakeScreen> screen = std::make_shared<FakeScreen>();
    std::vector<std::string> notices;
    HeldCompletions<std::optional<PageHint>> locates;
    std::vector<bool> checked;
    std::shared_ptr<AITalkSession> session = std::make_shared<AITalkSession>(
        asking, screen, [this](const std::string& text) { notices.push_back(text); },
        [this](std::string, ActivePopup, Completion<void(std::optional<PageHint>)> done) {
            locates.hold(std::move(done));
        },
        clock);
    LogCapture log;

    SessionRig() {
        session->onServerChecked = [this](bool on) {
            checked.push_back(on);
        };
    }
    // Starts a conversation up to the first question on its way.
    void open(std::optional<PageHint> hint = PageHint{"doc-1", 3}) {
        session->start("the selected passage");
        asking->popups.answerOldest(std::optional<ActivePopup>(popup));
        locates.answerOldest(hint);
    }
    void answer(std::string text, std::optional<std::string> thread = "t-1") {
        clock->advance(0.25);
        asking->answers.answerOldest(AskOutcome(AskOutcomes::Answer{std::move(text), thread}));
    }
    const AnswerState& state() const { return session->state(); }
};

TEST(AITalkSession, AQuestionRunsFromThePopupCheckToTheAnswer) {
    SessionRig rig;
    rig.open();
    EXPECT_TRUE(rig.session->isOpen());
    EXPECT_TRUE(rig.session->busy());
    ASSERT_EQ(rig.asking->asked.size(), 1u);
    EXPECT_EQ(rig.asking->asked[0].mode, AskMode::document);
    EXPECT_EQ(rig.asking->asked[0].hint, (PageHint{"doc-1", 3}));
    EXPECT_EQ(rig.checked, std::vector<bool>{true});
    EXPECT_EQ(rig.screen->shown.front().phase, Phase::loading);

    rig.answer("**답**이에요");
    EXPECT_FALSE(rig.session->busy());
    EXPECT_EQ(rig.state().phase, Phase::answered);
    EXPECT_EQ(rig.state().turns,
              (std::vector<AnswerState::Turn>{{Role::assistant, "**답**이에요"}}));
    EXPECT_EQ(rig.state().answerSeq, 1);
    EXPECT_TRUE(rig.state().canAsk());
    EXPECT_EQ(rig.screen->shown.back(), rig.state());
    EXPECT_TRUE(rig.log.has("ai_talk", "질문 시작 sid=1 selection_len=20"));
    EXPECT_TRUE(rig.log.has("ai_talk", "답 ok sid=1 mode=document hint=true answer_len=8 ms=250"));
}

TEST(AITalkSession, NothingToAskGivesANoticeAndNoWindow) {
    SessionRig rig;
    rig.session->start(std::nullopt);
    rig.session->start(" \n\t");
    EXPECT_EQ(rig.notices, (std::vector<std::string>{AITalkText::noText, AITalkText::noText}));
    EXPECT_EQ(rig.log.count("ai_talk", "무시 reason=no_text"), 2u);

    rig.session->start("text");
    rig.asking->popups.answerOldest(std::optional<ActivePopup>());
    EXPECT_EQ(rig.checked, std::vector<bool>{false});
    EXPECT_EQ(rig.notices.back(), AITalkText::noPopup);
    EXPECT_FALSE(rig.session->isOpen());
    EXPECT_FALSE(rig.session->busy());

    rig.session->start("text");
    rig.asking->popups.answerOldest(fail(DriveFailure("quota_exceeded", "day")));
    EXPECT_EQ(rig.notices.back(), AITalkText::quotaDay);
    EXPECT_EQ(rig.checked.size(), 1u) << "a failed check tells nothing";
    EXPECT_TRUE(rig.screen->shown.empty());
}

TEST(AITalkSession, ALongSelectionIsCutAndABusySessionRefusesAnother) {
    SessionRig rig;
    rig.session->start(std::string(2500, 'x'));
    rig.session->start("another");
    EXPECT_EQ(rig.notices, std::vector<std::string>{AITalkText::busy});
    EXPECT_TRUE(rig.log.has("ai_talk", "무시 reason=busy"));
    rig.asking->popups.answerOldest(std::optional<ActivePopup>(popup));
    rig.locates.answerOldest(std::nullopt);
    EXPECT_EQ(rig.session->selection().size(), 2000u);
    EXPECT_TRUE(rig.log.has("ai_talk", "질문 시작 sid=1 selection_len=2000"));
}

TEST(AITalkSession, NotFoundOffersTheSelectionAloneAndFailuresOfferARetry) {
    SessionRig rig;
    rig.open(std::nullopt);
    rig.session->retry();  // not failed: nothing
    rig.asking->answers.answerOldest(AskOutcome(AskOutcomes::NotFound{}));
    EXPECT_EQ(rig.state().phase, Phase::notFound);
    EXPECT_EQ(rig.state().notice, std::optional<std::string>(AITalkText::notFound));
    EXPECT_TRUE(rig.log.contains("ai_talk", "답 not_found sid=1 mode=document hint=false"));

    rig.session->selectionOnly();
    EXPECT_EQ(rig.state().phase, Phase::loading);
    EXPECT_EQ(rig.state().notice, std::nullopt);
    ASSERT_EQ(rig.asking->asked.size(), 2u);
    EXPECT_EQ(rig.asking->asked[1].mode, AskMode::selectionOnly);
    EXPECT_EQ(rig.locates.size(), 0) << "the page is not located without it";
    rig.session->selectionOnly();  // busy: nothing
    EXPECT_EQ(rig.asking->asked.size(), 2u);

    rig.asking->answers.answerOldest(fail(DriveFailure("network_unavailable")));
    EXPECT_EQ(rig.state().phase, Phase::failed);
    EXPECT_EQ(rig.state().notice, std::optional<std::string>(AITalkText::network));
    rig.session->retry();
    EXPECT_EQ(rig.asking->asked.back().mode, AskMode::selectionOnly) << "the last mode again";
    rig.asking->answers.answerOldest(AskOutcome(AskOutcomes::Rejected{"blocked_topic"}));
    EXPECT_EQ(rig.state().phase, Phase::failed);
    EXPECT_EQ(rig.state().notice, std::optional<std::string>(AITalkText::retry));
}

TEST(AITalkSession, AnAnswerForAClosedConversationIsDropped) {
    SessionRig rig;
    rig.open();
    rig.session->close("button");
    EXPECT_EQ(rig.screen->hides, 1);
    EXPECT_TRUE(rig.log.has("ai_talk", "창 닫힘 sid=1 reason=button waiting=true"));
    const auto fresh = rig.state();
    rig.answer("late");
    EXPECT_EQ(rig.state(), fresh);
    EXPECT_TRUE(rig.log.contains("ai_talk", "늦은 답 버림 sid=1"));

    // A page found after the close asks nothing.
    rig.session->start("again");
    rig.asking->popups.answerOldest(std::optional<ActivePopup>(popup));
    rig.session->close("escape");
    rig.locates.answerOldest(PageHint{"doc-1", 1});
    EXPECT_EQ(rig.asking->asked.size(), 1u);
}

TEST(AITalkSession, FollowUpsContinueTheThread) {
    SessionRig rig;
    rig.open();
    rig.session->followup("too early");
    EXPECT_TRUE(rig.asking->followups.empty());
    rig.answer("first");
    rig.session->followup("  \n ");
    EXPECT_TRUE(rig.asking->followups.empty());

    rig.session->followup("  why?  ");
    ASSERT_EQ(rig.asking->followups.size(), 1u);
    EXPECT_EQ(rig.asking->followups[0], std::make_pair(std::string("t-1"), std::string("why?")));
    EXPECT_TRUE(rig.state().pending);
    EXPECT_FALSE(rig.state().canAsk());
    rig.session->followup("second while pending");
    EXPECT_EQ(rig.asking->followups.size(), 1u);

    rig.answer("because", "t-other");
    EXPECT_EQ(rig.state().turns.size(), 3u);
    EXPECT_EQ(rig.state().turns[1], (AnswerState::Turn{Role::user, "why?"}));
    EXPECT_EQ(rig.state().turns[2], (AnswerState::Turn{Role::assistant, "because"}));
    EXPECT_EQ(rig.state().answerSeq, 1) << "follow-up answers keep the sequence";
    EXPECT_EQ(rig.session->threadID(), std::optional<std::string>("t-1"));
    EXPECT_TRUE(rig.log.has("ai_talk", "이어 묻기 ok sid=1 message_len=4 answer_len=7 ms=250"));

    rig.session->followup("more");
    rig.asking->answers.answerOldest(AskOutcome(AskOutcomes::Rejected{"thread_turn_limit"}));
    EXPECT_EQ(rig.state().phase, Phase::answered);
    EXPECT_EQ(rig.state().notice, std::optional<std::string>(AITalkText::turnLimit));
    EXPECT_EQ(rig.state().turns.back(), (AnswerState::Turn{Role::user, "more"}));

    rig.session->followup("and?");
    rig.asking->answers.answerOldest(fail(DriveFailure("quota_exceeded", "minute")));
    EXPECT_EQ(rig.state().notice, std::optional<std::string>(AITalkText::quotaMinute));
    EXPECT_TRUE(
        rig.log.contains("ai_talk", "이어 묻기 실패 sid=1 reason=quota_exceeded scope=minute"));
}

TEST(AITalkSession, AnAnswerWithoutThreadTakesNoFollowUp) {
    SessionRig rig;
    rig.open();
    rig.answer("alone", std::nullopt);
    EXPECT_FALSE(rig.state().hasThread);
    rig.session->followup("why?");
    EXPECT_TRUE(rig.asking->followups.empty());
}

TEST(AITalkSession, ANewStartReplacesAnIdleConversation) {
    SessionRig rig;
    rig.open();
    rig.answer("first");
    rig.session->start("next passage");
    rig.asking->popups.answerOldest(std::optional<ActivePopup>(popup));
    EXPECT_EQ(rig.session->sid(), 2);
    EXPECT_EQ(rig.state(), AnswerState{});
    EXPECT_EQ(rig.session->threadID(), std::nullopt);
}

}  // namespace
}  // namespace parlendo
