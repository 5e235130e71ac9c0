// The dictionary and translation calls end to end: server client, curl transport and the
// loopback stub backend.
#include <gtest/gtest.h>

#include "FakeAuthAccess.h"
#include "StubBackend.h"
#include "foundation/WorkerQueue.h"
#include "lookup/ServerDictionary.h"
#include "lookup/ServerTranslator.h"
#include "server/CurlServerTransport.h"
#include "server/ServerClient.h"

#include <chrono>
#include <future>

namespace parlendo {
namespace {

using testing::StubAnswer;
using testing::StubBackend;

class LookupOverCurlTest : public ::testing::Test {
  protected:
    LookupOverCurlTest() : main_(std::make_shared<SerialQueue>("test.main")) {
        auto session = std::make_shared<CurlSession>(ServerSessions::data(), StubBackend::caFile());
        auto transport = std::make_shared<CurlServerTransport>(stub_.baseURL(), session,
                                                               std::nullopt, "parlendo-mac/0.2.0");
        client_ =
            std::make_shared<ServerClient>(transport, std::make_shared<testing::FakeAuthAccess>(),
                                           "anon-key", ServerClient::deliverOn(main_), true);
    }

    template <class T>
    static T await(std::future<T> future) {
        if (future.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
            ADD_FAILURE() << "no answer";
            std::abort();
        }
        return future.get();
    }

    StubBackend stub_;
    std::shared_ptr<SerialQueue> main_;
    std::shared_ptr<ServerClient> client_;
};

TEST_F(LookupOverCurlTest, DictionaryLookupRetriesADroppedConnection) {
    stub_.on("POST", "/rest/v1/rpc/dict_lookup", StubAnswer::dropped());
    stub_.on("POST", "/rest/v1/rpc/dict_lookup",
             StubAnswer::json(200, R"({"status":"ok","word":"run","lemma":"run",
                                      "senses":[{"korean":"달리다","pos":"verb"}]})"));
    ServerDictionary dictionary(client_);
    std::promise<DictionaryLookup::Outcome> promise;
    dictionary.lookup("Running", "문서 — 제목", [&](DictionaryLookup::Outcome outcome) {
        EXPECT_TRUE(main_->isCurrent());
        promise.set_value(std::move(outcome));
    });
    auto outcome = await(promise.get_future());
    ASSERT_TRUE(outcome) << outcome.error().logReason();
    EXPECT_EQ(outcome->senses, (std::vector<DictionaryLookup::Sense>{{"달리다", "", "", "verb"}}));

    auto requests = stub_.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].body, requests[0].body);
    EXPECT_EQ(json::parse(requests[1].body), (Json{{"p_word", "Running"},
                                                   {"p_lower", "running"},
                                                   {"p_suffix", {"runn", "runne", "run"}},
                                                   {"p_title", "문서 — 제목"}}));
    EXPECT_EQ(requests[1].header("Authorization"), "Bearer token-1");
    EXPECT_EQ(requests[1].header("x-region"), std::nullopt);
}

TEST_F(LookupOverCurlTest, SentenceTranslation) {
    stub_.on("POST", "/functions/v1/translate-sentence",
             StubAnswer::json(200, R"({"translated_text":"고양이가 앉았다.","target":"ko"})"));
    stub_.on("POST", "/functions/v1/translate-sentence", StubAnswer::json(429, "{}"));
    ServerTranslator translator(client_, "0.2.0");
    std::promise<TranslationClient::Outcome> promise;
    translator.translate("The cat sat.", [&](TranslationClient::Outcome outcome) {
        promise.set_value(std::move(outcome));
    });
    auto outcome = await(promise.get_future());
    ASSERT_TRUE(outcome) << outcome.error().logReason();
    EXPECT_EQ(*outcome, (TranslationClient::Result{"The cat sat.", "고양이가 앉았다."}));

    auto request = stub_.requests().at(0);
    EXPECT_EQ(json::parse(request.body),
              (Json{{"text", "The cat sat."}, {"app_version", "0.2.0"}}));
    EXPECT_EQ(request.header("x-region"), "ap-northeast-2");

    // A quota answer by status reaches the caller as quota.
    std::promise<TranslationClient::Outcome> second;
    translator.translate("Again.", [&](TranslationClient::Outcome o) { second.set_value(o); });
    auto refused = await(second.get_future());
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error(), CallFailure::quota());
}

}  // namespace
}  // namespace parlendo
