#include <gtest/gtest.h>

#include "FakeSecretStore.h"
#include "FakeSession.h"
#include "LogCapture.h"
#include "ManualExecutor.h"
#include "popups/PopupDraftService.h"

namespace parlendo {
namespace {

using testing::FakeSecretStore;
using testing::FakeSession;

struct SentDraft {
    std::string url;
    HttpHeaders headers;
    std::string body;
    double timeout = 0;
};

// Records each request and keeps its completion for the test to answer.
class HeldDraftTransport final : public DraftTransport {
  public:
    void post(std::string url, HttpHeaders headers, std::string body, double timeout,
              Completion<void(DraftResponse)> completion) override {
        sent.push_back({std::move(url), std::move(headers), std::move(body), timeout});
        held.push_back(std::move(completion));
    }
    void answer(DraftResponse response) {
        auto completion = std::move(held.front());
        held.erase(held.begin());
        completion(std::move(response));
    }
    std::vector<SentDraft> sent;
    std::vector<Completion<void(DraftResponse)>> held;
};

std::string callAnswer(const Json& args) {
    Json call = {{"functionCall", {{"name", "create_custom_popup"}, {"args", args}}}};
    return Json{{"candidates", Json::array({{{"content", {{"parts", Json::array({call})}}}}})}}
        .dump();
}

class PopupDraftServiceTest : public ::testing::Test {
  protected:
    PopupDraftServiceTest()
        : store_(std::make_shared<FakeSecretStore>()),
          session_(std::make_shared<FakeSession>("u")),
          connection_(std::make_shared<ConnectionSettings>(store_, session_)),
          transport_(std::make_shared<HeldDraftTransport>()),
          work_(std::make_shared<testing::ManualExecutor>()),
          service_(connection_, session_, transport_, work_, "http://127.0.0.1:1/base",
                   [this] { return uptime_; }) {
        store_->items = {{"optional_custom_ai_key", "KEY"}, {"optional_custom_ai_key_owner", "u"}};
    }

    // A request left unanswered holds the service's state: let it go.
    ~PopupDraftServiceTest() override {
        for (auto& completion : transport_->held) {
            completion.drop("the test ended without answering the request");
        }
    }

    // Starts a proposal and runs its first part.
    std::shared_ptr<std::optional<Json>> propose(const std::string& description) {
        auto out = std::make_shared<std::optional<Json>>();
        service_.propose(description, [out](Json reply) { *out = std::move(reply); });
        work_->runAll();
        return out;
    }

    Json answered(const std::string& description, DraftResponse response) {
        auto out = propose(description);
        EXPECT_FALSE(*out);
        uptime_ += 1.2345;
        transport_->answer(std::move(response));
        // The answer is handled on the work executor, never on the transport's thread.
        EXPECT_FALSE(*out);
        work_->runAll();
        return out->value_or(Json());
    }

