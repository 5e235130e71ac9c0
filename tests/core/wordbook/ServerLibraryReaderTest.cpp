#include <gtest/gtest.h>

#include "FakeServerCalling.h"
#include "FakeSession.h"
#include "LogCapture.h"
#include "ManualExecutor.h"
#include "StubLibrary.h"
#include "wordbook/LibraryReader.h"

#include <algorithm>
#include <optional>
#include <string>

namespace parlendo {
namespace {

using testing::FakeServerCalling;
using testing::FakeSession;
using testing::LogCapture;
using testing::StubLibrary;

// The number after "offset=" in a path, 0 when there is none.
size_t offsetOf(const std::string& path) {
    auto at = path.find("offset=");
    return at == std::string::npos ? 0 : std::stoul(path.substr(at + 7));
}

// How many ids the "<column>=in.(...)" filter of a path lists.
size_t listed(const std::string& path, const std::string& column) {
    auto start = path.find(column + "=in.(");
    if (start == std::string::npos) {
        return 0;
    }
    auto end = path.find(')', start);
    auto list = path.substr(start, end - start);
    return static_cast<size_t>(std::count(list.begin(), list.end(), ',')) + 1;
}

std::string table(const std::string& path) {
    return path.substr(0, path.find('?'));
}

// `count` rows of `key` ids "<prefix>0".."<prefix>n", served a page at a time.
std::string page(size_t count, size_t offset, const char* key, const std::string& prefix,
                 Json extra = Json::object()) {
    Json rows = Json::array();
    for (size_t i = offset; i < std::min(count, offset + 1000); ++i) {
        Json row = extra;
        row[key] = prefix + std::to_string(i);
        rows.push_back(std::move(row));
    }
    return rows.dump();
}

class ServerLibraryReaderTest : public ::testing::Test {
  protected:
    ServerLibraryReaderTest()
        : server_(std::make_shared<FakeServerCalling>()),
          session_(std::make_shared<FakeSession>("user 1")),
          reader_(std::make_shared<ServerLibraryReader>(server_, session_)) {}

    template <class Start>
    static LibraryReadResult read(Start start) {
        std::optional<LibraryReadResult> out;
        start([&](LibraryReadResult result) { out = std::move(result); });
        EXPECT_TRUE(out) << "the read did not complete";
        return out ? std::move(*out) : fail(CallFailure::unavailable());
    }

    std::vector<std::string> paths() const {
        std::vector<std::string> out;
        for (const auto& call : server_->calls()) {
            out.push_back(call.path);
        }
        return out;
    }

    size_t countOf(const std::string& path) const {
        auto all = paths();
        return static_cast<size_t>(
            std::count_if(all.begin(), all.end(), [&](const auto& p) { return table(p) == path; }));
    }

    // Answers every call from an in-memory word book.
    void serve(StubLibrary& library) {
        server_->respondWith([&library](const FakeServerCalling::Call& call) {
            return library.call(call.method, call.path, call.json);
        });
    }

