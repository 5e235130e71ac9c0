#include <gtest/gtest.h>

#include "FakeClock.h"
#include "FakeServerCalling.h"
#include "FakeSession.h"
#include "LogCapture.h"
#include "StubLibrary.h"
#include "wordbook/LibraryWriter.h"

#include <optional>
#include <string>
#include <vector>

namespace parlendo {
namespace {

using testing::FakeClock;
using testing::FakeServerCalling;
using testing::FakeSession;
using testing::LogCapture;
using testing::StubLibrary;

using JsonResult = LibraryWriteResult<Json>;

LibraryWriteFailure refused(LibraryWriteError error) {
    return LibraryWriteFailure(std::move(error));
}

class ServerLibraryWriterTest : public ::testing::Test {
  protected:
    ServerLibraryWriterTest()
        : server_(std::make_shared<FakeServerCalling>()),
          session_(std::make_shared<FakeSession>("user-1")),
          clock_(std::make_shared<FakeClock>(1'780'000'000.25)),
          writer_(std::make_shared<ServerLibraryWriter>(
              server_, session_, [this](const std::string& reason) { reasons_.push_back(reason); },
              clock_)) {}

    template <class Start>
    static JsonResult write(Start start) {
        std::optional<JsonResult> out;
        start([&](JsonResult result) { out = std::move(result); });
        EXPECT_TRUE(out) << "the write did not complete";
        return out ? std::move(*out) : fail(LibraryWriteFailure(CallFailure::unavailable()));
    }

    static JsonResult unknown(const std::string& what) {
        return fail(refused(LibraryWriteError::outcomeUnknown(what)));
    }

    void serve(StubLibrary& library) {
        server_->respondWith([&library](const FakeServerCalling::Call& call) {
            return library.call(call.method, call.path, call.json);
        });
    }

    std::vector<std::string> patches() const {
        std::vector<std::string> out;
        for (const auto& call : server_->calls()) {
            if (call.method == "PATCH") {
                out.push_back(call.path);
            }
        }
        return out;
    }

    LogCapture log_;
    std::shared_ptr<FakeServerCalling> server_;
    std::shared_ptr<FakeSession> session_;
    std::shared_ptr<FakeClock> clock_;
    std::vector<std::string> reasons_;
    std::shared_ptr<ServerLibraryWriter> writer_;
};

TEST_F(ServerLibraryWriterTest, SignedOutWritesFailBeforeAnyRequest) {
    session_->setUser(std::nullopt);
    const JsonResult authRequired = fail(LibraryWriteFailure(CallFailure::authRequired()));
    auto& w = *writer_;
    EXPECT_EQ(write([&](auto d) { w.createFolder("a", std::nullopt, std::move(d)); }),
              authRequired);
    EXPECT_EQ(write([&](auto d) { w.renameFolder("f", "a", std::move(d)); }), authRequired);
    EXPECT_EQ(write([&](auto d) { w.renameSource("s", "a", std::move(d)); }), authRequired);
    EXPECT_EQ(write([&](auto d) { w.moveFolder("f", std::nullopt, std::move(d)); }), authRequired);
    EXPECT_EQ(write([&](auto d) { w.moveSource("s", "f", std::move(d)); }), authRequired);
    EXPECT_EQ(write([&](auto d) { w.reorderFolders(std::nullopt, {}, std::move(d)); }),
              authRequired);
    EXPECT_EQ(write([&](auto d) { w.deleteFolder("f", std::move(d)); }), authRequired);
    EXPECT_EQ(write([&](auto d) { w.deleteSource("s", std::move(d)); }), authRequired);
    EXPECT_EQ(write([&](auto d) { w.restoreFolder("f", std::move(d)); }), authRequired);
    EXPECT_EQ(write([&](auto d) { w.restoreSource("s", std::move(d)); }), authRequired);
    EXPECT_EQ(write([&](auto d) { w.restoreWord("w", std::move(d)); }), authRequired);
    EXPECT_EQ(write([&](auto d) { w.restoreSentence("x", std::move(d)); }), authRequired);
    std::optional<LibraryWriteResult<std::string>> stamp;
    w.deleteWord("w", [&](LibraryWriteResult<std::string> r) { stamp = std::move(r); });
    EXPECT_EQ(stamp, std::optional<LibraryWriteResult<std::string>>(
                         fail(LibraryWriteFailure(CallFailure::authRequired()))));
    EXPECT_EQ(server_->count(), 0u);
    EXPECT_TRUE(reasons_.empty());
}

TEST_F(ServerLibraryWriterTest, ANewFolderGoesLastAmongItsLiveSiblings) {
    server_->ok("GET", "/rest/v1/folders", R"([{"folder_id":"부모 📁"}])");
    server_->ok("GET", "/rest/v1/folders", R"([{"position":7}])");
    server_->ok("POST", "/rest/v1/folders",
                R"([{"folder_id":"new","name":"새 폴더 🌱","parent_id":"부모 📁","position":8}])");
    auto created =
        write([&](auto d) { writer_->createFolder(" \n새 폴더 🌱\t ", "부모 📁", std::move(d)); });
    ASSERT_TRUE(created) << log_.all();
    EXPECT_EQ((*created)["folder_id"], "new");

    auto calls = server_->calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].path,
              "/rest/v1/folders?select=folder_id&user_id=eq.user-1&folder_id=eq.부모%20%F0%9F%93%81"
              "&deleted_at=is.null&limit=1");
    EXPECT_EQ(calls[1].path,
              "/rest/v1/folders?select=position&user_id=eq.user-1&deleted_at=is.null&parent_id=eq."
              "부모%20%F0%9F%93%81&order=position.desc&limit=1");
    EXPECT_EQ(calls[2].path,
              "/rest/v1/folders?select=folder_id,name,parent_id,position,created_at");
    EXPECT_EQ(calls[2].method, "POST");
    EXPECT_EQ(calls[2].json, (Json{{"user_id", "user-1"},
                                   {"name", "새 폴더 🌱"},
                                   {"parent_id", "부모 📁"},
                                   {"position", 8}}));
    EXPECT_EQ(calls[2].headers, (HttpHeaders{{"Prefer", "return=representation"}}));
    for (const auto& call : calls) {
        EXPECT_EQ(call.timeout, 15.0);
    }
    EXPECT_TRUE(reasons_.empty());