    testing::LogCapture log_;
    double uptime_ = 100;
    std::shared_ptr<FakeSecretStore> store_;
    std::shared_ptr<FakeSession> session_;
    std::shared_ptr<ConnectionSettings> connection_;
    std::shared_ptr<HeldDraftTransport> transport_;
    std::shared_ptr<testing::ManualExecutor> work_;
    PopupDraftService service_;
};

TEST_F(PopupDraftServiceTest, RefusalsBeforeSending) {
    EXPECT_EQ(**propose("   "), (Json{{"status", "error"}, {"reason", "invalid_description"}}));
    std::string longest(2000, 'a');
    EXPECT_EQ(**propose(longest + "a"),
              (Json{{"status", "error"}, {"reason", "invalid_description"}}));
    EXPECT_FALSE(*propose(" " + longest + " "));  // 2000 is sent
    EXPECT_EQ(transport_->sent.size(), 1u);

    store_->items.erase("optional_custom_ai_key_owner");
    EXPECT_EQ(**propose("한글 뜻만"), (Json{{"status", "no_key"}}));
    session_->setUser(std::nullopt);
    EXPECT_EQ(**propose("한글 뜻만"), (Json{{"status", "error"}, {"reason", "no_session"}}));
    EXPECT_EQ(transport_->sent.size(), 1u);

    auto lines = log_.messages("draft");
    EXPECT_EQ(lines.front(), "done status=error reason=invalid_description http=- ms=0");
    EXPECT_EQ(lines.back(), "done status=error reason=no_session http=- ms=0");
    EXPECT_EQ(lines[3], "done status=no_key reason=- http=- ms=0");
}

TEST_F(PopupDraftServiceTest, SendsOneRequestWithTheKey) {
    Json reply =
        answered(" 한글 뜻만 저장하지 마 ",
                 DraftResponse::http(
                     200, callAnswer({{"contents", {"korean"}}, {"name", "뜻"}, {"save", false}})));
    ASSERT_EQ(transport_->sent.size(), 1u);
    const auto& sent = transport_->sent[0];
    EXPECT_EQ(sent.url, "http://127.0.0.1:1/base");
    EXPECT_EQ(sent.timeout, 30);
    EXPECT_EQ(sent.headers,
              (HttpHeaders{{"x-goog-api-key", "KEY"}, {"Content-Type", "application/json"}}));
    auto body = json::parse(sent.body);
    ASSERT_TRUE(body);
    EXPECT_EQ((*body)["contents"][0]["parts"][0]["text"], "한글 뜻만 저장하지 마");

    EXPECT_EQ(reply["status"], "ok");
    EXPECT_EQ(reply["needs_save_confirm"], true);
    EXPECT_EQ(reply["name"], "뜻");
    EXPECT_EQ(log_.messages("draft"),
              (std::vector<std::string>{"start len=12 model=gemini-3.1-flash-lite",
                                        "done status=ok contents=1 http=200 ms=1234"}));
}

TEST_F(PopupDraftServiceTest, AnswersMapToReasons) {
    auto reason = [&](DraftResponse response) {
        return answered("x", std::move(response)).value("reason", "");
    };
    EXPECT_EQ(reason(DraftResponse::http(403, "")), "key_or_request_rejected");
    EXPECT_EQ(reason(DraftResponse::http(401, "")), "key_or_request_rejected");
    EXPECT_EQ(reason(DraftResponse::http(404, "")), "model_unavailable");
    EXPECT_EQ(reason(DraftResponse::http(429, "")), "rate_limited");
    EXPECT_EQ(reason(DraftResponse::http(500, "")), "provider_unavailable");
    EXPECT_EQ(reason(DraftResponse::http(0, "")), "provider_unavailable");
    EXPECT_EQ(reason(DraftResponse::timedOut()), "timeout");
    EXPECT_EQ(reason(DraftResponse::unreachable()), "unreachable");
    EXPECT_EQ(reason(DraftResponse::http(200, "nope")), "malformed_proposal");
    EXPECT_EQ(reason(DraftResponse::http(200, callAnswer({{"contents", {"meaning"}}}))),
              "malformed_proposal");
    EXPECT_EQ(answered("x", DraftResponse::http(
                                200, R"({"candidates":[{"content":{"parts":[{"text":"hi"}]}}]})")),
              (Json{{"status", "no_call"}}));

    auto lines = log_.messages("draft");
    EXPECT_EQ(lines[1], "done status=error reason=key_or_request_rejected http=403 ms=1234");
    EXPECT_EQ(lines[13], "done status=error reason=timeout http=- ms=1234");
    EXPECT_EQ(lines.back(), "done status=no_call reason=- http=200 ms=1234");
}

TEST_F(PopupDraftServiceTest, RejectedProposalKeepsItsReason) {
    Json reply = answered("x", DraftResponse::http(200, callAnswer({{"contents", Json::array()}})));
    EXPECT_EQ(reply["status"], "rejected");
    EXPECT_EQ(reply["ok"], false);
    EXPECT_EQ(reply["reason"], "보여줄 콘텐츠를 하나도 못 골랐어요(다시 설명해 주세요).");
    EXPECT_EQ(log_.messages("draft").back(), "done status=rejected contents=0 http=200 ms=1234");
}

TEST_F(PopupDraftServiceTest, ChangedUserOrKeyDiscardsTheAnswer) {
    auto out = propose("x");
    session_->setUser(std::nullopt);
    transport_->answer(DraftResponse::http(200, callAnswer({{"contents", {"korean"}}})));
    work_->runAll();
    EXPECT_EQ(**out, (Json{{"status", "error"}, {"reason", "stale_credentials"}}));

    session_->setUser("u");
    out = propose("x");
    store_->items["optional_custom_ai_key"] = "OTHER";
    transport_->answer(DraftResponse::http(200, callAnswer({{"contents", {"korean"}}})));
    work_->runAll();
    EXPECT_EQ((**out)["reason"], "stale_credentials");
    EXPECT_EQ(log_.messages("draft").back(),
              "done status=error reason=stale_credentials http=- ms=0");
}

}  // namespace
}  // namespace parlendo