    LogCapture log_;
    std::shared_ptr<FakeServerCalling> server_;
    std::shared_ptr<FakeSession> session_;
    std::shared_ptr<ServerLibraryReader> reader_;
};

TEST_F(ServerLibraryReaderTest, EveryReadButReviewStatesNeedsASignedInUser) {
    session_->setUser(std::nullopt);
    auto authRequired = fail(CallFailure::authRequired());
    EXPECT_EQ(read([&](auto done) { reader_->loadTree(std::move(done)); }), authRequired);
    EXPECT_EQ(read([&](auto done) { reader_->listWords("s", std::move(done)); }), authRequired);
    EXPECT_EQ(read([&](auto done) { reader_->wordsUnderFolder("f", 500, std::move(done)); }),
              authRequired);
    EXPECT_EQ(read([&](auto done) { reader_->search("run", std::move(done)); }), authRequired);
    EXPECT_EQ(read([&](auto done) { reader_->wordDetails({"w"}, std::move(done)); }), authRequired);
    EXPECT_EQ(read([&](auto done) { reader_->listTrash(std::move(done)); }), authRequired);
    std::optional<RowsResult> popups;
    reader_->assistants([&](RowsResult rows) { popups = std::move(rows); });
    EXPECT_EQ(popups, std::optional<RowsResult>(authRequired));
    EXPECT_EQ(server_->count(), 0u);

    server_->ok("POST", "/rest/v1/rpc/word_review_states", "[]");
    auto states = read([&](auto done) { reader_->reviewStates({"x"}, std::move(done)); });
    EXPECT_EQ(states, LibraryReadResult(Json{{"x", {{"status", "new"}, {"wrong_count", 0}}}}));
    ASSERT_EQ(server_->count(), 1u);
    EXPECT_EQ(server_->calls()[0].json, (Json{{"p_ids", {"x"}}}));
    EXPECT_EQ(server_->calls()[0].timeout, 8.0);
}

TEST_F(ServerLibraryReaderTest, QueriesAreBuiltExactlyWithEveryValueEscaped) {
    server_->setFallback(DetailedCallResult(std::string("[]")));
    read([&](auto done) { reader_->loadTree(std::move(done)); });
    read([&](auto done) { reader_->listWords("출처 🦊,(x)", std::move(done)); });
    read([&](auto done) { reader_->wordsUnderFolder(std::nullopt, 500, std::move(done)); });
    read([&](auto done) { reader_->wordsUnderFolder(std::nullopt, 1000, std::move(done)); });
    read([&](auto done) { reader_->search(" 사과 pie ", std::move(done)); });
    reader_->assistants([](RowsResult) {});

    const std::string user = "user_id=eq.user%201";
    EXPECT_EQ(
        paths(),
        (std::vector<std::string>{
            "/rest/v1/folders?select=folder_id,name,parent_id,position&" + user +
                "&deleted_at=is.null&order=position.asc,created_at.asc,folder_id.asc&limit=1000&"
                "offset=0",
            "/rest/v1/sources?select=source_id,title,folder_id,last_seen_at,url&" + user +
                "&deleted_at=is.null&order=last_seen_at.desc,source_id.asc&limit=1000&offset=0",
            "/rest/v1/words?select=word_id,lemma,korean,phonetic,created_at,source_id&" + user +
                "&source_id=eq.출처%20%F0%9F%A6%8A%2C%28x%29&deleted_at=is.null&order=created_at."
                "desc,word_id.desc&limit=1000",
            "/rest/v1/words?select=word_id,lemma,korean,phonetic,created_at,source_id&" + user +
                "&deleted_at=is.null&order=created_at.desc,word_id.desc&limit=501",
            "/rest/v1/words?select=word_id,lemma,korean,phonetic,created_at,source_id&" + user +
                "&deleted_at=is.null&order=created_at.desc,word_id.desc&limit=1000",
            "/rest/v1/folders?select=folder_id,name&" + user +
                "&deleted_at=is.null&name=ilike.%2A사과%20pie%2A&order=name.asc,folder_id.asc&"
                "limit=25",
            "/rest/v1/sources?select=source_id,title&" + user +
                "&deleted_at=is.null&title=ilike.%2A사과%20pie%2A&order=title.asc,source_id.asc&"
                "limit=25",
            "/rest/v1/words?select=word_id,lemma,korean,source_id,created_at,sources(title)&" +
                user +
                "&deleted_at=is.null&or=(lemma.ilike.%2A사과%20pie%2A,korean.ilike.%2A사과%20pie%"
                "2A)&order=created_at.desc,word_id.desc&limit=50",
            "/rest/v1/assistants?select=*&" + user + "&order=position.asc",
        }));
    for (const auto& call : server_->calls()) {
        EXPECT_EQ(call.method, "GET");
        EXPECT_EQ(call.timeout, 8.0);
        EXPECT_FALSE(call.json);
    }
}

TEST_F(ServerLibraryReaderTest, SearchTextMadeOfFilterSyntaxIsNeverSent) {
    auto empty = read([&](auto done) { reader_->search(" ,()*%_ \"\\ ", std::move(done)); });
    EXPECT_EQ(empty,
              LibraryReadResult(Json{{"rows", Json::array()},
                                     {"capped", false},
                                     {"total", nullptr},
                                     {"limits", {{"folder", 25}, {"source", 25}, {"word", 50}}}}));
    EXPECT_EQ(server_->count(), 0u);

    // What is left of hostile text stays inside its filter value.
    server_->setFallback(DetailedCallResult(std::string("[]")));
    read([&](auto done) {
        reader_->search("x),korean.not.is.null,(lemma.eq.\"a\\", std::move(done));
    });
    ASSERT_EQ(server_->count(), 3u);
    const std::string value = "%2Ax%20%20korean%2Enot%2Eis%2Enull%20%20lemma%2Eeq%2E%20a%2A";
    EXPECT_NE(server_->calls()[2].path.find("&or=(lemma.ilike." + value + ",korean.ilike." + value +
                                            ")&"),
              std::string::npos)
        << server_->calls()[2].path;
}

TEST_F(ServerLibraryReaderTest, PagedReadsTakeOneMoreRequestAfterAFullPage) {
    for (size_t count : {999u, 1000u, 1001u, 2000u}) {
        server_ = std::make_shared<FakeServerCalling>();
        reader_ = std::make_shared<ServerLibraryReader>(server_, session_);
        server_->respondWith([count](const FakeServerCalling::Call& call) {
            return DetailedCallResult(page(count, offsetOf(call.path), "folder_id", "f"));
        });
        std::optional<RowsResult> folders;
        reader_->listFolders([&](RowsResult rows) { folders = std::move(rows); });
        ASSERT_TRUE(folders && *folders) << count;
        EXPECT_EQ((*folders)->size(), count);
        EXPECT_EQ((*folders)->back()["folder_id"], "f" + std::to_string(count - 1));
        std::vector<size_t> offsets;
        for (const auto& path : paths()) {
            offsets.push_back(offsetOf(path));
        }
        const std::vector<size_t> expected = count < 1000   ? std::vector<size_t>{0}
                                             : count < 2000 ? std::vector<size_t>{0, 1000}
                                                            : std::vector<size_t>{0, 1000, 2000};
        EXPECT_EQ(offsets, expected) << count;
    }
}

TEST_F(ServerLibraryReaderTest, IdFiltersGoOutInChunksOf200AndReviewStatesOf1000) {
    struct Case {
        size_t ids;
        size_t chunks;
    };
    for (auto [ids, chunks] : {Case{199, 1}, Case{200, 1}, Case{201, 2}}) {
        server_ = std::make_shared<FakeServerCalling>();
        reader_ = std::make_shared<ServerLibraryReader>(server_, session_);
        // The folder "f" holds ids - 1 folders below it; each folder one source; one word each.
        const size_t children = ids - 1;
        size_t sourceReads = 0;
        server_->respondWith([&](const FakeServerCalling::Call& call) {
            const std::string path = table(call.path);
            if (path == "/rest/v1/folders") {
                return DetailedCallResult(page(children, offsetOf(call.path), "folder_id", "c",
                                               Json{{"parent_id", "f"}}));
            }
            if (path == "/rest/v1/sources") {
                // One source per folder asked for, named after the request.
                return DetailedCallResult(page(listed(call.path, "folder_id"), 0, "source_id",
                                               "s" + std::to_string(++sourceReads) + "-"));
            }
            return DetailedCallResult(std::string(R"([{"word_id":"w","created_at":"t"}])"));
        });
        auto words = read([&](auto done) { reader_->wordsUnderFolder("f", 500, std::move(done)); });
        ASSERT_TRUE(words);
        EXPECT_EQ(countOf("/rest/v1/sources"), chunks) << ids;
        EXPECT_EQ(countOf("/rest/v1/words"), chunks) << ids;
        auto last = paths().back();
        EXPECT_NE(last.find("&limit=501"), std::string::npos);

        server_ = std::make_shared<FakeServerCalling>();
        reader_ = std::make_shared<ServerLibraryReader>(server_, session_);
        server_->setFallback(DetailedCallResult(std::string("[]")));
        std::vector<std::string> wordIDs;
        for (size_t i = 0; i < ids; ++i) {
            wordIDs.push_back("w" + std::to_string(i));
        }
        read([&](auto done) { reader_->wordDetails(wordIDs, std::move(done)); });
        EXPECT_EQ(server_->count(), chunks);
        EXPECT_NE(server_->calls()[0].path.find("&word_id=in.(w0,w1,"), std::string::npos);
    }

    for (auto [ids, chunks] : {Case{999, 1}, Case{1000, 1}, Case{1001, 2}}) {
        server_ = std::make_shared<FakeServerCalling>();
        reader_ = std::make_shared<ServerLibraryReader>(server_, session_);
        server_->setFallback(DetailedCallResult(std::string("[]")));
        std::vector<std::string> wordIDs(ids, "w");
        for (size_t i = 0; i < ids; ++i) {
            wordIDs[i] += std::to_string(i);
        }
        auto states = read([&](auto done) { reader_->reviewStates(wordIDs, std::move(done)); });
        ASSERT_TRUE(states);
        EXPECT_EQ(states->size(), ids);
        ASSERT_EQ(server_->count(), chunks);
        EXPECT_EQ(server_->calls()[0].json->at("p_ids").size(), std::min<size_t>(ids, 1000));
    }
}

TEST_F(ServerLibraryReaderTest, AFailingRequestEndsTheWholeRead) {
    server_->ok("GET", "/rest/v1/folders", "[]");
    server_->failure("GET", "/rest/v1/sources", CallFailureDetail(CallFailure::timeout()));
    EXPECT_EQ(read([&](auto done) { reader_->loadTree(std::move(done)); }),
              LibraryReadResult(fail(CallFailure::timeout())));

    server_->ok("GET", "/rest/v1/words", R"({"word_id":"w"})");
    EXPECT_EQ(read([&](auto done) { reader_->listWords("s", std::move(done)); }),
              LibraryReadResult(fail(CallFailure::badShape())));
    server_->ok("GET", "/rest/v1/words", R"([{"word_id":"w"},{"word_id":null}])");
    EXPECT_EQ(read([&](auto done) { reader_->listWords("s", std::move(done)); }),
              LibraryReadResult(fail(CallFailure::badShape())));

    // A review-state answer that is not a list fails the call even after a good chunk.
    server_->ok("POST", "/rest/v1/rpc/word_review_states", "[]");
    server_->ok("POST", "/rest/v1/rpc/word_review_states", R"({"id":"w"})");
    std::vector<std::string> ids(1001, "w");
    EXPECT_EQ(read([&](auto done) { reader_->reviewStates(ids, std::move(done)); }),
              LibraryReadResult(fail(CallFailure::badShape())));
    server_->ok("POST", "/rest/v1/rpc/word_review_states", "not json");
    EXPECT_EQ(read([&](auto done) { reader_->reviewStates({"w"}, std::move(done)); }),
              LibraryReadResult(fail(CallFailure::badShape())));
}

TEST_F(ServerLibraryReaderTest, RowsThatCannotBeShownAreLeftOutAndLogged) {
    server_->ok("GET", "/rest/v1/folders", R"([
        {"folder_id":"a","name":"A","parent_id":null,"position":0},
        {"folder_id":null,"name":"no id"},
        {"name":"missing id"},
        {"folder_id":"a","name":"A again","parent_id":null},
        {"folder_id":"b","name":"B","parent_id":7},
        {"folder_id":"c","name":"C","parent_id":"a"}])");
    server_->ok("GET", "/rest/v1/sources", R"([
        {"source_id":"s1","title":"one","folder_id":"a","last_seen_at":"2"},
        {"source_id":"s2","title":"two","folder_id":{"id":"a"},"last_seen_at":"3"},
        {"source_id":"s1","title":"one twice","folder_id":"c","last_seen_at":"4"},
        {"source_id":"s3","title":"loose","last_seen_at":"1"}])");
    auto tree = read([&](auto done) { reader_->loadTree(std::move(done)); });
    ASSERT_TRUE(tree);
    EXPECT_EQ((*tree)["folders"].size(), 2u);
    EXPECT_EQ((*tree)["folders"][1]["folder_id"], "c");
    ASSERT_EQ((*tree)["sources"].size(), 2u);
    EXPECT_EQ((*tree)["sources"][0]["title"], "one");
    EXPECT_EQ((*tree)["sources"][1]["source_id"], "s3");
    EXPECT_TRUE(
        log_.has("manage", "단어장 행 건너뜀 table=folders no_id=2 duplicate=1 bad_parent=1"))
        << log_.all();
    EXPECT_TRUE(
        log_.has("manage", "단어장 행 건너뜀 table=sources no_id=0 duplicate=1 bad_parent=1"));