    // A blank name is refused before any request.
    EXPECT_EQ(
        write([&](auto d) { writer_->createFolder(" \n\u3000", std::nullopt, std::move(d)); }),
        JsonResult(fail(refused(LibraryWriteError::invalid("folder_name")))));
    EXPECT_EQ(write([&](auto d) { writer_->renameFolder("f", "\t", std::move(d)); }),
              JsonResult(fail(refused(LibraryWriteError::invalid("folder_name")))));
    EXPECT_EQ(server_->count(), 3u);
}

TEST_F(ServerLibraryWriterTest, FoldersAreCreatedOnlyUnderLiveFoldersOfTheUser) {
    StubLibrary library;
    serve(library);
    auto top = write([&](auto d) { writer_->createFolder("첫째", std::nullopt, std::move(d)); });
    ASSERT_TRUE(top);
    EXPECT_EQ((*top)["position"], 0);
    const std::string parent = (*top)["folder_id"];
    auto child = write([&](auto d) { writer_->createFolder("아래", parent, std::move(d)); });
    ASSERT_TRUE(child);
    EXPECT_EQ((*child)["position"], 0);
    EXPECT_EQ((*child)["parent_id"], parent);
    auto second = write([&](auto d) { writer_->createFolder("둘째", std::nullopt, std::move(d)); });
    EXPECT_EQ((*second)["position"], 1);

    auto foreign = library.addFolder("남의 것", std::nullopt, "user-2");
    library.markDeleted("folders", parent);
    const size_t before = library.count("folders", false);
    for (const auto& where : {foreign, parent, std::string("nowhere")}) {
        EXPECT_EQ(write([&](auto d) { writer_->createFolder("x", where, std::move(d)); }),
                  JsonResult(fail(refused(LibraryWriteError::notFound("parent_folder")))));
    }
    auto source = library.addSource("출처", std::nullopt);
    EXPECT_EQ(write([&](auto d) { writer_->moveSource(source, foreign, std::move(d)); }),
              JsonResult(fail(refused(LibraryWriteError::notFound("destination_folder")))));
    EXPECT_EQ(library.count("folders", false), before);
    EXPECT_EQ(library.row("sources", source)->at("folder_id"), nullptr);
}

TEST_F(ServerLibraryWriterTest, AnAnswerThatDoesNotShowTheChangeIsNotASuccess) {
    // Folder insert: no row, no id, another name.
    server_->ok("GET", "/rest/v1/folders", "[]");
    for (const char* answer : {"[]", R"([{"folder_id":null,"name":"a"}])",
                               R"([{"folder_id":"f","name":"b","parent_id":null}])",
                               R"([{"folder_id":"f","name":"a","parent_id":"elsewhere"}])"}) {
        server_->ok("POST", "/rest/v1/folders", answer);
        EXPECT_EQ(write([&](auto d) { writer_->createFolder("a", std::nullopt, std::move(d)); }),
                  unknown("create_folder"))
            << answer;
    }
    server_->ok("PATCH", "/rest/v1/folders", R"([{"folder_id":"f","name":"old"}])");
    EXPECT_EQ(write([&](auto d) { writer_->renameFolder("f", "new", std::move(d)); }),
              unknown("rename_folder"));
    server_->ok("PATCH", "/rest/v1/sources", R"([{"source_id":"s","folder_id":"other"}])");
    EXPECT_EQ(write([&](auto d) { writer_->moveSource("s", std::nullopt, std::move(d)); }),
              unknown("move_source"));
    server_->ok("PATCH", "/rest/v1/sources", R"([{"source_id":"s","title":"old"}])");
    EXPECT_EQ(write([&](auto d) { writer_->renameSource("s", "new", std::move(d)); }),
              unknown("rename_source"));
    server_->ok("PATCH", "/rest/v1/words", R"([{"word_id":"w","deleted_at":"2026"}])");
    EXPECT_EQ(write([&](auto d) { writer_->restoreWord("w", std::move(d)); }),
              unknown("restore_word"));

    // Moves: the folder must be where it was asked to be, alive and whole.
    const std::string moved = R"({"folder_id":"f","parent_id":"p","deleted_at":null,"name":"n",
                                   "position":0})";
    server_->ok("POST", "/rest/v1/rpc/move_folder_safe_v1", moved);
    EXPECT_EQ(write([&](auto d) { writer_->moveFolder("f", std::nullopt, std::move(d)); }),
              unknown("move_folder"));
    EXPECT_EQ(write([&](auto d) { writer_->moveFolder("f", "q", std::move(d)); }),
              unknown("move_folder"));
    EXPECT_EQ(write([&](auto d) { writer_->moveFolder("g", "p", std::move(d)); }),
              unknown("move_folder"));
    server_->ok(
        "POST", "/rest/v1/rpc/move_folder_safe_v1",
        R"({"folder_id":"f","parent_id":null,"deleted_at":"2026","name":"n","position":0})");
    EXPECT_EQ(write([&](auto d) { writer_->moveFolder("f", std::nullopt, std::move(d)); }),
              unknown("move_folder"));
    server_->ok("POST", "/rest/v1/rpc/move_folder_safe_v1",
                R"({"folder_id":"f","parent_id":"p","deleted_at":null,"name":"n"})");
    EXPECT_EQ(write([&](auto d) { writer_->moveFolder("f", "p", std::move(d)); }),
              unknown("move_folder"));
    server_->ok("POST", "/rest/v1/rpc/move_folder_safe_v1", moved);
    EXPECT_TRUE(write([&](auto d) { writer_->moveFolder("f", "p", std::move(d)); }));

