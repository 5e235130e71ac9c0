#include <gtest/gtest.h>

#include "FakeServerCalling.h"
#include "FakeSession.h"
#include "popups/PopupSettingsRules.h"
#include "popups/PopupSettingsStore.h"

namespace parlendo {
namespace {

using testing::FakeServerCalling;
using testing::FakeSession;
namespace Rules = PopupSettingsRules;

const std::string assistants = "/rest/v1/assistants";

std::string repeat(const std::string& unit, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) {
        out += unit;
    }
    return out;
}

std::optional<Json> options(const Json& value) {
    return Rules::options(&value);
}

TEST(PopupSettingsRulesTest, Names) {
    EXPECT_EQ(Rules::name(" \n" + repeat("가", 40) + "\t"), repeat("가", 40));
    EXPECT_EQ(Rules::name(repeat("가", 41)), std::nullopt);
    EXPECT_EQ(Rules::name("   "), std::nullopt);
    // Characters as the user sees them: 40 flags (80 code points) are accepted.
    EXPECT_TRUE(Rules::name(repeat("🇰🇷", 40)));
}

TEST(PopupSettingsRulesTest, ContentsAndOptions) {
    EXPECT_FALSE(Rules::contents({"korean", "korean"}));
    EXPECT_FALSE(Rules::contents({}));
    EXPECT_FALSE(Rules::contents({"meaning"}));
    EXPECT_EQ(Rules::contents({"translation", "korean"}),
              (std::vector<std::string>{"translation", "korean"}));

    EXPECT_FALSE(options({{"opacity", 39}}));
    EXPECT_EQ(options({{"opacity", 40}}), (Json{{"opacity", 40}}));
    EXPECT_EQ(options({{"width", "wide"}, {"duration", 2.5}}),
              (Json{{"width", "wide"}, {"duration", 2.5}}));
    EXPECT_FALSE(options({{"width", 2}}));
    EXPECT_FALSE(options({{"duration", true}}));
    EXPECT_FALSE(options({{"duration", 30.5}}));
    EXPECT_FALSE(options({{"color", "red"}}));
    EXPECT_FALSE(options(Json::array()));
    EXPECT_EQ(Rules::options(nullptr), Json::object());

    EXPECT_EQ(Rules::spec({"korean"}, Json::object()), (Json{{"contents", {"korean"}}}));
    EXPECT_EQ(Rules::spec({"korean"}, Json{{"width", "wide"}}),
              (Json{{"contents", {"korean"}}, {"options", {{"width", "wide"}}}}));
}

class PopupSettingsStoreTest : public ::testing::Test {
  protected:
    PopupSettingsStoreTest()
        : server_(std::make_shared<FakeServerCalling>()),
          session_(std::make_shared<FakeSession>("u")),
          store_(server_, session_,
                 [this](const std::string& reason) { changes_.push_back(reason); }) {
        server_->setFallback(std::string("[]"));
    }

    template <class Call>
    PopupStoreResult run(Call call) {
        std::optional<PopupStoreResult> out;
        call([&](PopupStoreResult result) { out = std::move(result); });
        EXPECT_TRUE(out);
        return out.value_or(fail(PopupStoreError(CallFailure::unavailable())));
    }

    static void expectRefused(const PopupStoreResult& result, const std::string& reason) {
        ASSERT_FALSE(result);
        const auto* error = std::get_if<LibraryWriteError>(&result.error());
        ASSERT_TRUE(error);
        EXPECT_EQ(error->reason(), reason);
    }

    std::shared_ptr<FakeServerCalling> server_;
    std::shared_ptr<FakeSession> session_;
    std::vector<std::string> changes_;
    ServerPopupSettingsStore store_;
};

const Json storedRow = {{"id", "r1"},      {"user_id", "u"}, {"name", "뜻"},
                        {"enabled", true}, {"save", false},  {"spec", {{"contents", {"korean"}}}},
                        {"position", 5}};

TEST_F(PopupSettingsStoreTest, CreateWritesTheNextPosition) {
    server_->ok("GET", assistants, Json::array({{{"position", 4}}}).dump());
    server_->ok("POST", assistants, Json::array({storedRow}).dump());
    auto result = run([&](auto done) {
        store_.create(" 뜻 ", {"korean"}, Json{{"width", "wide"}}, false, std::move(done));
    });
    ASSERT_TRUE(result);
    EXPECT_EQ((*result)["status"], "ok");
    EXPECT_EQ((*result)["assistant"]["id"], "r1");
    EXPECT_EQ((*result)["assistant"]["contents"], Json::array({"korean"}));
    EXPECT_EQ(changes_, std::vector<std::string>{"create"});

    auto calls = server_->calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].path,
              "/rest/v1/assistants?select=position&user_id=eq.u&order=position.desc&limit=1");
    EXPECT_EQ(calls[0].timeout, 15);
    EXPECT_EQ(calls[1].path, "/rest/v1/assistants");
    EXPECT_EQ(calls[1].method, "POST");
    EXPECT_EQ(calls[1].headers, (HttpHeaders{{"Prefer", "return=representation"}}));
    EXPECT_EQ(*calls[1].json,
              (Json{{"user_id", "u"},
                    {"name", "뜻"},
                    {"enabled", true},
                    {"save", false},
                    {"spec", {{"contents", {"korean"}}, {"options", {{"width", "wide"}}}}},
                    {"position", 5}}));
}

