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

namespace M = LibraryModel;

Json word(const std::string& id, const std::string& created) {
    return Json{{"word_id", id}, {"created_at", created}, {"lemma", "w" + id}};
}

std::vector<std::string> idsOf(const Json& rows, const char* key) {
    std::vector<std::string> out;
    for (const auto& row : rows) {
        out.push_back(row.value(key, ""));
    }
    return out;
}

TEST(LibraryModelTest, TreeListsSourcesNewestFirstAndKeepsTiesInOrder) {
    std::vector<Json> folders{{{"folder_id", "b"}, {"parent_id", "a"}}, {{"folder_id", "a"}}};
    std::vector<Json> sources{{{"source_id", "s1"}, {"last_seen_at", "2026-01-01"}},
                              {{"source_id", "s2"}, {"last_seen_at", "2026-03-01"}},
                              {{"source_id", "s3"}},
                              {{"source_id", "s4"}, {"last_seen_at", "2026-01-01"}},
                              {{"source_id", "s5"}, {"last_seen_at", 7}}};
    Json tree = M::tree(folders, sources);
    EXPECT_EQ(tree["folders"], Json(folders));
    // Missing and mistyped times count as "" and go last, in the order they came.
    EXPECT_EQ(idsOf(tree["sources"], "source_id"),
              (std::vector<std::string>{"s2", "s1", "s4", "s3", "s5"}));
}

TEST(LibraryModelTest, WordPagesCountAgainstTheCapAndRefuseRowsWithoutIds) {
    EXPECT_EQ(
        M::wordPage({}, 1000),
        (Json{
            {"words", Json::array()}, {"capped", false}, {"has_more", false}, {"total", nullptr}}));
    std::vector<Json> rows;
    for (int i = 0; i < 999; ++i) {
        rows.push_back(word(std::to_string(i), "t"));
    }
    auto below = M::wordPage(rows, 1000);
    ASSERT_TRUE(below);
    EXPECT_EQ((*below)["capped"], false);
    EXPECT_EQ((*below)["has_more"], false);
    rows.push_back(word("999", "t"));
    auto full = M::wordPage(rows, 1000);
    ASSERT_TRUE(full);
    EXPECT_EQ((*full)["capped"], true);
    EXPECT_TRUE((*full)["has_more"].is_null());
    EXPECT_TRUE((*full)["total"].is_null());

    EXPECT_EQ(M::wordPage({word("a", "t"), Json{{"word_id", nullptr}}}, 1000), std::nullopt);
    EXPECT_EQ(M::wordPage({Json::object()}, 1000), std::nullopt);
    EXPECT_EQ(M::wordPage({Json::array()}, 1000), std::nullopt);
}

TEST(LibraryModelTest, DescendantsWalkBreadthFirstAndEndOnCycles) {
    std::vector<Json> folders{
        {{"folder_id", "c"}, {"parent_id", "b"}},    {{"folder_id", "b"}, {"parent_id", "a"}},
        {{"folder_id", "d"}, {"parent_id", "a"}},    {{"folder_id", "a"}, {"parent_id", "c"}},
        {{"folder_id", "d"}, {"parent_id", "a"}},    {{"folder_id", 5}, {"parent_id", "a"}},
        {{"folder_id", "e"}, {"parent_id", nullptr}}};
    EXPECT_EQ(M::descendantFolderIDs("a", folders), (std::vector<std::string>{"a", "b", "d", "c"}));
    EXPECT_EQ(M::descendantFolderIDs("x", {}), (std::vector<std::string>{"x"}));
    EXPECT_EQ(M::descendantFolderIDs(std::nullopt, folders),
              (std::vector<std::string>{"c", "b", "d", "a", "d", "e"}));
}

TEST(LibraryModelTest, MergedWordsAreTheNewestAndSayWhenMoreMayExist) {
    EXPECT_EQ(M::wordChunkLimit(500), 501);
    EXPECT_EQ(M::wordChunkLimit(999), 1000);
    EXPECT_EQ(M::wordChunkLimit(1000), 1000);
    EXPECT_EQ(M::mergeWords({}, 500), (Json{{"words", Json::array()}, {"capped", false}}));

    std::vector<Json> chunk;
    for (int i = 0; i < 501; ++i) {
        chunk.push_back(word(std::to_string(1000 + i), "2026"));
    }
    Json merged = M::mergeWords({chunk}, 500);
    ASSERT_EQ(merged["words"].size(), 500u);
    EXPECT_EQ(merged["capped"], true);
    EXPECT_EQ(merged["words"][0]["word_id"], "1500");  // equal times: larger id first

    // A chunk the server may have cut sets "capped" even when the total fits.
    chunk.resize(1000);
    EXPECT_EQ(M::mergeWords({chunk}, 1000)["capped"], true);
    chunk.resize(999);
    EXPECT_EQ(M::mergeWords({chunk}, 1000)["capped"], false);

    Json mixed = M::mergeWords({{word("a", "2026-01-02"), word("b", "2026-01-01")},
                                {word("c", "2026-01-03"), word("d", "")},
                                {Json{{"created_at", "2026-01-02"}, {"word_id", 9}}}},
                               10);
    EXPECT_EQ(mixed["words"].size(), 5u);
    EXPECT_EQ(mixed["words"][0]["word_id"], "c");
    EXPECT_EQ(mixed["words"][1]["word_id"], "a");
    EXPECT_EQ(mixed["words"][2]["word_id"], 9);  // a number id is compared as its text "9"
    EXPECT_EQ(mixed["words"][4]["word_id"], "d");
    EXPECT_EQ(mixed["capped"], false);
}

