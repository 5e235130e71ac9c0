#include <gtest/gtest.h>

#include "FakeServerCalling.h"
#include "FakeSession.h"
#include "LogCapture.h"
#include "StubLibrary.h"
#include "manage/ManageSignals.h"
#include "popups/DefaultPopupSeeder.h"
#include "wordbook/LibraryModel.h"
#include "wordbook/LibraryReadRoutes.h"
#include "wordbook/LibraryWriteRoutes.h"
#include "wordbook/TrashRoutes.h"

#include <optional>
#include <set>

namespace parlendo {
namespace {

using testing::FakeServerCalling;
using testing::FakeSession;
using testing::LogCapture;
using testing::StubLibrary;

// The manage page's word-book calls over the real reader and writer, answered by an in-memory
// word book unless a test scripts the server itself.
class LibraryRoutesTest : public ::testing::Test {
  protected:
    LibraryRoutesTest()
        : server_(std::make_shared<FakeServerCalling>()),
          session_(std::make_shared<FakeSession>("user-1")),
          reader_(std::make_shared<ServerLibraryReader>(server_, session_)),
          writer_(std::make_shared<ServerLibraryWriter>(server_, session_)),
          seeder_(DefaultPopupSeeder::make(server_, session_, [](const std::string&) {})) {
        serveLibrary();
        LibraryReadRoutes::ViewSettings view{
            [this](LibraryReadRoutes::ReadDone done) { done(stored_); },
            [this](Json value, LibraryReadRoutes::ReadDone done) {
                stored_ = value;
                done(Json{{"echo", std::move(value)}});
            }};
        auto seed = [seeder = seeder_](LibraryReadRoutes::PopupRead read,
                                       Completion<void(RowsResult)> done) {
            seeder->ensure(std::move(read),
                           [done = std::move(done)](DefaultPopupSeeder::SeedResult r) mutable {
                               if (r) {
                                   done(std::move(r->rows));
                               } else {
                                   done(fail(std::move(r.error())));
                               }
                           });
        };
        for (const auto& group :
             {std::map<std::string, BridgeEntry>(LibraryReadRoutes(reader_, view, seed).routes()),
              LibraryWriteRoutes(writer_).routes(), TrashRoutes(writer_).routes()}) {
            for (const auto& [name, entry] : group) {
                EXPECT_TRUE(routes_.emplace(name, entry).second) << "twice: " << name;
            }
        }
        token_ = NotificationCenter::defaultCenter().addObserver(
            ManageSignals::sourcesChanged, nullptr,
            [this](const Notification& n) { changes_.push_back(n.userInfo.value("reason", "")); });
    }

    void serveLibrary() {
        server_->respondWith([this](const FakeServerCalling::Call& call) {
            return library_.call(call.method, call.path, call.json);
        });
    }

    BridgeReply call(const std::string& name, Json args = Json::array()) {
        std::optional<BridgeReply> reply;
        routes_.at(name).handler()(BridgeArgs::fromJson(args),
                                   [&](BridgeReply r) { reply = std::move(r); });
        EXPECT_TRUE(reply) << name << " did not reply";
        return reply ? *reply : BridgeReply::requestFailed("none");
    }

    static Json okValue(const BridgeReply& reply) {
        const auto* ok = reply.as<BridgeReply::Ok>();
        EXPECT_TRUE(ok) << "not ok";
        return ok ? ok->value : Json();
    }

    static BridgeReply saveFailure(const std::string& code) {
        return ManageContract::reply(ManageContract::writeFailure(code, Json::object()));
    }

    std::string lastPath() const { return server_->calls().back().path; }

