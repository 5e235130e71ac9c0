#include <gtest/gtest.h>

#include "FakeSecretStore.h"
#include "FakeSession.h"
#include "LogCapture.h"
#include "ManualExecutor.h"
#include "popups/ConnectionRoutes.h"
#include "popups/PopupSettingsRoutes.h"

namespace parlendo {
namespace {

using testing::FakeSecretStore;
using testing::FakeSession;

// Records what reaches the store and answers with a fixed result.
class RecordingStore final : public PopupSettingsStore {
  public:
    void toggle(std::string id, bool enabled,
                Completion<void(PopupStoreResult)> completion) override {
        calls.push_back("toggle " + id + " " + (enabled ? "true" : "false"));
        completion(answer);
    }
    void remove(std::string id, Completion<void(PopupStoreResult)> completion) override {
        calls.push_back("delete " + id);
        completion(answer);
    }
    void update(std::string id, std::optional<std::string> name, std::optional<bool> save,
                std::optional<std::vector<std::string>> contents, std::optional<Json> options,
                Completion<void(PopupStoreResult)> completion) override {
        calls.push_back("update " + id + " name=" + name.value_or("-") +
                        " save=" + (save ? (*save ? "true" : "false") : "-") +
                        " contents=" + (contents ? Json(*contents).dump() : "-") +
                        " options=" + (options ? options->dump() : "-"));
        completion(answer);
    }
    void create(std::string name, std::vector<std::string> contents, std::optional<Json> options,
                bool save, Completion<void(PopupStoreResult)> completion) override {
        calls.push_back("create " + name + " " + Json(contents).dump() + " " +
                        (options ? options->dump() : "-") + " " + (save ? "true" : "false"));
        completion(answer);
    }

    std::vector<std::string> calls;
    PopupStoreResult answer = Json{{"status", "ok"}};
};

class NoTransport final : public DraftTransport {
  public:
    void post(std::string, HttpHeaders, std::string, double,
              Completion<void(DraftResponse)> completion) override {
        completion(DraftResponse::unreachable());
    }
};

BridgeReply call(const BridgeRoutes& group, const std::string& name, std::vector<Json> args,
                 testing::ManualExecutor* executor = nullptr) {
    auto routes = group.routes();
    std::optional<BridgeReply> out;
    routes.at(name).handler()(BridgeArgs(std::move(args)),
                              [&](BridgeReply reply) { out = std::move(reply); });
    if (executor) {
        executor->runAll();
    }
    EXPECT_TRUE(out);
    return out.value_or(BridgeReply::requestFailed("none"));
}

Json writeFailure(const std::string& code) {
    return Json{{"ok", false},
                {"msg", "SAVE_NOT_CONFIRMED"},
                {"error_class", "save"},
                {"save", {{"error_code", code}}}};
}

class PopupSettingsRoutesTest : public ::testing::Test {
  protected:
    PopupSettingsRoutesTest()
        : store_(std::make_shared<RecordingStore>()),
          session_(std::make_shared<FakeSession>("u")),
          main_(std::make_shared<testing::ManualExecutor>()),
          routes_(store_,
                  std::make_shared<PopupDraftService>(
                      std::make_shared<ConnectionSettings>(std::make_shared<FakeSecretStore>(),
                                                           session_),
                      session_, std::make_shared<NoTransport>(), main_),
                  main_) {}

