#include <gtest/gtest.h>

#include "wordbook/LibraryModel.h"
#include "wordbook/LibraryWriteError.h"

namespace parlendo {
namespace {

TEST(LibraryModelTest, ContentTypesAndOptionsKeepTheirOrderAndNumberKinds) {
    const Json& types = LibraryModel::contentTypes();
    ASSERT_EQ(types.size(), 5u);
    EXPECT_EQ(types[0], (Json{{"id", "definition"}, {"label", "영어 정의"}, {"input", "word"}}));
    EXPECT_EQ(types[4],
              (Json{{"id", "translation"}, {"label", "문장 번역"}, {"input", "raw_text"}}));

    const Json& options = LibraryModel::options();
    ASSERT_EQ(options.size(), 3u);
    EXPECT_EQ(options[0]["id"], "duration");
    EXPECT_TRUE(options[0]["default"].is_number_float());
    EXPECT_TRUE(options[0]["min"].is_number_float());
    EXPECT_EQ(options[0]["max"].dump(), "30.0");
    EXPECT_TRUE(options[0]["choices"].is_null());
    EXPECT_EQ(options[1]["choices"], Json::array({"narrow", "normal", "wide"}));
    EXPECT_TRUE(options[1]["min"].is_null());
    EXPECT_TRUE(options[2]["default"].is_number_integer());
    EXPECT_EQ(options[2]["min"].dump(), "40");
    EXPECT_EQ(options[2]["label"], "팝업 불투명도(%)");
}

TEST(LibraryModelTest, AssistantRowsBecomePageObjects) {
    Json full = {
        {"id", 7},        {"user_id", "u"},
        {"name", "단어"}, {"enabled", false},
        {"save", false},  {"spec", {{"contents", {"korean"}}, {"options", {{"width", "wide"}}}}},
        {"position", 3}};
    Json odd = {
        {"enabled", "no"}, {"spec", {{"contents", "korean"}, {"options", 5}}}, {"position", 1.5}};
    Json out = LibraryModel::assistants({Json::object(), full, odd});
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0], (Json{{"id", ""},
                            {"name", ""},
                            {"enabled", true},
                            {"save", true},
                            {"contents", Json::array()},
                            {"options", Json::object()},
                            {"position", 0}}));
    EXPECT_EQ(out[1], (Json{{"id", 7},
                            {"name", "단어"},
                            {"enabled", false},
                            {"save", false},
                            {"contents", {"korean"}},
                            {"options", {{"width", "wide"}}},
                            {"position", 3}}));
    EXPECT_EQ(out[2]["enabled"], true);
    EXPECT_EQ(out[2]["contents"], Json::array());
    EXPECT_EQ(out[2]["options"], Json::object());
    EXPECT_EQ(out[2]["position"], 0);
}

TEST(LibraryWriteErrorTest, ReasonsAndCodes) {
    EXPECT_EQ(LibraryWriteError::notFound("popup").reason(), "not_found_popup");
    EXPECT_EQ(LibraryWriteError::invalid("popup_name").reason(), "invalid_popup_name");
    EXPECT_EQ(LibraryWriteError::outcomeUnknown("save_assistant").reason(),
              "outcome_unknown_save_assistant");
    EXPECT_EQ(LibraryWriteError::siblingsChanged().reason(), "siblings_changed");
    EXPECT_EQ(LibraryWriteError::outcomeUnknown("x").writeErrorCode(),
              "transport_or_response_unknown");
    EXPECT_EQ(LibraryWriteError::siblingsChanged().writeErrorCode(),
              "contract_or_permission_rejected");
    EXPECT_EQ(LibraryWriteError::invalid("a"), LibraryWriteError::invalid("a"));
    EXPECT_NE(LibraryWriteError::invalid("a"), LibraryWriteError::notFound("a"));
}

}  // namespace
}  // namespace parlendo