    LogCapture log_;
    StubLibrary library_;
    std::shared_ptr<FakeServerCalling> server_;
    std::shared_ptr<FakeSession> session_;
    std::shared_ptr<ServerLibraryReader> reader_;
    std::shared_ptr<ServerLibraryWriter> writer_;
    std::shared_ptr<DefaultPopupSeeder> seeder_;
    Json stored_ = nullptr;
    std::map<std::string, BridgeEntry> routes_;
    NotificationCenter::Token token_;
    std::vector<std::string> changes_;
};

TEST_F(LibraryRoutesTest, TheGroupsServeTheirNames) {
    std::set<std::string> names;
    for (const auto& [name, entry] : routes_) {
        EXPECT_TRUE(entry.isImplemented()) << name;
        names.insert(name);
    }
    EXPECT_EQ(names,
              (std::set<std::string>{
                  "load_tree",          "list_folders",      "list_words",        "words_in_scope",
                  "words_under_folder", "search_words",      "review_states",     "word_details",
                  "list_trash",         "get_view_settings", "set_view_settings", "list_assistants",
                  "list_content_types", "list_options",      "create_folder",     "rename_folder",
                  "rename_source",      "move_folder",       "move_source",       "reorder_folders",
                  "delete_folder",      "delete_source",     "delete_word",       "restore_folder",
                  "restore_source",     "restore_word",      "restore_sentence"}));
    EXPECT_TRUE(LibraryReadRoutes(reader_, {}).logModes().empty());
    // Without a view settings store its two calls are not served.
    auto bare = LibraryReadRoutes(reader_, {}).routes();
    EXPECT_FALSE(bare.at("get_view_settings").isImplemented());
    EXPECT_FALSE(bare.at("set_view_settings").isImplemented());
}

TEST_F(LibraryRoutesTest, ReadArgumentsAreOnlyCoerced) {
    call("list_words");
    EXPECT_NE(lastPath().find("&source_id=eq.&"), std::string::npos);
    call("list_words", Json::array({42}));
    EXPECT_NE(lastPath().find("&source_id=eq.&"), std::string::npos);
    call("words_in_scope", Json::array({nullptr}));
    EXPECT_NE(lastPath().find("&limit=1000"), std::string::npos);
    EXPECT_EQ(lastPath().find("source_id=in."), std::string::npos);
    call("words_under_folder");
    EXPECT_NE(lastPath().find("&limit=501"), std::string::npos);

    const size_t before = server_->count();
    EXPECT_EQ(okValue(call("review_states", Json::array({Json::array({"w", 1})}))), Json::object());
    EXPECT_EQ(okValue(call("word_details", Json::array({"w"}))), Json::object());
    EXPECT_EQ(server_->count(), before);

    EXPECT_EQ(okValue(call("set_view_settings")), (Json{{"echo", nullptr}}));
    EXPECT_EQ(okValue(call("set_view_settings", Json::array({{{"sort", "abc"}}}))),
              (Json{{"echo", {{"sort", "abc"}}}}));
    EXPECT_EQ(okValue(call("get_view_settings")), (Json{{"sort", "abc"}}));
    EXPECT_EQ(okValue(call("list_content_types")), LibraryModel::contentTypes());
}

TEST_F(LibraryRoutesTest, ReadsAnswerTheWordBookOrTheirFailure) {
    auto folder = library_.addFolder("책", std::nullopt);
    auto source = library_.addSource("소설", folder);
    auto word = library_.addWord("whale", source, "고래");
    library_.addSense(word, 1, "고래", "a large sea animal");
    library_.setReview(word, "learning", 2);

    Json tree = okValue(call("load_tree"));
    EXPECT_EQ(tree["folders"][0]["name"], "책");
    EXPECT_EQ(tree["sources"][0]["title"], "소설");
    EXPECT_EQ(okValue(call("list_folders")).size(), 1u);
    EXPECT_EQ(okValue(call("list_words", Json::array({source})))["words"][0]["lemma"], "whale");
    EXPECT_EQ(okValue(call("words_in_scope", Json::array({folder})))["words"].size(), 1u);
    Json found = okValue(call("search_words", Json::array({"고래"})));
    ASSERT_EQ(found["rows"].size(), 1u);
    EXPECT_EQ(found["rows"][0]["source_title"], "소설");
    EXPECT_EQ(okValue(call("review_states", Json::array({Json::array({word})}))),
              (Json{{word, {{"status", "learning"}, {"wrong_count", 2}}}}));
    EXPECT_EQ(okValue(call("word_details", Json::array({Json::array({word})})))[word]["definition"],
              "[noun] a large sea animal");

    session_->setUser(std::nullopt);
    EXPECT_EQ(call("load_tree"), BridgeReply::failed(CallFailure::authRequired()));
    EXPECT_EQ(call("list_assistants"), BridgeReply::failed(CallFailure::authRequired()));
    EXPECT_EQ(okValue(call("list_options")), LibraryModel::options());
    session_->setUser("user-1");
    server_->respondWith(nullptr);
    server_->setFallback(fail(CallFailureDetail(CallFailure::stale())));
    EXPECT_EQ(call("list_trash"), BridgeReply::failed(CallFailure::stale()));
}

TEST_F(LibraryRoutesTest, PopupsAreSeededOnceForAUserWithNone) {
    server_->respondWith(nullptr);
    server_->ok("GET", "/rest/v1/assistants", "[]");
    server_->ok("GET", "/rest/v1/assistants", R"([{"id":"a","name":"단어"}])");
    server_->ok("POST", "/rest/v1/assistants", "[]");
    Json seeded = okValue(call("list_assistants"));
    ASSERT_EQ(seeded.size(), 1u);
    EXPECT_EQ(seeded[0]["name"], "단어");
    EXPECT_EQ(seeded[0]["enabled"], true);
    EXPECT_EQ(server_->count("POST"), 1u);

    server_->ok("GET", "/rest/v1/assistants", "[]");
    EXPECT_EQ(okValue(call("list_assistants")), Json::array());
    EXPECT_EQ(server_->count("POST"), 1u);

    // A failed seeding is the reply, and the next call tries again.
    session_->setUser("user-2");
    server_->failure("POST", "/rest/v1/assistants", CallFailureDetail(CallFailure::timeout()));
    EXPECT_EQ(call("list_assistants"), BridgeReply::failed(CallFailure::timeout()));
    server_->ok("POST", "/rest/v1/assistants", "[]");
    okValue(call("list_assistants"));
    EXPECT_EQ(server_->count("POST"), 3u);
}

TEST_F(LibraryRoutesTest, WritesReplyThroughTheWriteContractAndAnnounceSourceChanges) {
    Json folder = okValue(call("create_folder", Json::array({"  여행 ✈️ ", nullptr})));
    const std::string id = folder["folder_id"];
    EXPECT_EQ(folder["name"], "여행 ✈️");
    EXPECT_TRUE(folder["parent_id"].is_null());
    Json child = okValue(call("create_folder", Json::array({"아래", id})));
    okValue(call("rename_folder", Json::array({id, "여행"})));
    auto source = library_.addSource("기사", child["folder_id"].get<std::string>());
    auto other = library_.addSource("다른 기사", std::nullopt);
    okValue(call("move_source", Json::array({source, 5})));
    EXPECT_TRUE(library_.row("sources", source)->at("folder_id").is_null());
    EXPECT_TRUE(changes_.empty());

    EXPECT_EQ(okValue(call("rename_source", Json::array({other, "기사"}))),
              (Json{{"status", "name_taken"}, {"title", "기사"}}));
    EXPECT_TRUE(changes_.empty());
    EXPECT_EQ(okValue(call("rename_source", Json::array({other, "새 기사"})))["status"], "ok");
    okValue(call("move_folder", Json::array({child["folder_id"], nullptr})));
    EXPECT_EQ(okValue(call("reorder_folders", Json::array({nullptr, {child["folder_id"], id}}))),
              (Json{{"reordered", 2}}));
    auto word = library_.addWord("tide", other);
    EXPECT_TRUE(okValue(call("delete_word", Json::array({word}))).is_string());
    okValue(call("delete_source", Json::array({other})));
    okValue(call("delete_folder", Json::array({id})));
    EXPECT_EQ(changes_, (std::vector<std::string>{"rename_source", "move_folder", "delete_source",
                                                  "delete_folder"}));

    // The word was deleted on its own, before its source.
    EXPECT_EQ(okValue(call("restore_word", Json::array({word})))["source_requires_restore"], true);
    EXPECT_EQ(call("restore_word", Json::array({word})),
              saveFailure("contract_or_permission_rejected"));
    okValue(call("restore_source", Json::array({other})));
    Json restored = okValue(call("restore_folder", Json::array({id})));
    EXPECT_EQ(restored["restored"]["folders"], 1);
    EXPECT_EQ(changes_.back(), "restore_folder");
}

TEST_F(LibraryRoutesTest, WriteFailuresReachThePageAsOneEnvelope) {
    EXPECT_EQ(call("create_folder", Json::array({"   "})),
              saveFailure("contract_or_permission_rejected"));
    EXPECT_TRUE(log_.has("manage", "쓰기 실패 reason=invalid_folder_name"));
    EXPECT_EQ(call("restore_word"), saveFailure("contract_or_permission_rejected"));
    EXPECT_TRUE(log_.has("manage", "쓰기 실패 reason=not_found_word"));
    // A missing parent is the top level; an order that is not a list of ids is empty.
    EXPECT_EQ(okValue(call("reorder_folders", Json::array({nullptr, "not a list"}))),
              (Json{{"reordered", 0}}));

    server_->respondWith(nullptr);
    server_->ok("POST", "/rest/v1/rpc/restore_folder_tx",
                R"({"restored":{"folders":1,"sources":0,"words":0,"sentences":0}})");
    EXPECT_EQ(call("restore_folder", Json::array({"f"})),
              saveFailure("transport_or_response_unknown"));
    EXPECT_TRUE(log_.has("manage", "쓰기 실패 reason=outcome_unknown_restore_folder"));
    server_->failure("POST", "/rest/v1/rpc/delete_source_tx",
                     CallFailureDetail(testing::rejection(404, "PGRST202")));
    EXPECT_EQ(call("delete_source", Json::array({"s"})),
              saveFailure("server_contract_unavailable"));
    EXPECT_TRUE(log_.has("manage", "쓰기 실패 reason=rejected_PGRST202"));

    session_->setUser(std::nullopt);
    const size_t lines = log_.messages("manage").size();
    EXPECT_EQ(call("delete_word", Json::array({"w"})),
              BridgeReply::failed(CallFailure::authRequired()));
    EXPECT_EQ(call("restore_sentence", Json::array({"x"})),
              BridgeReply::failed(CallFailure::authRequired()));
    EXPECT_EQ(log_.messages("manage").size(), lines);
    EXPECT_TRUE(changes_.empty());
}

}  // namespace
}  // namespace parlendo