    // Deletes and restores must count what they did.
    server_->ok("POST", "/rest/v1/rpc/delete_folder_tx",
                R"({"deleted_at":"t","folders":1,"sources":0,"words":-1,"sentences":0})");
    EXPECT_EQ(write([&](auto d) { writer_->deleteFolder("f", std::move(d)); }),
              unknown("delete_folder"));
    server_->ok("POST", "/rest/v1/rpc/delete_source_tx",
                R"({"deleted_at":null,"sources":1,"words":0,"sentences":0})");
    EXPECT_EQ(write([&](auto d) { writer_->deleteSource("s", std::move(d)); }),
              unknown("delete_source"));
    server_->ok("POST", "/rest/v1/rpc/restore_folder_tx",
                R"({"restored":{"folders":1,"sources":0,"words":0,"sentences":0}})");
    EXPECT_EQ(write([&](auto d) { writer_->restoreFolder("f", std::move(d)); }),
              unknown("restore_folder"));
    server_->ok("POST", "/rest/v1/rpc/restore_source_tx",
                R"({"restored":{"sources":1,"words":0,"sentences":true},"moved_to_root":false})");
    EXPECT_EQ(write([&](auto d) { writer_->restoreSource("s", std::move(d)); }),
              unknown("restore_source"));
    for (const char* body : {"[1]", "not json", ""}) {
        server_->ok("POST", "/rest/v1/rpc/delete_folder_tx", body);
        EXPECT_EQ(write([&](auto d) { writer_->deleteFolder("f", std::move(d)); }),
                  unknown("delete_folder_tx"));
    }
    server_->ok("PATCH", "/rest/v1/words", R"([{"word_id":"w","deleted_at":null}])");
    std::optional<LibraryWriteResult<std::string>> stamp;
    writer_->deleteWord("w", [&](LibraryWriteResult<std::string> r) { stamp = std::move(r); });
    EXPECT_EQ(stamp, std::optional<LibraryWriteResult<std::string>>(
                         fail(refused(LibraryWriteError::outcomeUnknown("delete_word")))));
    server_->ok("PATCH", "/rest/v1/words", R"({"word_id":"w"})");
    writer_->deleteWord("w", [&](LibraryWriteResult<std::string> r) { stamp = std::move(r); });
    EXPECT_EQ(stamp, std::optional<LibraryWriteResult<std::string>>(
                         fail(LibraryWriteFailure(CallFailure::badShape()))));

