#include "AITalkRig.h"
#include "aitalk/DriveAsk.h"
#include "foundation/PyText.h"

#include <gtest/gtest.h>

namespace parlendo {
namespace {

using testing::AITalkRig;
using testing::FakeServerCalling;

constexpr const char* kPopups = "/rest/v1/drive_popups";
constexpr const char* kDrives = "/rest/v1/drive_drives";

struct AskRig : AITalkRig {
    std::shared_ptr<FakeServerCalling> edge = std::make_shared<FakeServerCalling>();
    std::shared_ptr<DriveAsk> ask = std::make_shared<DriveAsk>(edge, drive, "0.2.0", clock);

    explicit AskRig(bool scripted = true) {
        if (!scripted) {
            return;
        }
        server->ok("GET", kPopups, R"([{"id":"pop-1","drive_id":"drv-1","name":"설명해 줘"}])");
        server->ok("GET", kDrives, R"([{"id":"drv-1","kind":"study","name":"물리"}])");
    }
    PopupLookup lookup() {
        std::optional<PopupLookup> out;
        ask->activePopup([&](PopupLookup r) { out = std::move(r); });
        EXPECT_TRUE(out.has_value());
        return out ? *out : PopupLookup(fail(DriveFailure("none")));
    }
    AskResult first(std::string selection, AskMode mode, std::optional<PageHint> hint) {
        std::optional<AskResult> out;
        ask->ask(ActivePopup{"pop-1", "drv-1", "", ""}, std::move(selection), mode, hint,
                 [&](AskResult r) { out = std::move(r); });
        EXPECT_TRUE(out.has_value());
        return out ? *out : AskResult(fail(DriveFailure("none")));
    }
    AskResult answer(const std::string& body, bool followup = false) {
        edge->ok("POST", DriveAsk::askPath, body);
        if (followup) {
            std::optional<AskResult> out;
            ask->followup("t-1", "why?", [&](AskResult r) { out = std::move(r); });
            return *out;
        }
        return first("a selection", AskMode::selectionOnly, std::nullopt);
    }
    size_t popupReads() const { return calls(kPopups).size(); }
};

TEST(DriveAsk, TheActivePopupIsKeptThirtySecondsPerUser) {
    AskRig rig;
    auto popup = rig.lookup();
    ASSERT_TRUE(popup && *popup);
    EXPECT_EQ(**popup, (ActivePopup{"pop-1", "drv-1", "설명해 줘", "물리"}));
    rig.lookup();
    EXPECT_EQ(rig.popupReads(), 1u);
    rig.ask->invalidate();
    rig.lookup();
    EXPECT_EQ(rig.popupReads(), 2u);
    rig.clock->advance(29.9);
    rig.lookup();
    EXPECT_EQ(rig.popupReads(), 2u);
    rig.clock->advance(0.1);
    rig.lookup();
    EXPECT_EQ(rig.popupReads(), 3u);
    rig.session->setUser("user-2");
    rig.lookup();
    EXPECT_EQ(rig.popupReads(), 4u);
}

TEST(DriveAsk, NoActivePopupIsKeptTooAndAMissingProjectMeansNone) {
    AskRig rig(false);
    rig.server->ok("GET", kPopups, R"([{"id":"pop-1","drive_id":"drv-1"}])");
    rig.server->ok("GET", kDrives, "[]");
    auto popup = rig.lookup();
    ASSERT_TRUE(popup);
    EXPECT_FALSE(popup->has_value());
    EXPECT_FALSE(rig.lookup()->has_value());
    EXPECT_EQ(rig.popupReads(), 1u);
}

TEST(DriveAsk, ALookupOverlappingAnInvalidationAnswersButIsNotKept) {
    AskRig rig;
    rig.server->hold(true);
    std::optional<PopupLookup> out;
    rig.ask->activePopup([&](PopupLookup r) { out = std::move(r); });
    rig.ask->invalidate();
    rig.server->releaseNext();
    rig.server->releaseNext();
    ASSERT_TRUE(out && *out && **out);
    rig.server->hold(false);
    rig.lookup();
    EXPECT_EQ(rig.popupReads(), 2u);
}

TEST(DriveAsk, LookupFailuresBecomeTheirCodes) {
    AskRig rig(false);
    rig.session->setUser(std::nullopt);
    EXPECT_EQ(rig.lookup().error().code, "auth_required");
    EXPECT_EQ(rig.server->count(), 0u);
    rig.session->setUser("user-1");
    rig.server->failure("GET", kPopups, CallFailureDetail(CallFailure::stale()));
    EXPECT_EQ(rig.lookup().error().code, "auth_required");
    rig.server->failure("GET", kPopups,
                        CallFailureDetail(testing::rejection(403, "42501", "denied")));
    EXPECT_EQ(rig.lookup().error().code, "server_error");
    rig.server->failure("GET", kPopups, CallFailureDetail(CallFailure::timeout()));
    EXPECT_EQ(rig.lookup().error().code, "network_unavailable");
}

TEST(DriveAsk, TheFirstQuestionIsCutCheckedAndShaped) {
    AskRig rig;
    EXPECT_EQ(*rig.first("a", AskMode::document, std::nullopt),
              AskOutcome(AskOutcomes::NotFound{}));
    EXPECT_EQ(rig.edge->count(), 0u);
    EXPECT_EQ(rig.first(" \n ", AskMode::selectionOnly, std::nullopt).error().code,
              "selection_len_out_of_range");

    rig.edge->ok("POST", DriveAsk::askPath, R"({"status":"ok","answer":"답","thread_id":"t-9"})");
    const std::string long_(2500, 'w');
    auto answer = rig.first("  " + long_ + "  ", AskMode::document, PageHint{"DOC-ABC", 4});
    EXPECT_EQ(*answer, AskOutcome(AskOutcomes::Answer{"답", "t-9"}));
    auto call = rig.edge->calls().back();
    EXPECT_EQ(call.timeout, 30.0);
    EXPECT_EQ(*call.json, (Json{{"popup_id", "pop-1"},
                                {"selection", std::string(2000, 'w')},
                                {"mode", "document"},
                                {"app_version", "0.2.0"},
                                {"document_id", "doc-abc"},
                                {"page_no", 4}}));

    rig.first("plain", AskMode::selectionOnly, PageHint{"doc", 1});
    EXPECT_EQ(*rig.edge->calls().back().json, (Json{{"popup_id", "pop-1"},
                                                    {"selection", "plain"},
                                                    {"mode", "selection_only"},
                                                    {"app_version", "0.2.0"}}));
}

TEST(DriveAsk, RepliesAreReadStrictly) {
    AskRig rig;
    EXPECT_EQ(*rig.answer(R"({"status":"busy_now"})"),
              AskOutcome(AskOutcomes::Rejected{"busy_now"}));
    EXPECT_EQ(*rig.answer(R"({"status":"denied","reason":"Not Allowed"})"),
              AskOutcome(AskOutcomes::Rejected{"other"}));
    EXPECT_EQ(*rig.answer(R"({"status":"denied","reason":"thread_turn_limit"})"),
              AskOutcome(AskOutcomes::Rejected{"thread_turn_limit"}));
    EXPECT_EQ(*rig.answer(R"({"status":"not_found"})"), AskOutcome(AskOutcomes::NotFound{}));
    EXPECT_EQ(*rig.answer(R"({"status":"ok","answer":5})"),
              AskOutcome(AskOutcomes::Answer{"", std::nullopt}));
    EXPECT_EQ(rig.answer(R"([{"status":"ok"}])").error().code, "server_error");
    EXPECT_EQ(rig.answer(R"({"answer":"x"})").error().code, "server_error");
    EXPECT_EQ(rig.answer("not json").error().code, "server_error");
    EXPECT_EQ(*rig.answer(R"({"status":"ok","answer":"more","thread_id":"t-2"})", true),
              AskOutcome(AskOutcomes::Answer{"more", std::nullopt}));
    EXPECT_EQ(*rig.edge->calls().back().json,
              (Json{{"thread_id", "t-1"}, {"message", "why?"}, {"app_version", "0.2.0"}}));
}

TEST(DriveAsk, FollowUpsAreCutToFiveHundredScalars) {
    AskRig rig;
    std::optional<AskResult> out;
    rig.ask->followup("t-1", "\t ", [&](AskResult r) { out = std::move(r); });
    EXPECT_EQ(out->error().code, "message_len_out_of_range");
    rig.edge->ok("POST", DriveAsk::askPath, R"({"status":"ok","answer":"a"})");
    std::string korean;
    for (int i = 0; i < 600; ++i) {
        korean += "가";
    }
    rig.ask->followup("t-1", korean, [&](AskResult r) { out = std::move(r); });
    EXPECT_EQ(PyText::count(*json::string(*rig.edge->calls().back().json, "message")), 500u);
}

TEST(DriveAsk, CallFailuresMapToTheMessagesCodes) {
    auto code = [](CallFailureDetail d) {
        return DriveAsk::failure(d);
    };
    using V = ServerContract::Verdict;
    EXPECT_EQ(
        code(CallFailureDetail(CallFailure::rejected(426), 426, std::nullopt,
                               V(ServerContract::Kind::updateRequired, "app_update_required"))),
        DriveFailure("app_update_required"));
    EXPECT_EQ(code(CallFailureDetail(CallFailure::unavailable(), 503, std::nullopt,
                                     V(ServerContract::Kind::busy, "server_busy"))),
              DriveFailure("server_error"));
    EXPECT_EQ(code(CallFailureDetail(CallFailure::stale())), DriveFailure("auth_required"));
    EXPECT_EQ(code(CallFailureDetail(CallFailure::timeout())), DriveFailure("upstream_timeout"));
    EXPECT_EQ(code(CallFailureDetail(CallFailure::unavailable())),
              DriveFailure("network_unavailable"));
    EXPECT_EQ(code(CallFailureDetail(CallFailure::unavailable(), 502)),
              DriveFailure("server_error"));
    EXPECT_EQ(code(CallFailureDetail(CallFailure::quota(), 429, R"({"scope":"minute"})")),
              DriveFailure("quota_exceeded", "minute"));
    EXPECT_EQ(code(CallFailureDetail(CallFailure::quota(), 429, R"({"scope":"week"})")),
              DriveFailure("quota_exceeded"));
    EXPECT_EQ(code(CallFailureDetail(CallFailure::badShape(), 200)), DriveFailure("server_error"));
}

}  // namespace
}  // namespace parlendo
