#include <gtest/gtest.h>

#include "popups/PopupDraftRules.h"

namespace parlendo {
namespace {

namespace R = PopupDraftRules;

std::optional<Json> validate(const Json& args) {
    return R::validate(&args);
}

std::string answer(const Json& parts) {
    return Json{{"candidates", {{{"content", {{"parts", parts}}}}}}}.dump();
}

TEST(PopupDraftRulesTest, DeclarationAndRequest) {
    EXPECT_EQ(R::endpoint("http://127.0.0.1:9"),
              "http://127.0.0.1:9/v1beta/models/gemini-3.1-flash-lite:generateContent");
    EXPECT_EQ(R::contentIDs(), (std::vector<std::string>{"definition", "example", "phonetic",
                                                         "korean", "translation"}));
    Json declaration = R::functionDeclaration();
    EXPECT_EQ(declaration["name"], "create_custom_popup");
    const Json& properties = declaration["parameters"]["properties"];
    EXPECT_EQ(properties["contents"]["items"]["enum"], Json(R::contentIDs()));
    EXPECT_EQ(properties["width"]["enum"], Json::array({"narrow", "normal", "wide"}));
    EXPECT_EQ(properties["duration"]["description"],
              "팝업이 떠 있는 시간(초). 1.0~30.0 범위. 사용자가 '오래/잠깐' 등 지속시간을 말했을 "
              "때만.");
    EXPECT_EQ(properties["opacity"]["description"],
              "팝업 불투명도(%). 40~100. 사용자가 '연하게/진하게'를 말했을 때만.");
    std::string contents = properties["contents"]["description"];
    EXPECT_NE(contents.find("definition=영어 정의, example=예문, phonetic=발음기호, korean=한글 "
                            "뜻, translation=문장 번역. 예) '한글 뜻만' -> [\"korean\"]"),
              std::string::npos);
    EXPECT_EQ(declaration["parameters"]["required"], Json::array({"name", "contents"}));

    Json body = R::requestBody("한글 뜻만");
    EXPECT_EQ(body["contents"], Json::parse(R"([{"role":"user","parts":[{"text":"한글 뜻만"}]}])"));
    EXPECT_EQ(body["toolConfig"]["functionCallingConfig"]["mode"], "ANY");
    EXPECT_EQ(body["generationConfig"]["temperature"], 0);
    EXPECT_EQ(body["tools"][0]["functionDeclarations"][0], declaration);
    EXPECT_EQ(body["systemInstruction"]["parts"][0]["text"].get<std::string>().rfind("너는 ", 0),
              0u);
}

TEST(PopupDraftRulesTest, ReadsTheSingleFunctionCall) {
    Json call = {
        {"functionCall", {{"name", "create_custom_popup"}, {"args", {{"contents", {"korean"}}}}}}};
    EXPECT_EQ(R::functionCall(answer(Json::array({call}))),
              R::Call::found(Json{{"contents", {"korean"}}}));
    EXPECT_EQ(R::functionCall(answer(Json::array({{{"text", "hi"}}, call}))),
              R::Call::found(Json{{"contents", {"korean"}}}));
    EXPECT_EQ(R::functionCall(answer({{{"functionCall", {{"name", "create_custom_popup"}}}}})),
              R::Call::found(std::nullopt));
    EXPECT_EQ(R::functionCall(answer(Json::array({call, call}))), R::Call::malformed());
    EXPECT_EQ(R::functionCall(answer({{{"text", "안녕"}}})), R::Call::noCall());
    EXPECT_EQ(R::functionCall(answer({{{"functionCall", {{"name", "other"}}}}})),
              R::Call::malformed());
    EXPECT_EQ(R::functionCall(answer({{{"functionCall", {{"args", 1}}}}})), R::Call::malformed());
    EXPECT_EQ(R::functionCall("not json"), R::Call::malformed());
    EXPECT_EQ(R::functionCall("[1]"), R::Call::malformed());
    EXPECT_EQ(R::functionCall(R"({"candidates": [1]})"), R::Call::noCall());
    EXPECT_EQ(R::functionCall(R"({"candidates": []})"), R::Call::noCall());
    EXPECT_EQ(R::functionCall(R"({"candidates": [{"content": {"parts": "x"}}]})"),
              R::Call::noCall());
}

TEST(PopupDraftRulesTest, MinimalProposal) {
    auto proposal = validate({{"contents", {"korean"}}});
    ASSERT_TRUE(proposal);
    EXPECT_EQ(*proposal, (Json{{"ok", true},
                               {"reason", ""},
                               {"name", ""},
                               {"needs_name", true},
                               {"contents", {"korean"}},
                               {"options", Json::object()},
                               {"proposed_save", true},
                               {"needs_save_confirm", false},
                               {"warnings", Json::array()},
                               {"dropped_contents", Json::array()}}));
}

TEST(PopupDraftRulesTest, SaveFlags) {
    auto sentence = validate({{"contents", {"translation"}}, {"name", "번역"}});
    EXPECT_EQ((*sentence)["proposed_save"], false);
    EXPECT_EQ((*sentence)["needs_save_confirm"], false);
    auto unsaved = validate({{"contents", {"korean"}}, {"save", false}});
    EXPECT_EQ((*unsaved)["proposed_save"], false);
    EXPECT_EQ((*unsaved)["needs_save_confirm"], true);
    EXPECT_FALSE(validate({{"contents", {"korean"}}, {"save", "true"}}));
    EXPECT_FALSE(validate({{"contents", {"korean"}}, {"save", 1}}));
}

TEST(PopupDraftRulesTest, RefusesWholeProposals) {
    EXPECT_FALSE(R::validate(nullptr));
    EXPECT_FALSE(validate(Json::array()));
    EXPECT_FALSE(validate(Json::object()));
    EXPECT_FALSE(validate({{"contents", {"meaning"}}}));
    EXPECT_FALSE(validate({{"contents", {"korean"}}, {"color", "red"}}));
    EXPECT_FALSE(validate({{"contents", "korean"}}));
    EXPECT_FALSE(validate({{"contents", {"korean", 1}}}));
    EXPECT_FALSE(validate({{"name", "x"}}));
    EXPECT_FALSE(validate(
        {{"contents", Json::array({"korean", "korean", "korean", "korean", "korean", "korean"})}}));
    EXPECT_FALSE(validate({{"contents", {"korean"}}, {"name", nullptr}}));
    EXPECT_FALSE(validate({{"contents", {"korean"}}, {"width", "huge"}}));
    EXPECT_FALSE(validate({{"contents", {"korean"}}, {"width", 2}}));
    EXPECT_FALSE(validate({{"contents", {"korean"}}, {"duration", true}}));
    EXPECT_FALSE(validate({{"contents", {"korean"}}, {"opacity", "50"}}));
}

TEST(PopupDraftRulesTest, ContentsNamesAndEmptyLists) {
    auto twice = validate({{"contents", {"korean", "example", "korean"}}});
    EXPECT_EQ((*twice)["contents"], Json::array({"korean", "example"}));

    auto empty = validate({{"contents", Json::array()}, {"name", "x"}});
    ASSERT_TRUE(empty);
    EXPECT_EQ((*empty)["ok"], false);
    EXPECT_EQ((*empty)["reason"], "보여줄 콘텐츠를 하나도 못 골랐어요(다시 설명해 주세요).");
    EXPECT_EQ((*empty)["proposed_save"], false);

    std::string sixty;
    for (int i = 0; i < 60; ++i) {
        sixty += "가";
    }
    auto longName = validate({{"contents", {"korean"}}, {"name", "\n  " + sixty + " "}});
    std::string forty;
    for (int i = 0; i < 40; ++i) {
        forty += "가";
    }
    EXPECT_EQ((*longName)["name"], forty);
    EXPECT_EQ((*longName)["needs_name"], false);
    // Characters as the user sees them: a flag is one character.
    auto flags = validate({{"contents", {"korean"}}, {"name", "🇰🇷🇰🇷"}});
    EXPECT_EQ((*flags)["name"], "🇰🇷🇰🇷");
}

TEST(PopupDraftRulesTest, OptionsAreMovedIntoRangeWithWarnings) {
    auto proposal =
        validate({{"contents", {"korean"}}, {"opacity", 20}, {"duration", 45}, {"width", "wide"}});
    ASSERT_TRUE(proposal);
    EXPECT_EQ((*proposal)["options"].dump(), R"({"duration":30.0,"opacity":40,"width":"wide"})");
    EXPECT_EQ((*proposal)["warnings"],
              Json::array({"'팝업 지속시간(초)' 45.0 → 30.0(으)로 범위 조정",
                           "'팝업 불투명도(%)' 20.0 → 40(으)로 범위 조정"}));

    auto inside = validate({{"contents", {"korean"}}, {"opacity", 55.7}, {"duration", 1}});
    EXPECT_EQ((*inside)["options"].dump(), R"({"duration":1.0,"opacity":55})");
    EXPECT_EQ((*inside)["warnings"], Json::array());

    auto tiny = validate({{"contents", {"korean"}}, {"opacity", 0.00001}, {"duration", 1e20}});
    EXPECT_EQ((*tiny)["warnings"], Json::array({"'팝업 지속시간(초)' 1e+20 → 30.0(으)로 범위 조정",
                                                "'팝업 불투명도(%)' 1e-05 → 40(으)로 범위 조정"}));
}

TEST(PopupDraftRulesTest, DoubleTexts) {
    EXPECT_EQ(R::formatDouble(20), "20.0");
    EXPECT_EQ(R::formatDouble(55.7), "55.7");
    EXPECT_EQ(R::formatDouble(-3.25), "-3.25");
    EXPECT_EQ(R::formatDouble(0), "0.0");
    EXPECT_EQ(R::formatDouble(0.001), "0.001");
    EXPECT_EQ(R::formatDouble(0.0001), "0.0001");
    EXPECT_EQ(R::formatDouble(0.00001), "1e-05");
    EXPECT_EQ(R::formatDouble(1234567.0), "1234567.0");
    EXPECT_EQ(R::formatDouble(1.5e300), "1.5e+300");
    EXPECT_EQ(R::formatDouble(0.1 + 0.2), "0.30000000000000004");
}

}  // namespace
}  // namespace parlendo