TEST_F(PopupSettingsStoreTest, CreateOutcomes) {
    // No rows yet (or no integer position): position 0.
    server_->ok("GET", assistants, Json::array({{{"position", "7"}}}).dump());
    server_->failure("POST", assistants, testing::uniqueViolation());
    auto taken =
        run([&](auto done) { store_.create(" 뜻 ", {"korean"}, {}, true, std::move(done)); });
    EXPECT_EQ(*taken, (Json{{"status", "name_taken"}, {"name", "뜻"}}));
    EXPECT_EQ((*server_->calls()[1].json)["position"], 0);

    server_->ok("GET", assistants, "[]");
    server_->ok("POST", assistants, Json::array({{{"id", 5}}}).dump());
    expectRefused(
        run([&](auto done) { store_.create("a", {"korean"}, {}, true, std::move(done)); }),
        "outcome_unknown_save_assistant");

    server_->ok("GET", assistants, "[]");
    server_->ok("POST", assistants, "{}");
    auto bad = run([&](auto done) { store_.create("a", {"korean"}, {}, true, std::move(done)); });
    EXPECT_EQ(std::get<CallFailure>(bad.error()), CallFailure::badShape());
    EXPECT_TRUE(changes_.empty());
}

TEST_F(PopupSettingsStoreTest, ChecksComeBeforeAnyRequest) {
    expectRefused(
        run([&](auto done) { store_.create("  ", {"korean"}, {}, true, std::move(done)); }),
        "invalid_popup_name");
    expectRefused(run([&](auto done) { store_.create("a", {}, {}, true, std::move(done)); }),
                  "invalid_popup_contents");
    expectRefused(run([&](auto done) {
                      store_.create("a", {"korean"}, Json{{"opacity", 39}}, true, std::move(done));
                  }),
                  "invalid_popup_options");
    expectRefused(run([&](auto done) {
                      store_.update("r1", std::nullopt, std::nullopt, std::nullopt,
                                    Json{{"width", "wide"}}, std::move(done));
                  }),
                  "invalid_popup_nothing_to_change");
    session_->setUser(std::nullopt);
    auto signedOut = run([&](auto done) { store_.toggle("r1", true, std::move(done)); });
    EXPECT_EQ(std::get<CallFailure>(signedOut.error()), CallFailure::authRequired());
    EXPECT_TRUE(server_->calls().empty());
}

TEST_F(PopupSettingsStoreTest, UpdateSendsOnlyWhatChanged) {
    server_->ok("PATCH", assistants, Json::array({storedRow}).dump());
    auto result = run([&](auto done) {
        store_.update("r1", std::nullopt, false, std::nullopt, std::nullopt, std::move(done));
    });
    EXPECT_EQ((*result)["status"], "ok");
    auto call = server_->calls().at(0);
    EXPECT_EQ(call.method, "PATCH");
    EXPECT_EQ(call.path, "/rest/v1/assistants?user_id=eq.u&id=eq.r1");
    EXPECT_EQ(*call.json, (Json{{"save", false}}));

    // New contents replace the whole spec; options without contents are ignored.
    server_->ok("PATCH", assistants, Json::array({storedRow}).dump());
    run([&](auto done) {
        store_.update("r1", " 새 이름 ", std::nullopt, std::vector<std::string>{"example"},
                      std::nullopt, std::move(done));
    });
    EXPECT_EQ(*server_->calls().at(1).json,
              (Json{{"name", "새 이름"}, {"spec", {{"contents", {"example"}}}}}));
    EXPECT_EQ(changes_, (std::vector<std::string>{"update", "update"}));

    server_->failure("PATCH", assistants, testing::uniqueViolation());
    auto taken = run([&](auto done) {
        store_.update("r1", std::nullopt, true, std::nullopt, std::nullopt, std::move(done));
    });
    EXPECT_EQ(*taken, (Json{{"status", "name_taken"}, {"name", ""}}));

    server_->ok("PATCH", assistants, "[]");
    expectRefused(run([&](auto done) {
                      store_.update("r1", std::nullopt, true, std::nullopt, std::nullopt,
                                    std::move(done));
                  }),
                  "not_found_popup");
    EXPECT_EQ(changes_.size(), 2u);
}

TEST_F(PopupSettingsStoreTest, ToggleAndDelete) {
    server_->ok("PATCH", assistants, Json::array({storedRow}).dump());
    auto toggled = run([&](auto done) { store_.toggle("a b/ü", false, std::move(done)); });
    EXPECT_EQ((*toggled)["id"], "r1");
    EXPECT_FALSE(toggled->contains("status"));
    EXPECT_EQ(server_->calls().at(0).path, "/rest/v1/assistants?user_id=eq.u&id=eq.a%20b%2F%C3%BC");
    EXPECT_EQ(*server_->calls().at(0).json, (Json{{"enabled", false}}));

    server_->ok("PATCH", assistants, "[]");  // a row of another user matches nothing
    expectRefused(run([&](auto done) { store_.toggle("x", true, std::move(done)); }),
                  "not_found_popup");

    server_->ok("DELETE", assistants, Json::array({storedRow}).dump());
    auto deleted = run([&](auto done) { store_.remove("r1", std::move(done)); });
    EXPECT_EQ(*deleted, (Json{{"deleted", "r1"}}));
    EXPECT_EQ(server_->calls().at(2).method, "DELETE");
    EXPECT_FALSE(server_->calls().at(2).json);

    server_->failure("DELETE", assistants, CallFailure::timeout());
    auto timedOut = run([&](auto done) { store_.remove("r1", std::move(done)); });
    EXPECT_EQ(std::get<CallFailure>(timedOut.error()), CallFailure::timeout());
    EXPECT_EQ(changes_, (std::vector<std::string>{"toggle", "delete"}));
}

}  // namespace
}  // namespace parlendo