    // Only the one confirmed move was announced.
    EXPECT_EQ(reasons_, (std::vector<std::string>{"move_folder"}));
}

TEST_F(ServerLibraryWriterTest, RenamingASourceToATakenTitleAnswersNameTaken) {
    StubLibrary library;
    serve(library);
    auto first = library.addSource("기사 📰", std::nullopt);
    auto second = library.addSource("other", std::nullopt);
    auto taken = write([&](auto d) { writer_->renameSource(second, " 기사 📰 ", std::move(d)); });
    EXPECT_EQ(taken, JsonResult(Json{{"status", "name_taken"}, {"title", "기사 📰"}}));
    EXPECT_EQ(library.row("sources", second)->at("title"), "other");
    EXPECT_TRUE(reasons_.empty());

    auto renamed = write([&](auto d) { writer_->renameSource(second, " \n", std::move(d)); });
    ASSERT_TRUE(renamed);
    EXPECT_EQ((*renamed)["status"], "ok");
    EXPECT_EQ((*renamed)["source"]["title"], "(제목 없음)");
    EXPECT_EQ((*renamed)["source"]["source_id"], second);
    EXPECT_EQ(reasons_, (std::vector<std::string>{"rename_source"}));

    library.markDeleted("sources", first);
    EXPECT_EQ(write([&](auto d) { writer_->renameSource(first, "x", std::move(d)); }),
              JsonResult(fail(refused(LibraryWriteError::notFound("source")))));
    EXPECT_EQ(write([&](auto d) { writer_->renameFolder("nothing", "x", std::move(d)); }),
              JsonResult(fail(refused(LibraryWriteError::notFound("folder")))));
    EXPECT_EQ(patches().back(),
              "/rest/v1/folders?user_id=eq.user-1&folder_id=eq.nothing&deleted_at=is.null&select="
              "folder_id,name,parent_id,position,created_at");

    // Other rejections pass on unchanged.
    server_->respondWith(nullptr);
    server_->failure("PATCH", "/rest/v1/sources",
                     CallFailureDetail(testing::rejection(400, "23514")));
    EXPECT_EQ(write([&](auto d) { writer_->renameSource(second, "y", std::move(d)); }),
              JsonResult(fail(LibraryWriteFailure(testing::rejection(400, "23514")))));
}

