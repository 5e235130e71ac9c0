#include <gtest/gtest.h>

#include "PageRig.h"

namespace parlendo {
namespace {

using testing::PageRig;

// A small word book: two folders (one inside the other), sources in and out of them, words.
struct Library {
    std::string papers, ml, attention, news, loose, w1, w2;
    explicit Library(testing::StubLibrary& lib) {
        papers = lib.addFolder("영어 논문", std::nullopt);
        ml = lib.addFolder("머신러닝", papers);
        attention = lib.addSource("Attention Is All You Need", ml);
        news = lib.addSource("News <b>today</b>", papers);
        loose = lib.addSource("Loose page", std::nullopt);
        w1 = lib.addWord("attention", attention, "주의");
        w2 = lib.addWord("transformer", attention, "변환기");
        lib.addSense(w1, 1, "주의", "notice taken of someone");
        lib.setReview(w2, "known", 2);
    }
};

TEST(WordBookPage, BrowsesFoldersSourcesAndWordsWithDetailsAndReviewStates) {
    PageRig rig;
    Library l(*rig.library);
    ASSERT_TRUE(rig.open());
    EXPECT_GE(rig.calls("load_tree"), 1);
    EXPECT_EQ(rig.calls("get_ui_theme"), 1);
    EXPECT_EQ(rig.text(".tree-row[data-scope='" + l.papers + "'] .row-name"), "영어 논문");
    EXPECT_EQ(rig.text(".tree-row[data-scope='all'] .count"), "3");
    rig.snapshotBoth("wordbook");

    // The folder shows its own source; its subfolder opens with the arrow key.
    ASSERT_TRUE(rig.click(".tree-row[data-scope='" + l.papers + "']"));
    EXPECT_EQ(rig.count(".source-row"), 1);
    EXPECT_EQ(rig.text(".source-row .row-name"), "News <b>today</b>");
    EXPECT_EQ(rig.count(".source-row b"), 0) << "a title is text, never markup";
    rig.key("ArrowRight");
    rig.key("ArrowDown");
    EXPECT_EQ(rig.js("Parlendo.wb.state.scope")->get<std::string>(), l.ml);
    ASSERT_TRUE(rig.waitFor("document.querySelectorAll('.source-row').length === 1"));

    // Choosing the source lists its words with their review states; a word shows its senses.
    ASSERT_TRUE(rig.click(".source-row"));
    ASSERT_TRUE(rig.waitFor("document.querySelectorAll('.word-row').length === 2"));
    EXPECT_EQ(rig.lastArgs("list_words"), Json::array({l.attention}));
    ASSERT_TRUE(rig.waitFor("!!document.querySelector('.word-row[data-id=\"" + l.w2 +
                            "\"] .status-known')"));
    ASSERT_TRUE(rig.click(".word-row[data-id='" + l.w1 + "']"));
    ASSERT_TRUE(
        rig.waitFor("document.querySelector('.word-detail').textContent.includes("
                    "'notice taken of someone')"));
    EXPECT_EQ(rig.lastArgs("word_details"), Json::array({Json::array({l.w1})}));
    rig.snapshotBoth("word-detail");

    // F5 reads the word book again without leaving the page or its choice.
    const int trees = rig.calls("load_tree");
    rig.key("F5");
    ASSERT_TRUE(rig.until([&] { return rig.calls("load_tree") == trees + 1; }));
    rig.idle();
    EXPECT_TRUE(rig.js("state.ready")->get<bool>());
    EXPECT_EQ(rig.js("Parlendo.wb.state.sourceId")->get<std::string>(), l.attention);
    // The shipped fonts are installed once the word book is drawn.
    EXPECT_TRUE(rig.waitFor("document.documentElement.classList.contains('ui-fonts')"));
    EXPECT_GE(rig.calls("ui_fonts"), 1);
    EXPECT_EQ(rig.pageErrors(), 0);
}

TEST(WordBookPage, FoldersAreCreatedRenamedMovedReorderedAndDeletedWithUndo) {
    PageRig rig;
    Library l(*rig.library);
    const std::string other = rig.library->addFolder("뉴스", std::nullopt);
    ASSERT_TRUE(rig.open());

    // Create: the button asks for a name.
    ASSERT_TRUE(rig.click(".new-folder"));
    ASSERT_EQ(rig.count("[role=dialog]"), 1);
    ASSERT_TRUE(rig.type("[role=dialog] input", "  새 폴더 😀  "));
    ASSERT_TRUE(rig.click("[role=dialog] button.primary"));
    ASSERT_TRUE(rig.waitFor("document.querySelectorAll('[role=dialog]').length === 0"));
    EXPECT_EQ(rig.lastArgs("create_folder"), Json::array({"새 폴더 😀", nullptr}));
    EXPECT_EQ(rig.library->count("folders", false), 4u);
    EXPECT_EQ(rig.text(".tree-row.selected .row-name"), "새 폴더 😀");

    // Rename with F2 on the chosen folder; a blank name is refused in the dialog.
    ASSERT_TRUE(rig.click(".tree-row[data-scope='" + other + "']"));
    rig.key("F2");
    ASSERT_EQ(rig.count("[role=dialog]"), 1);
    ASSERT_TRUE(rig.type("[role=dialog] input", "   "));
    ASSERT_TRUE(rig.click("[role=dialog] button.primary"));
    EXPECT_FALSE(rig.text("[role=dialog] .dialog-error").empty());
    EXPECT_EQ(rig.calls("rename_folder"), 0);
    ASSERT_TRUE(rig.type("[role=dialog] input", "신문 기사"));
    ASSERT_TRUE(rig.click("[role=dialog] button.primary"));
    ASSERT_TRUE(rig.waitFor("document.querySelectorAll('[role=dialog]').length === 0"));
    EXPECT_EQ((*rig.library->row("folders", other))["name"], "신문 기사");

    // Move by dragging onto another folder's middle.
    ASSERT_TRUE(rig.js(R"((function(){
      var from = document.querySelector(".tree-row[data-scope=')" +
                       other + R"(']");
      var to = document.querySelector(".tree-row[data-scope=')" +
                       l.papers + R"(']");
      var r = to.getBoundingClientRect();
      var dt = new DataTransfer();
      from.dispatchEvent(new DragEvent('dragstart', {bubbles: true, dataTransfer: dt}));
      var at = {bubbles: true, cancelable: true, dataTransfer: dt, clientX: r.left + 20,
                clientY: r.top + r.height / 2};
      to.dispatchEvent(new DragEvent('dragover', at));
      to.dispatchEvent(new DragEvent('drop', at));
      return true;
    })())"));
    rig.idle();
    EXPECT_EQ(rig.lastArgs("move_folder"), Json::array({other, l.papers}));
    EXPECT_EQ((*rig.library->row("folders", other))["parent_id"], l.papers);