    // Repeated words of a source are shown once.
    server_->ok("GET", "/rest/v1/words",
                R"([{"word_id":"w","created_at":"1"},{"word_id":"w","created_at":"1"}])");
    auto words = read([&](auto done) { reader_->listWords("s", std::move(done)); });
    ASSERT_TRUE(words);
    EXPECT_EQ((*words)["words"].size(), 1u);
}

// Given a worker, the tree of a large library is put together there and answered on the main
// executor, never where the server's rows arrived.
TEST_F(ServerLibraryReaderTest, TheTreeIsPutTogetherOnTheWorker) {
    auto clock = std::make_shared<testing::FakeClock>();
    auto work = std::make_shared<testing::ManualExecutor>(clock);
    auto main = std::make_shared<testing::ManualExecutor>(clock);
    auto reader = std::make_shared<ServerLibraryReader>(server_, session_,
                                                        ServerLibraryReader::maxPages, work, main);
    server_->ok("GET", "/rest/v1/folders", R"([{"folder_id":"a","name":"A","parent_id":null}])");
    server_->ok("GET", "/rest/v1/sources",
                R"([{"source_id":"s1","title":"one","folder_id":"a","last_seen_at":"2"}])");
    std::optional<LibraryReadResult> tree;
    reader->loadTree([&](LibraryReadResult result) { tree = std::move(result); });
    main->runAll();
    EXPECT_FALSE(tree);
    EXPECT_EQ(work->runAll(), 1u);
    EXPECT_FALSE(tree);
    main->runAll();
    ASSERT_TRUE(tree && *tree);
    EXPECT_EQ((**tree)["sources"][0]["source_id"], "s1");
}