TEST_F(ServerLibraryWriterTest, ReorderingWritesOnlyTheFoldersOutOfPlace) {
    StubLibrary library;
    serve(library);
    auto a = library.addFolder("a", std::nullopt);
    auto b = library.addFolder("b", std::nullopt);
    auto c = library.addFolder("c", std::nullopt);
    auto reorder = [&](std::vector<std::string> order) {
        return write([&](auto d) { writer_->reorderFolders(std::nullopt, order, std::move(d)); });
    };
    EXPECT_EQ(reorder({a, b, c}), JsonResult(Json{{"reordered", 3}}));
    EXPECT_TRUE(patches().empty());
    EXPECT_TRUE(log_.has("manage", "reorder_folders n=3 written=0"));

    EXPECT_EQ(reorder({b, a, c}), JsonResult(Json{{"reordered", 3}}));
    ASSERT_EQ(patches().size(), 2u);
    EXPECT_EQ(patches()[0], "/rest/v1/folders?user_id=eq.user-1&folder_id=eq." + b +
                                "&deleted_at=is.null&select=folder_id");
    EXPECT_EQ(library.row("folders", b)->at("position"), 0);
    EXPECT_EQ(library.row("folders", a)->at("position"), 1);

    // A stored position that is not the index is rewritten even when the order stays.
    server_->respondWith(nullptr);
    server_->ok("GET", "/rest/v1/folders",
                R"([{"folder_id":"x","position":0},{"folder_id":"y","position":1},
                    {"folder_id":"z","position":7},{"position":3}])");
    server_->ok("PATCH", "/rest/v1/folders", R"([{"folder_id":"z"}])");
    EXPECT_EQ(write([&](auto d) {
                  writer_->reorderFolders("p", {"x", "y", "z"}, std::move(d));
              }),
              JsonResult(Json{{"reordered", 3}}));
    EXPECT_EQ(server_->calls().back().json, (Json{{"position", 2}}));
    EXPECT_NE(server_->calls()[server_->count() - 2].path.find(
                  "&parent_id=eq.p&order=folder_id.asc&limit=1000&offset=0"),
              std::string::npos);

    // A list that is not exactly the live siblings writes nothing.
    const size_t before = server_->count();
    for (const auto& order : std::vector<std::vector<std::string>>{
             {"x", "y"}, {"x", "y", "z", "w"}, {"x", "y", "y"}, {"x", "y", "w"}}) {
        EXPECT_EQ(write([&](auto d) { writer_->reorderFolders("p", order, std::move(d)); }),
                  JsonResult(fail(refused(LibraryWriteError::siblingsChanged()))));
    }
    EXPECT_EQ(server_->count(), before + 4);  // one sibling read each, no write

    // A folder that went away while positions were written ends the reorder.
    server_->ok("PATCH", "/rest/v1/folders", "[]");
    EXPECT_EQ(write([&](auto d) {
                  writer_->reorderFolders("p", {"z", "y", "x"}, std::move(d));
              }),
              JsonResult(fail(refused(LibraryWriteError::notFound("folder")))));

    // Many children are read a page at a time.
    server_ = std::make_shared<FakeServerCalling>();
    writer_ = std::make_shared<ServerLibraryWriter>(server_, session_, nullptr, clock_);
    server_->respondWith([](const FakeServerCalling::Call& call) {
        const size_t offset = std::stoul(call.path.substr(call.path.find("offset=") + 7));
        Json rows = Json::array();
        for (size_t i = offset; i < std::min<size_t>(2500, offset + 1000); ++i) {
            rows.push_back(Json{{"folder_id", "f" + std::to_string(i)}, {"position", i}});
        }
        return DetailedCallResult(rows.dump());
    });
    std::vector<std::string> order;
    for (int i = 0; i < 2500; ++i) {
        order.push_back("f" + std::to_string(i));
    }
    EXPECT_EQ(write([&](auto d) { writer_->reorderFolders(std::nullopt, order, std::move(d)); }),
              JsonResult(Json{{"reordered", 2500}}));
    EXPECT_EQ(server_->count(), 3u);
    EXPECT_EQ(write([&](auto d) { writer_->reorderFolders("empty", {}, std::move(d)); }),
              JsonResult(fail(refused(LibraryWriteError::siblingsChanged()))));
}