TEST(LibraryModelTest, ReviewStatesAnswerEachRequestedIdOnce) {
    Json states =
        M::reviewStates({"a", "a", "b"}, {{{"id", "b"}, {"status", "learning"}, {"wrong_count", 2}},
                                          {{"id", "c"}, {"status", "known"}},
                                          {{"id", 7}, {"status", "known"}}});
    EXPECT_EQ(states, (Json{{"a", {{"status", "new"}, {"wrong_count", 0}}},
                            {"b", {{"status", "learning"}, {"wrong_count", 2}}}}));
    Json odd = M::reviewStates({"b"}, {{{"id", "b"}, {"status", 3}, {"wrong_count", "2"}}});
    EXPECT_EQ(odd["b"], (Json{{"status", "new"}, {"wrong_count", 0}}));
}

TEST(LibraryModelTest, WordDetailsRenderSensesInRankOrder) {
    Json row{{"word_id", "w"},
             {"korean", "달리다"},
             {"phonetic", "/rʌn/"},
             {"word_senses",
              {{{"rank", 2}, {"korean", "둘"}, {"definition", "second"}, {"pos", "verb"}},
               {{"korean", "없음"}, {"definition", "unranked"}, {"pos", "noun"}},
               {{"rank", -1}, {"korean", "먼저"}, {"definition", "first"}, {"pos", "noun"}}}}};
    Json details = M::wordDetails(
        {row, Json{{"word_id", "bare"}, {"word_senses", "junk"}}, Json{{"word_id", nullptr}}});
    ASSERT_EQ(details.size(), 2u);
    EXPECT_EQ(details["w"]["definition"], "[noun] first\n[noun] unranked\n[verb] second");
    EXPECT_EQ(details["w"]["korean"], "먼저 [noun]\n없음 [noun]");
    EXPECT_EQ(details["w"]["phonetic"], "/rʌn/");
    EXPECT_EQ(details["bare"], Json::object());
}

TEST(LibraryModelTest, SearchPatternsCannotCarryFilterSyntaxOrWildcards) {
    EXPECT_EQ(M::searchPattern(" a,b "), "*a b*");
    EXPECT_EQ(M::searchPattern("(x)"), "*x*");
    EXPECT_EQ(M::searchPattern("  \t\n "), std::nullopt);
    EXPECT_EQ(M::searchPattern("%_*"), std::nullopt);
    EXPECT_EQ(M::searchPattern(",()*%_\"\\"), std::nullopt);
    EXPECT_EQ(M::searchPattern("a\"b\\c"), "*a b c*");
    EXPECT_EQ(M::searchPattern("  사과  나무 "), "*사과  나무*");
    EXPECT_EQ(M::searchPattern("lemma.ilike.*,korean.eq.x)"), "*lemma.ilike.  korean.eq.x*");
}

TEST(LibraryModelTest, SearchResultsBecomeOnePageWithFallbackTexts) {
    auto rows = M::searchResults(
        {{{"folder_id", "f"}, {"name", ""}}},
        {{{"source_id", "s"}, {"title", "기사"}}, Json::object()},
        {{{"word_id", "w1"}, {"lemma", "run"}, {"sources", {{"title", ""}}}},
         {{"word_id", "w2"}, {"sources", Json::array({{{"title", "책"}}})}},
         {{"word_id", "w3"}, {"sources", nullptr}, {"korean", "뛰다"}, {"source_id", "s"}}});
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[0], (Json{{"kind", "folder"}, {"folder_id", "f"}, {"name", "(이름 없음)"}}));
    EXPECT_EQ(rows[2], (Json{{"kind", "source"}, {"source_id", ""}, {"title", "(제목 없음)"}}));
    EXPECT_EQ(rows[3]["source_title"], "");
    EXPECT_TRUE(rows[3]["korean"].is_null());
    EXPECT_EQ(rows[4]["source_title"], "책");
    EXPECT_EQ(rows[4]["lemma"], "");
    EXPECT_EQ(rows[5]["source_title"], "(단어장)");

    auto page = M::searchPage(rows);
    ASSERT_TRUE(page);
    EXPECT_EQ((*page)["capped"], false);
    EXPECT_EQ((*page)["limits"], (Json{{"folder", 25}, {"source", 25}, {"word", 50}}));
    EXPECT_EQ(M::searchPage({Json{{"kind", "sentence"}}}), std::nullopt);
    std::vector<Json> folders(25, Json{{"kind", "folder"}});
    EXPECT_EQ((*M::searchPage(folders))["capped"], true);
    folders.pop_back();
    EXPECT_EQ((*M::searchPage(folders))["capped"], false);
}