TEST_F(ServerLibraryReaderTest, AServerIgnoringTheOffsetCannotMakeAReadLoop) {
    server_->respondWith([](const FakeServerCalling::Call&) {
        return DetailedCallResult(page(1000, 0, "folder_id", "f"));
    });
    std::optional<RowsResult> folders;
    reader_->listFolders([&](RowsResult rows) { folders = std::move(rows); });
    EXPECT_EQ(folders, std::optional<RowsResult>(fail(CallFailure::badShape())));
    EXPECT_EQ(server_->count(), 2u);
    EXPECT_TRUE(log_.has("manage", "단어장 읽기 중단 table=folders reason=page_repeated pages=1"));

    // Distinct full pages without end stop at the page limit.
    server_ = std::make_shared<FakeServerCalling>();
    reader_ = std::make_shared<ServerLibraryReader>(server_, session_, 3);
    server_->respondWith([](const FakeServerCalling::Call& call) {
        return DetailedCallResult(page(1'000'000, offsetOf(call.path), "folder_id", "f"));
    });
    auto trash = read([&](auto done) { reader_->listTrash(std::move(done)); });
    EXPECT_EQ(trash, LibraryReadResult(fail(CallFailure::badShape())));
    EXPECT_EQ(server_->count(), 3u);
    EXPECT_TRUE(log_.has("manage", "단어장 읽기 중단 table=folders reason=page_limit pages=3"));
}