TEST_F(ServerLibraryWriterTest, DeletedBranchesComeBackWithTheirContents) {
    StubLibrary library;
    serve(library);
    auto top = library.addFolder("위", std::nullopt);
    auto child = library.addFolder("아래", top);
    auto source = library.addSource("출처", child);
    library.addWord("one", source);
    library.addSentence("A line.", source);

    auto deleted = write([&](auto d) { writer_->deleteFolder(top, std::move(d)); });
    ASSERT_TRUE(deleted);
    EXPECT_EQ((*deleted)["folders"], 2);
    EXPECT_EQ((*deleted)["sources"], 1);
    EXPECT_EQ((*deleted)["words"], 1);
    EXPECT_EQ((*deleted)["sentences"], 1);
    auto rpc = server_->calls().back();
    EXPECT_EQ(rpc.path, "/rest/v1/rpc/delete_folder_tx");
    EXPECT_EQ(rpc.json, (Json{{"p_folder_id", top}}));
    EXPECT_TRUE(rpc.headers.empty());
    EXPECT_EQ(library.count("words", true), 1u);

    auto restored = write([&](auto d) { writer_->restoreFolder(top, std::move(d)); });
    ASSERT_TRUE(restored);
    EXPECT_EQ((*restored)["restored"],
              (Json{{"folders", 2}, {"sources", 1}, {"words", 1}, {"sentences", 1}}));
    EXPECT_EQ((*restored)["skipped_sources"], Json::array());
    EXPECT_EQ(library.count("words", true), 0u);

    auto gone = write([&](auto d) { writer_->deleteSource(source, std::move(d)); });
    ASSERT_TRUE(gone);
    auto back = write([&](auto d) { writer_->restoreSource(source, std::move(d)); });
    ASSERT_TRUE(back);
    EXPECT_EQ((*back)["moved_to_root"], false);
    EXPECT_EQ(server_->calls().back().json, (Json{{"p_source_id", source}}));

    // The server refuses a folder under its own branch; the refusal passes on.
    auto cycle = write([&](auto d) { writer_->moveFolder(top, child, std::move(d)); });
    EXPECT_EQ(cycle, write([&](auto d) { writer_->moveFolder(top, top, std::move(d)); }));
    EXPECT_FALSE(cycle);
    auto moved = write([&](auto d) { writer_->moveFolder(child, std::nullopt, std::move(d)); });
    ASSERT_TRUE(moved);
    EXPECT_EQ(server_->calls().back().json,
              (Json{{"p_folder_id", child}, {"p_new_parent_id", nullptr}}));

    EXPECT_EQ(reasons_,
              (std::vector<std::string>{"delete_folder", "restore_folder", "delete_source",
                                        "restore_source", "move_folder"}));
}