// Results are made from the rows themselves, so whatever else a row carries must not leak into
// its result, and what the result adds must not take a value from a column of the same name.
TEST(LibraryModelTest, SearchResultsHoldExactlyTheirOwnMembers) {
    auto rows = M::searchResults(
        {{{"folder_id", "f"},
          {"name", "메모"},
          {"kind", "source"},
          {"parent_id", "p"},
          {"position", 3}},
         {{"folder_id", nullptr}, {"name", 7}},
         Json("not a row")},
        {{{"source_id", "s"},
          {"title", nullptr},
          {"url", "https://a.example/"},
          {"last_seen_at", "2026-01-01"}}},
        {{{"word_id", "w"},
          {"lemma", "run"},
          {"korean", "달리다"},
          {"source_id", "s"},
          {"created_at", "2026-05-28T08:26:40.000Z"},
          {"sources", Json::array({{{"title", "기사 🙂"}, {"url", "u"}}, {{"title", "둘째"}}})},
          {"kind", "folder"},
          {"source_title", "stale"},
          {"phonetic", "/rʌn/"}},
         {{"word_id", nullptr}, {"lemma", 5}, {"sources", {{"title", 9}}}},
         nullptr});
    ASSERT_EQ(rows.size(), 7u);
    EXPECT_EQ(rows[0], (Json{{"kind", "folder"}, {"folder_id", "f"}, {"name", "메모"}}));
    EXPECT_EQ(rows[1], (Json{{"kind", "folder"}, {"folder_id", nullptr}, {"name", "(이름 없음)"}}));
    EXPECT_EQ(rows[2], (Json{{"kind", "folder"}, {"folder_id", ""}, {"name", "(이름 없음)"}}));
    EXPECT_EQ(rows[3], (Json{{"kind", "source"}, {"source_id", "s"}, {"title", "(제목 없음)"}}));
    EXPECT_EQ(rows[4], (Json{{"kind", "word"},
                             {"word_id", "w"},
                             {"lemma", "run"},
                             {"korean", "달리다"},
                             {"source_id", "s"},
                             {"source_title", "기사 🙂"}}));
    EXPECT_EQ(rows[5], (Json{{"kind", "word"},
                             {"word_id", nullptr},
                             {"lemma", 5},
                             {"korean", nullptr},
                             {"source_id", nullptr},
                             {"source_title", "(단어장)"}}));
    EXPECT_EQ(rows[6], (Json{{"kind", "word"},
                             {"word_id", ""},
                             {"lemma", ""},
                             {"korean", nullptr},
                             {"source_id", nullptr},
                             {"source_title", "(단어장)"}}));
    EXPECT_EQ(M::searchPage(rows)->at("rows").size(), 7u);
}

TEST(LibraryModelTest, TrashListsOnlyTheTopOfEachDeletedBranch) {
    Json trash = M::trash(
        {{{"folder_id", "top"}, {"parent_id", nullptr}},
         {{"folder_id", "under-alive"}, {"parent_id", "A"}},
         {{"folder_id", "under-deleted"}, {"parent_id", "top"}},
         Json::object()},
        {{{"source_id", "s-root"}},
         {{"source_id", "s-in-alive"}, {"folder_id", "A"}},
         {{"source_id", "s-in-deleted"}, {"folder_id", "top"}}},
        {{{"word_id", "w-alive"}, {"source_id", "S"}},
         {{"word_id", "w-deleted"}, {"source_id", "s-root"}},
         {{"word_id", "w-none"}},
         Json::object()},
        {{{"sentence_id", "x"}, {"source_id", "S"}}, {{"sentence_id", "y"}, {"source_id", 5}}},
        {"A"}, {"S"});
    EXPECT_EQ(idsOf(trash["folders"], "folder_id"),
              (std::vector<std::string>{"top", "under-alive", ""}));
    EXPECT_EQ(idsOf(trash["sources"], "source_id"),
              (std::vector<std::string>{"s-root", "s-in-alive"}));
    EXPECT_EQ(idsOf(trash["words"], "word_id"), (std::vector<std::string>{"w-alive"}));
    EXPECT_EQ(idsOf(trash["sentences"], "sentence_id"), (std::vector<std::string>{"x"}));
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