TEST_F(ServerLibraryReaderTest, WordsUnderAFolderComeFromItsLiveBranchNewestFirst) {
    StubLibrary library("user 1");
    auto top = library.addFolder("위", std::nullopt);
    auto child = library.addFolder("아래", top);
    auto other = library.addFolder("다른", std::nullopt);
    auto gone = library.addFolder("지운", top);
    auto inTop = library.addSource("top", top);
    auto inChild = library.addSource("child", child);
    auto inOther = library.addSource("other", other);
    auto inGone = library.addSource("gone", gone);
    library.addWord("one", inTop);
    library.addWord("two", inChild);
    library.addWord("three", inOther);
    library.addWord("four", inGone);
    auto deletedWord = library.addWord("five", inChild);
    library.markDeleted("words", deletedWord);
    library.markDeleted("folders", gone);
    serve(library);

    auto words = read([&](auto done) { reader_->wordsUnderFolder(top, 1000, std::move(done)); });
    ASSERT_TRUE(words);
    ASSERT_EQ((*words)["words"].size(), 2u);
    EXPECT_EQ((*words)["words"][0]["lemma"], "two");
    EXPECT_EQ((*words)["words"][1]["lemma"], "one");
    EXPECT_EQ((*words)["capped"], false);

    auto all =
        read([&](auto done) { reader_->wordsUnderFolder(std::nullopt, 2, std::move(done)); });
    ASSERT_TRUE(all);
    EXPECT_EQ((*all)["words"].size(), 2u);
    EXPECT_EQ((*all)["capped"], true);

    // A folder with nothing in it asks for no words.
    const size_t before = server_->count();
    auto none =
        read([&](auto done) { reader_->wordsUnderFolder(other + "x", 500, std::move(done)); });
    EXPECT_EQ(none, LibraryReadResult(Json{{"words", Json::array()}, {"capped", false}}));
    EXPECT_EQ(server_->count() - before, 2u);  // folders, then the sources of the one id
}