    testing::LogCapture log_;
    std::shared_ptr<RecordingStore> store_;
    std::shared_ptr<FakeSession> session_;
    std::shared_ptr<testing::ManualExecutor> main_;
    PopupSettingsRoutes routes_;
};

TEST_F(PopupSettingsRoutesTest, ArgumentsOfTheWrongTypeAreRefused) {
    EXPECT_EQ(call(routes_, "toggle_assistant", {"r1", 1}),
              BridgeReply::custom(writeFailure("contract_or_permission_rejected")));
    EXPECT_EQ(call(routes_, "toggle_assistant", {"r1", "true"}),
              BridgeReply::custom(writeFailure("contract_or_permission_rejected")));
    EXPECT_EQ(call(routes_, "save_assistant", {"이름", Json::array({"korean"}), nullptr}),
              BridgeReply::custom(writeFailure("contract_or_permission_rejected")));
    EXPECT_TRUE(store_->calls.empty());
    EXPECT_EQ(log_.messages("manage"),
              (std::vector<std::string>{"쓰기 실패 reason=invalid_popup_enabled",
                                        "쓰기 실패 reason=invalid_popup_enabled",
                                        "쓰기 실패 reason=invalid_popup_save"}));
}

TEST_F(PopupSettingsRoutesTest, WritesReachTheStore) {
    EXPECT_EQ(call(routes_, "toggle_assistant", {"r1", false}),
              BridgeReply::ok(Json{{"status", "ok"}}));
    call(routes_, "delete_assistant", {});
    call(routes_, "update_assistant", {"r1", nullptr, 0, Json::array({"korean", 1}), "x"});
    call(routes_, "update_assistant",
         {"r1", "뜻", true, Json::array({"korean"}), Json{{"width", "wide"}}});
    call(routes_, "save_assistant", {5, "korean", Json{{"opacity", 50}}, true});
    EXPECT_EQ(store_->calls,
              (std::vector<std::string>{
                  "toggle r1 false", "delete ", "update r1 name=- save=- contents=- options=-",
                  R"(update r1 name=뜻 save=true contents=["korean"] options={"width":"wide"})",
                  R"(create  [] {"opacity":50} true)"}));
}

TEST_F(PopupSettingsRoutesTest, StoreFailuresBecomeReplies) {
    store_->answer = fail(PopupStoreError(LibraryWriteError::outcomeUnknown("save_assistant")));
    EXPECT_EQ(call(routes_, "save_assistant", {"a", Json::array({"korean"}), nullptr, true}),
              BridgeReply::custom(writeFailure("transport_or_response_unknown")));
    store_->answer = fail(PopupStoreError(CallFailure::authRequired()));
    EXPECT_EQ(call(routes_, "delete_assistant", {"r1"}),
              BridgeReply::failed(CallFailure::authRequired()));
    store_->answer = fail(PopupStoreError(CallFailure::timeout()));
    EXPECT_EQ(call(routes_, "delete_assistant", {"r1"}),
              BridgeReply::custom(writeFailure("transport_or_response_unknown")));
    store_->answer = Json{{"status", "name_taken"}, {"name", "a"}};
    EXPECT_EQ(call(routes_, "update_assistant", {"r1", "a"}),
              BridgeReply::ok(Json{{"status", "name_taken"}, {"name", "a"}}));
}

TEST_F(PopupSettingsRoutesTest, ProposeAnswersOnTheMainExecutor) {
    EXPECT_EQ(call(routes_, "propose_custom", {}, main_.get()),
              BridgeReply::ok(Json{{"status", "error"}, {"reason", "invalid_description"}}));
    EXPECT_EQ(call(routes_, "propose_custom", {"한글 뜻만"}, main_.get()),
              BridgeReply::ok(Json{{"status", "no_key"}}));
}

TEST(ConnectionRoutesTest, StatusSetAndRemove) {
    auto store = std::make_shared<FakeSecretStore>();
    auto session = std::make_shared<FakeSession>(std::nullopt);
    ConnectionRoutes routes(std::make_shared<ConnectionSettings>(store, session));

    auto status = call(routes, "credential_status", {});
    ASSERT_TRUE(status.as<BridgeReply::Ok>());
    EXPECT_EQ(status.as<BridgeReply::Ok>()->value["custom_ai"]["source"], "absent");

    Json writeFailed = {
        {"ok", false}, {"msg", "CREDENTIAL_WRITE_FAILED"}, {"error_class", "request"}};
    EXPECT_EQ(call(routes, "set_optional_credentials", {"customAI", "k"}),
              BridgeReply::custom(writeFailed));  // nobody signed in
    session->setUser("u");
    EXPECT_EQ(call(routes, "set_optional_credentials", {"customAI"}),
              BridgeReply::custom(writeFailed));
    EXPECT_TRUE(store->items.empty());

    auto stored = call(routes, "set_optional_credentials", {"customAI", "k"});
    ASSERT_TRUE(stored.as<BridgeReply::Ok>());
    EXPECT_TRUE(stored.as<BridgeReply::Ok>()->value.contains("storage_result"));

    EXPECT_EQ(
        call(routes, "remove_optional_credentials", {"openai"}),
        BridgeReply::custom(
            {{"ok", false}, {"msg", "CREDENTIAL_DELETE_FAILED"}, {"error_class", "request"}}));
    EXPECT_EQ(store->items["optional_custom_ai_key"], "k");
    EXPECT_TRUE(call(routes, "remove_optional_credentials", {"customAI"}).as<BridgeReply::Ok>());
    EXPECT_TRUE(store->items.empty());
}

// The keychain is asked on its own queue; a keychain that does not answer within the deadline
// leaves the page with a clear failure, and its late outcome is not answered twice.
TEST(ConnectionRoutesTest, TheKeychainIsAskedOnItsQueueWithinADeadline) {
    testing::LogCapture log;
    auto clock = std::make_shared<testing::FakeClock>();
    auto keychain = std::make_shared<testing::ManualExecutor>();  // not run by the clock
    auto timers = std::make_shared<testing::ManualExecutor>(clock);
    auto store = std::make_shared<FakeSecretStore>();
    ConnectionRoutes routes(
        std::make_shared<ConnectionSettings>(store, std::make_shared<FakeSession>("u")), keychain,
        timers);
    auto table = routes.routes();
    std::vector<BridgeReply> replies;
    auto ask = [&](const std::string& name, std::vector<Json> args) {
        table.at(name).handler()(BridgeArgs(std::move(args)),
                                 [&](BridgeReply reply) { replies.push_back(std::move(reply)); });
    };

    ask("credential_status", {});
    EXPECT_TRUE(replies.empty()) << "nothing is read on the caller's thread";
    keychain->runAll();
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_TRUE(replies[0].as<BridgeReply::Ok>());
    clock->advance(ConnectionRoutes::keychainDeadline);
    EXPECT_EQ(replies.size(), 1u);

    ask("set_optional_credentials", {"customAI", "k"});
    clock->advance(ConnectionRoutes::keychainDeadline - 0.1);
    EXPECT_EQ(replies.size(), 1u);
    clock->advance(0.1);
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(replies[1], BridgeReply::custom({{"ok", false},
                                               {"msg", "CREDENTIAL_STORE_NOT_ANSWERING"},
                                               {"error_class", "request"}}));
    EXPECT_TRUE(log.has("connection", "키체인이 답하지 않음 call=set_optional_credentials s=5"));
    EXPECT_TRUE(store->items.empty());
    keychain->runAll();  // the keychain answers late: the key is kept, the page is not told again
    EXPECT_EQ(replies.size(), 2u);
    EXPECT_EQ(store->items["optional_custom_ai_key"], "k");
}

}  // namespace
}  // namespace parlendo