TEST_F(ServerLibraryWriterTest, WordsAndSentencesComeBackSayingWhetherTheirSourceMustToo) {
    StubLibrary library;
    serve(library);
    auto liveSource = library.addSource("live", std::nullopt);
    auto deletedSource = library.addSource("deleted", std::nullopt);
    auto underLive = library.addWord("a", liveSource);
    auto underDeleted = library.addWord("b", deletedSource);
    auto loose = library.addWord("c", std::nullopt);
    auto sentence = library.addSentence("A line.", deletedSource);

    std::optional<LibraryWriteResult<std::string>> stamp;
    writer_->deleteWord(underLive,
                        [&](LibraryWriteResult<std::string> r) { stamp = std::move(r); });
    EXPECT_EQ(stamp, std::optional<LibraryWriteResult<std::string>>("2026-05-28T20:26:40.250Z"));
    EXPECT_EQ(server_->calls().back().json, (Json{{"deleted_at", "2026-05-28T20:26:40.250Z"}}));
    writer_->deleteWord(underLive,
                        [&](LibraryWriteResult<std::string> r) { stamp = std::move(r); });
    EXPECT_EQ(stamp, std::optional<LibraryWriteResult<std::string>>(
                         fail(refused(LibraryWriteError::notFound("word")))));
    for (const auto& id : {underDeleted, loose}) {
        library.markDeleted("words", id);
    }
    library.markDeleted("sentences", sentence);
    library.markDeleted("sources", deletedSource);

    auto first = write([&](auto d) { writer_->restoreWord(underLive, std::move(d)); });
    ASSERT_TRUE(first);
    EXPECT_EQ((*first)["source_requires_restore"], false);
    EXPECT_TRUE((*first)["deleted_at"].is_null());
    EXPECT_EQ(patches().back(), "/rest/v1/words?user_id=eq.user-1&word_id=eq." + underLive +
                                    "&deleted_at=not.is.null&select=word_id,lemma,korean,"
                                    "source_id,deleted_at");
    auto second = write([&](auto d) { writer_->restoreWord(underDeleted, std::move(d)); });
    EXPECT_EQ((*second)["source_requires_restore"], true);
    auto third = write([&](auto d) { writer_->restoreWord(loose, std::move(d)); });
    EXPECT_FALSE(third->contains("source_requires_restore"));
    auto line = write([&](auto d) { writer_->restoreSentence(sentence, std::move(d)); });
    EXPECT_EQ((*line)["source_requires_restore"], true);
    EXPECT_EQ((*line)["original"], "A line.");
    EXPECT_EQ(write([&](auto d) { writer_->restoreWord(underLive, std::move(d)); }),
              JsonResult(fail(refused(LibraryWriteError::notFound("word")))));
    EXPECT_EQ(write([&](auto d) { writer_->restoreSentence("", std::move(d)); }),
              JsonResult(fail(refused(LibraryWriteError::notFound("sentence")))));
    EXPECT_EQ(reasons_, (std::vector<std::string>{"restore_word", "restore_word", "restore_word",
                                                  "restore_sentence"}));

    // A source look-up that fails leaves the answer open; the restore stands.
    server_->respondWith(nullptr);
    server_->ok("PATCH", "/rest/v1/words",
                R"([{"word_id":"w","source_id":"s","deleted_at":null}])");
    server_->failure("GET", "/rest/v1/sources", CallFailureDetail(CallFailure::timeout()));
    auto open = write([&](auto d) { writer_->restoreWord("w", std::move(d)); });
    ASSERT_TRUE(open);
    EXPECT_TRUE((*open)["source_requires_restore"].is_null());
    EXPECT_TRUE((*open).contains("source_requires_restore"));
}

}  // namespace
}  // namespace parlendo
