#include <gtest/gtest.h>

#include "saving/SaveReceipt.h"
#include "saving/SaveVerdict.h"
#include "saving/SaveWork.h"

namespace parlendo {
namespace {

using Sense = SaveWork::Sense;

Sense sense(std::string definition, std::string korean = "뜻", std::string example = "ex",
            std::string pos = "noun") {
    return Sense{std::move(korean), std::move(definition), std::move(example), std::move(pos)};
}

SaveWork work(std::vector<Sense> senses, std::optional<std::string> phonetic = "/x/",
              std::optional<std::string> korean = "말") {
    return SaveWork("A1B2C3D4-0000-4000-8000-000000000001", "SRC-1", "Serendipity", phonetic,
                    korean, std::move(senses), 1'780'000'000.0);
}

TEST(SaveWorkTest, KeepsAtMostTwoSensesAndSendsThemAsParameters) {
    auto three = work({sense("a"), sense("b"), sense("c")});
    ASSERT_EQ(three.senses.size(), 2u);
    EXPECT_EQ(three.senses[1].definition, "b");
    EXPECT_EQ(three.rpcParams()["p_senses"].size(), 2u);
    EXPECT_EQ(work({sense("a")}).rpcParams()["p_senses"].size(), 1u);
    EXPECT_EQ(work({}).rpcParams()["p_senses"], Json::array());

    const Json params = work({sense("to go", "가다", "", "verb")}).rpcParams();
    EXPECT_EQ(params, (Json{{"p_source_id", "SRC-1"},
                            {"p_lemma", "serendipity"},
                            {"p_phonetic", "/x/"},
                            {"p_korean", "말"},
                            {"p_senses", Json::array({Json{{"korean", "가다"},
                                                           {"definition", "to go"},
                                                           {"example", nullptr},
                                                           {"pos", "verb"}}})}}));
    EXPECT_EQ(work({}).lemma, "Serendipity");
}

TEST(SaveWorkTest, OnlyAbsenceBecomesNullAndNothingIsTrimmed) {
    auto absent = work({}, std::nullopt, std::nullopt).rpcParams();
    EXPECT_TRUE(absent["p_phonetic"].is_null());
    EXPECT_TRUE(absent["p_korean"].is_null());
    auto empty = work({sense(" ", "", "", "")}, "", "").rpcParams();
    EXPECT_EQ(empty["p_phonetic"], "");
    EXPECT_EQ(empty["p_korean"], "");
    EXPECT_EQ(empty["p_senses"][0]["definition"], " ");
    EXPECT_TRUE(empty["p_senses"][0]["korean"].is_null());
    EXPECT_FALSE(empty.contains("user_id"));
    // Final sigma as the server lower-cases it.
    SaveWork greek("id", "s", "ΟΔΟΣ", std::nullopt, std::nullopt, {}, 0);
    EXPECT_EQ(greek.rpcParams()["p_lemma"], "οδος");
}

TEST(SaveWorkTest, WorthSavingLooksAtTheFirstTwoDefinitions) {
    EXPECT_FALSE(SaveWork::hasDefinitions({}));
    EXPECT_FALSE(SaveWork::hasDefinitions({sense(" - ")}));
    EXPECT_FALSE(SaveWork::hasDefinitions({sense("\u3000")}));
    EXPECT_TRUE(SaveWork::hasDefinitions({sense("a thing")}));
    EXPECT_FALSE(SaveWork::hasDefinitions({sense("a thing"), sense("")}));
    EXPECT_FALSE(SaveWork::hasDefinitions({sense("-"), sense("a thing")}));
    EXPECT_TRUE(SaveWork::hasDefinitions({sense("a"), sense("b"), sense("")}));
    EXPECT_TRUE(SaveWork::hasDefinitions({sense("--"), sense("b")}));
}

TEST(SaveReceiptTest, ParsesOnlyAnOkReceiptWithAKnownState) {
    auto minimal =
        SaveReceipt::parse(R"({"status":"ok","word_id":"w1","snapshot_state":"preserved"})");
    ASSERT_TRUE(minimal);
    EXPECT_EQ(*minimal,
              (SaveReceipt{"w1", false, false, SaveReceipt::SnapshotState::preserved, 0}));

    auto full = SaveReceipt::parse(
        R"({"status":"ok","word_id":"w2","snapshot_state":"inserted","created":true,)"
        R"("resurrected":true,"sense_count":2})");
    ASSERT_TRUE(full);
    EXPECT_EQ(*full, (SaveReceipt{"w2", true, true, SaveReceipt::SnapshotState::inserted, 2}));

    auto loose = SaveReceipt::parse(
        R"({"status":"ok","word_id":"w","snapshot_state":"empty","created":1,"sense_count":"2"})");
    ASSERT_TRUE(loose);
    EXPECT_FALSE(loose->created);
    EXPECT_EQ(loose->senseCount, 0);

    for (const char* body :
         {"", "[]", "{}", "not json", R"({"status":"OK","word_id":"w","snapshot_state":"empty"})",
          R"({"status":"ok","word_id":"w","snapshot_state":"Empty"})",
          R"({"status":"ok","word_id":7,"snapshot_state":"empty"})",
          R"({"status":"ok","snapshot_state":"empty"})",
          R"({"word_id":"w","snapshot_state":"empty"})",
          R"([{"status":"ok","word_id":"w","snapshot_state":"empty"}])"}) {
        EXPECT_FALSE(SaveReceipt::parse(body)) << body;
    }
    EXPECT_EQ(SaveReceipt::fromString("preserved"), SaveReceipt::SnapshotState::preserved);
    EXPECT_FALSE(SaveReceipt::fromString("INSERTED"));
}

TEST(SaveJudgeTest, TurnsEveryFailureIntoItsVerdict) {
    auto detail = [](std::string code, std::string message = "") {
        return CallFailure::rejectedDetail(
            ServerRejection{400, std::move(code), std::move(message)});
    };
    EXPECT_EQ(SaveJudge::judge(CallFailure::rejected(503)), SaveVerdict::terminal("http_503"));
    EXPECT_EQ(SaveJudge::judge(detail("PGRST202")), SaveVerdict::rpcMissing());
    EXPECT_EQ(SaveJudge::judge(detail("40001")), SaveVerdict::retry("40001"));
    EXPECT_EQ(SaveJudge::judge(detail("40P01")), SaveVerdict::retry("40P01"));
    EXPECT_EQ(SaveJudge::judge(detail("P0001", "folder_cycle")),
              SaveVerdict::terminal("folder_cycle"));
    EXPECT_EQ(SaveJudge::judge(detail("P0001", "source_not_found")),
              SaveVerdict::terminal("source_not_found"));
    EXPECT_EQ(SaveJudge::judge(detail("P0001", "Folder_Cycle")),
              SaveVerdict::terminal("unknown_p0001"));
    EXPECT_EQ(SaveJudge::judge(detail("23503")), SaveVerdict::terminal("23503"));
    EXPECT_EQ(SaveJudge::judge(CallFailure::authRequired()), SaveVerdict::drop("auth_required"));
    EXPECT_EQ(SaveJudge::judge(CallFailure::stale()), SaveVerdict::drop("stale"));
    EXPECT_EQ(SaveJudge::judge(CallFailure::timeout()), SaveVerdict::retry("timeout"));
    EXPECT_EQ(SaveJudge::judge(CallFailure::unavailable()), SaveVerdict::retry("unavailable"));
    EXPECT_EQ(SaveJudge::judge(CallFailure::quota()), SaveVerdict::retry("quota"));
    EXPECT_EQ(SaveJudge::judge(CallFailure::badShape()), SaveVerdict::terminal("bad_shape"));
    EXPECT_EQ(SaveJudge::terminalCodes().size(), 8u);
}

}  // namespace
}  // namespace parlendo
