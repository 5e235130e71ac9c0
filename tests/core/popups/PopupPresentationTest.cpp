#include <gtest/gtest.h>

#include "popups/PopupPresentation.h"

namespace parlendo {
namespace {

namespace P = PopupPresentation;

Json sense(const std::string& korean, const std::string& definition,
           const std::string& example = "", const std::string& pos = "noun") {
    return Json{{"korean", korean}, {"definition", definition}, {"example", example}, {"pos", pos}};
}

TEST(PopupPresentationTest, TableLookups) {
    EXPECT_EQ(P::settingLabel("  단어 \n"), "· 단어");
    EXPECT_EQ(P::settingLabel(" \u3000 "), std::nullopt);
    EXPECT_EQ(P::validContents({"korean", "pos", "korean", "example"}),
              (std::vector<std::string>{"korean", "example"}));
    EXPECT_EQ(P::input("translation"), PopupInput::sentence);
    EXPECT_EQ(P::input("phonetic"), PopupInput::word);
    EXPECT_EQ(P::input("pos"), std::nullopt);
    EXPECT_EQ(P::extract("translation", Json::object()), std::nullopt);
}

TEST(PopupPresentationTest, DefinitionLinesAreCappedAndCut) {
    Json row = {{"senses", Json::array()}};
    for (int i = 0; i < 5; ++i) {
        row["senses"].push_back(
            sense("", "  def " + std::to_string(i) + " ", "", i == 0 ? "" : "verb"));
    }
    row["senses"][1]["definition"] = std::string(200, 'x');
    auto section = P::extract("definition", row);
    ASSERT_TRUE(section);
    EXPECT_EQ(section->label, "정의");
    EXPECT_EQ(section->text, "[] def 0\n[verb] " + std::string(90, 'x') + "\n[verb] def 2");

    // The cut counts code points: 90 Hangul syllables stay whole.
    Json korean = {{"senses",
                    {sense(
                        "", std::string(100, ' ') + "가나다라마바사아자차" + [] {
                            std::string s;
                            for (int i = 0; i < 10; ++i) {
                                s += "가나다라마바사아자차";
                            }
                            return s;
                        }())}}};
    auto cut = P::extract("definition", korean);
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->text.size(), std::string("[noun] ").size() + 90 * 3);
}

TEST(PopupPresentationTest, ExamplesFallBackToMeanings) {
    Json row = {{"senses", {sense("뜻", "", "  ")}},
                {"meanings",
                 {{{"part_of_speech", "verb"},
                   {"definitions", {{{"definition", "to move"}, {"example", " We run. "}}}}},
                  {{"part_of_speech", "noun"}, {"definitions", {{{"definition", "a race"}}}}}}}};
    EXPECT_EQ(P::extract("example", row)->text, "· We run.");
    EXPECT_EQ(P::extract("definition", row)->text, "[verb] to move\n[noun] a race");

    // A non-object inside "senses" empties the whole array; the meanings take over.
    Json broken = row;
    broken["senses"] = Json::array({sense("뜻", "senses def"), 3});
    EXPECT_EQ(P::extract("definition", broken)->text, "[verb] to move\n[noun] a race");
    EXPECT_EQ(P::extract("example", Json{{"senses", "x"}}), std::nullopt);
}

TEST(PopupPresentationTest, KoreanUsesTheFirstTwoSensesOnly) {
    Json three = {
        {"senses", {sense(" 달리다 ", ""), sense("운영하다", "", "", ""), sense("셋", "")}}};
    EXPECT_EQ(P::extract("korean", three)->text, "달리다 [noun]\n운영하다");

    Json late = {{"senses", {sense("", ""), sense(" ", ""), sense("셋째", "")}}};
    EXPECT_EQ(P::extract("korean", late), std::nullopt);
    late["korean"] = " 저장된 뜻 ";
    EXPECT_EQ(P::extract("korean", late)->text, " 저장된 뜻 ");
    EXPECT_EQ(P::extract("korean", late)->label, "한글 뜻");
}

TEST(PopupPresentationTest, SectionsFollowTheSettingsOrder) {
    Json row = {{"phonetic", "/rʌn/"}, {"senses", {sense("달리다", "to move fast", "I run.")}}};
    auto sections = P::sections(row, {"example", "translation", "korean", "phonetic", "example"});
    ASSERT_EQ(sections.size(), 3u);
    EXPECT_EQ(sections[0], (PopupSection{"example", "예문", "· I run."}));
    EXPECT_EQ(sections[1], (PopupSection{"korean", "한글 뜻", "달리다 [noun]"}));
    EXPECT_EQ(sections[2], (PopupSection{"phonetic", "발음", "/rʌn/"}));

    EXPECT_EQ(P::wordBody("run", "← running", row, {"translation"}),
              PopupBody::failure("run", "표시할 내용이 없어요"));
    EXPECT_EQ(P::wordBody("run", "← running", row, {"phonetic"}),
              PopupBody::word("run", "← running", {{"phonetic", "발음", "/rʌn/"}}));
}

DictionaryLookup::Result result(DictionaryLookup::Status status, std::optional<std::string> lemma,
                                std::vector<DictionaryLookup::Sense> senses = {}) {
    DictionaryLookup::Result out;
    out.status = status;
    out.word = "running";
    out.lemma = std::move(lemma);
    out.senses = std::move(senses);
    return out;
}

TEST(PopupPresentationTest, HeadwordsOfDictionaryResults) {
    using Status = DictionaryLookup::Status;
    EXPECT_EQ(P::headword("running", result(Status::ok, "run")),
              std::make_pair(std::string("run"), std::string("← running")));
    EXPECT_EQ(P::headword("run", result(Status::ok, "run")), std::nullopt);
    EXPECT_EQ(P::headword("Run", result(Status::ok, "")), std::nullopt);
    EXPECT_EQ(P::headword("running", result(Status::notFound, "run")), std::nullopt);

    std::vector<std::string> korean{"korean"};
    EXPECT_EQ(P::wordBody("run", result(Status::ok, "run"), korean),
              PopupBody::failure("run", "표시할 내용이 없어요"));
    EXPECT_EQ(P::wordBody("x", result(Status::notFound, std::nullopt), korean),
              PopupBody::failure("running", "표시할 내용이 없어요"));
    EXPECT_EQ(P::wordBody("x", result(Status::notFound, ""), korean),
              PopupBody::failure("", "표시할 내용이 없어요"));
}

TEST(PopupPresentationTest, WordBodiesOfDictionaryResults) {
    using Status = DictionaryLookup::Status;
    auto found = result(Status::ok, "run",
                        {{"달리다", "to move fast", "I run.", "verb"},
                         {"운영하다", "to manage", "", "verb"},
                         {"", "", "She runs a shop.", ""}});
    found.phonetic = "/rʌn/";
    auto body = P::wordBody("running", found, {"example", "korean", "phonetic"});
    EXPECT_EQ(body, PopupBody::word("run", "← running",
                                    {{"example", "예문", "· I run.\n· She runs a shop."},
                                     {"korean", "한글 뜻", "달리다 [verb]\n운영하다 [verb]"},
                                     {"phonetic", "발음", "/rʌn/"}}));
    // The third sense's meaning is never used, and a built row has no stored "korean".
    auto late =
        result(Status::ok, "run", {{"", "a", "", ""}, {"", "b", "", ""}, {"셋", "", "", ""}});
    EXPECT_EQ(P::wordBody("run", late, {"korean"}),
              PopupBody::failure("run", "표시할 내용이 없어요"));
}

TEST(PopupPresentationTest, WordTextsOfStoredRows) {
    Json stored = {{"senses", Json::array()}, {"korean", " 달리다 "}, {"phonetic", ""}};
    EXPECT_EQ(P::wordTexts(stored), (std::map<std::string, std::string>{{"korean", " 달리다 "}}));

    Json old = {
        {"meanings", {{{"part_of_speech", "verb"}, {"definitions", {{{"definition", "to go"}}}}}}}};
    EXPECT_EQ(P::wordTexts(old),
              (std::map<std::string, std::string>{{"definition", "[verb] to go"}}));
    EXPECT_TRUE(P::wordTexts(Json("not a row")).empty());
}

}  // namespace
}  // namespace parlendo