    // Reorder with Alt+Up: the moved folder goes before its sibling.
    ASSERT_TRUE(rig.click(".tree-row[data-scope='" + other + "']"));
    rig.key("ArrowUp", "alt");
    EXPECT_EQ(rig.lastArgs("reorder_folders"), Json::array({l.papers, Json::array({other, l.ml})}));

    // Delete asks first, then moves the branch to the trash; the notice undoes it.
    ASSERT_TRUE(rig.click(".tree-row[data-scope='" + l.papers + "']"));
    rig.key("Delete");
    ASSERT_EQ(rig.count("[role=dialog]"), 1);
    EXPECT_NE(rig.text("[role=dialog]").find("하위 폴더 2개"), std::string::npos);
    ASSERT_TRUE(rig.click("[role=dialog] button.danger"));
    ASSERT_TRUE(
        rig.waitFor("!document.querySelector(\".tree-row[data-scope='" + l.papers + "']\")"));
    EXPECT_EQ(rig.library->count("folders", true), 3u);
    ASSERT_TRUE(rig.click(".toast-action"));
    ASSERT_TRUE(
        rig.waitFor("!!document.querySelector(\".tree-row[data-scope='" + l.papers + "']\")"));
    EXPECT_EQ(rig.calls("restore_folder"), 1);
    EXPECT_EQ(rig.library->count("folders", true), 0u);
    EXPECT_EQ(rig.pageErrors(), 0);
}

TEST(WordBookPage, SourcesAreRenamedAndMovedAndWordsReviewedDeletedAndRestored) {
    PageRig rig;
    Library l(*rig.library);
    ASSERT_TRUE(rig.open());

    // Rename with F2; a title another source has is refused in the dialog.
    ASSERT_TRUE(rig.click(".source-row[data-id='" + l.loose + "']"));
    rig.key("F2");
    ASSERT_TRUE(rig.type("[role=dialog] input", "Attention Is All You Need"));
    ASSERT_TRUE(rig.click("[role=dialog] button.primary"));
    EXPECT_NE(rig.text("[role=dialog] .dialog-error").find("같은 제목"), std::string::npos);
    ASSERT_TRUE(rig.type("[role=dialog] input", "  읽을거리  "));
    ASSERT_TRUE(rig.click("[role=dialog] button.primary"));
    ASSERT_TRUE(rig.waitFor("document.querySelectorAll('[role=dialog]').length === 0"));
    EXPECT_EQ((*rig.library->row("sources", l.loose))["title"], "읽을거리");
    EXPECT_EQ(rig.text(".source-row[data-id='" + l.loose + "'] .row-name"), "읽을거리");

    // Move through the row's menu and the folder picker.
    ASSERT_TRUE(rig.click(".source-row[data-id='" + l.loose + "'] .row-menu"));
    ASSERT_TRUE(rig.click(".menu [data-menu='move']"));
    ASSERT_TRUE(rig.click("[role=dialog] .picker-item[data-folder='" + l.papers + "']"));
    ASSERT_TRUE(rig.click("[role=dialog] button.primary"));
    EXPECT_EQ(rig.lastArgs("move_source"), Json::array({l.loose, l.papers}));
    EXPECT_EQ(rig.calls("list_folders"), 1) << "the picker offers the folders as they are now";
    EXPECT_EQ((*rig.library->row("sources", l.loose))["folder_id"], l.papers);

    // Known and not known from the word's details.
    ASSERT_TRUE(rig.click(".source-row[data-id='" + l.attention + "']"));
    ASSERT_TRUE(rig.waitFor("document.querySelectorAll('.word-row').length === 2"));
    ASSERT_TRUE(rig.click(".word-row[data-id='" + l.w1 + "']"));
    ASSERT_TRUE(rig.click(".word-detail button.known"));
    EXPECT_EQ(rig.lastArgs("save_review"), Json::array({true, l.w1}));
    ASSERT_TRUE(rig.waitFor("document.querySelector('.toasts').textContent.includes('알아요')"));

    // Delete asks, then the notice brings the word back.
    ASSERT_TRUE(rig.js("document.querySelector('.word-row[data-id=\"" + l.w2 +
                       "\"]').click(), document.querySelector('.word-row[data-id=\"" + l.w2 +
                       "\"]').focus(), true"));
    rig.key("Delete");
    ASSERT_TRUE(rig.click("[role=dialog] button.danger"));
    ASSERT_TRUE(rig.waitFor("document.querySelectorAll('.word-row').length === 1"));
    EXPECT_EQ(rig.library->count("words", true), 1u);
    ASSERT_TRUE(rig.click(".toast-action"));
    ASSERT_TRUE(rig.waitFor("document.querySelectorAll('.word-row').length === 2"));
    EXPECT_EQ(rig.library->count("words", true), 0u);
    EXPECT_EQ(rig.pageErrors(), 0);
}

TEST(WordBookPage, SearchFindsFoldersSourcesAndWordsAndGoesToTheWord) {
    PageRig rig;
    Library l(*rig.library);
    ASSERT_TRUE(rig.open());
    rig.key("f", "ctrl");
    EXPECT_EQ(rig.js("document.activeElement.className")->get<std::string>(), "search-input");
    ASSERT_TRUE(rig.type(".search-input", "ATT"));
    ASSERT_TRUE(rig.waitFor("document.querySelectorAll('.search-option').length >= 2"));
    EXPECT_EQ(rig.lastArgs("search_words"), Json::array({"ATT"}));
    EXPECT_EQ(rig.text(".search-option[data-kind='source'] mark"), "Att");
    EXPECT_EQ(rig.text(".search-option[data-kind='word'] mark"), "att");
    rig.snapshotBoth("search");
    rig.key("ArrowDown");
    rig.key("ArrowDown");
    rig.key("Enter");
    ASSERT_TRUE(rig.waitFor("Parlendo.wb.state.wordId === '" + l.w1 + "'"));
    EXPECT_EQ(rig.js("Parlendo.wb.state.sourceId")->get<std::string>(), l.attention);
    EXPECT_TRUE(
        rig.waitFor("!!document.querySelector('.word-row.selected[data-id=\"" + l.w1 + "\"]')"));
    EXPECT_EQ(rig.pageErrors(), 0);
}

TEST(WordBookPage, AReviewSessionSavesEachAnswer) {
    PageRig rig;
    Library l(*rig.library);
    ASSERT_TRUE(rig.open());
    ASSERT_TRUE(rig.click(".source-row[data-id='" + l.attention + "']"));
    ASSERT_TRUE(rig.waitFor("document.querySelectorAll('.word-row').length === 2"));
    ASSERT_TRUE(rig.click(".review-button"));
    ASSERT_TRUE(rig.waitFor("!!document.querySelector('.review-dialog .review-lemma')"));
    rig.snapshotBoth("review");
    rig.key(" ");
    ASSERT_TRUE(rig.waitFor("!!document.querySelector('.review-dialog button.known')"));
    rig.key("ArrowLeft");
    rig.key(" ");
    rig.key("ArrowRight");
    ASSERT_TRUE(rig.waitFor("!!document.querySelector('.review-done')"));
    EXPECT_EQ(rig.calls("save_review"), 2);
    EXPECT_NE(rig.text(".review-done").find("알아요 1개 · 몰라요 1개"), std::string::npos);
    rig.key("Escape");
    EXPECT_EQ(rig.count("[role=dialog]"), 0);
}

TEST(WordBookPage, TheTrashBringsBackSourcesAndWords) {
    PageRig rig;
    Library l(*rig.library);
    rig.library->markDeleted("words", l.w2);
    ASSERT_TRUE(rig.open());
    ASSERT_TRUE(rig.click(".source-row[data-id='" + l.news + "']"));
    rig.key("Delete");
    ASSERT_TRUE(rig.click("[role=dialog] button.danger"));
    ASSERT_TRUE(rig.click(".rail-item[data-screen='trash']"));
    ASSERT_TRUE(rig.waitFor("document.querySelectorAll('.tab .count')[1].textContent === '1'"));
    ASSERT_TRUE(rig.click(".tab[data-kind='sources']"));
    EXPECT_EQ(rig.text(".trash-row .row-name"), "News <b>today</b>");
    rig.snapshotBoth("trash");
    ASSERT_TRUE(rig.click(".trash-row button.restore"));
    ASSERT_TRUE(rig.waitFor("document.querySelectorAll('.trash-row').length === 0"));
    EXPECT_EQ(rig.library->count("sources", true), 0u);
    ASSERT_TRUE(rig.click(".tab[data-kind='words']"));
    EXPECT_EQ(rig.text(".trash-row .row-name"), "transformer");
    ASSERT_TRUE(rig.click(".trash-row button.restore"));
    EXPECT_EQ(rig.lastArgs("restore_word"), Json::array({l.w2}));
    EXPECT_EQ(rig.library->count("words", true), 0u);
    EXPECT_EQ(rig.pageErrors(), 0);
}

}  // namespace
}  // namespace parlendo