TEST_F(ServerLibraryReaderTest, TrashShowsWhatWasDeletedUnderLiveParents) {
    StubLibrary library("user 1");
    auto live = library.addFolder("live", std::nullopt);
    auto deleted = library.addFolder("deleted", std::nullopt);
    auto below = library.addFolder("below deleted", deleted);
    auto liveSource = library.addSource("live source", live);
    auto deletedSource = library.addSource("deleted source", live);
    auto wordOfLive = library.addWord("kept", liveSource);
    auto wordOfDeleted = library.addWord("hidden", deletedSource);
    auto sentence = library.addSentence("A sentence.", liveSource);
    library.addFolder("someone else's", std::nullopt, "user 2");
    for (const auto& [tableName, id] :
         std::vector<std::pair<std::string, std::string>>{{"folders", deleted},
                                                          {"folders", below},
                                                          {"sources", deletedSource},
                                                          {"words", wordOfLive},
                                                          {"words", wordOfDeleted},
                                                          {"sentences", sentence}}) {
        library.markDeleted(tableName, id);
    }
    serve(library);

    auto trash = read([&](auto done) { reader_->listTrash(std::move(done)); });
    ASSERT_TRUE(trash);
    ASSERT_EQ((*trash)["folders"].size(), 1u);
    EXPECT_EQ((*trash)["folders"][0]["folder_id"], deleted);
    ASSERT_EQ((*trash)["sources"].size(), 1u);
    EXPECT_EQ((*trash)["sources"][0]["source_id"], deletedSource);
    ASSERT_EQ((*trash)["words"].size(), 1u);
    EXPECT_EQ((*trash)["words"][0]["word_id"], wordOfLive);
    ASSERT_EQ((*trash)["sentences"].size(), 1u);
    // One look-up of which sources of deleted words and sentences are alive.
    EXPECT_EQ(countOf("/rest/v1/sources"), 2u);
}

}  // namespace
}  // namespace parlendo
