// The lookup clients over the real server client and the recording fake transport: what goes
// on the wire, and how transport failures reach the clients.
#include <gtest/gtest.h>

#include "FakeAuthAccess.h"
#include "FakeClock.h"
#include "FakeServerTransport.h"
#include "FakeSession.h"
#include "LogCapture.h"
#include "ManualExecutor.h"
#include "lookup/ServerDictionary.h"
#include "lookup/ServerEmbedder.h"
#include "lookup/ServerSenseGenerator.h"
#include "lookup/ServerTitleVectorStore.h"
#include "lookup/ServerTranslator.h"
#include "server/ServerClient.h"

namespace parlendo {
namespace {

class LookupWireTest : public ::testing::Test {
  protected:
    LookupWireTest()
        : clock_(std::make_shared<testing::FakeClock>()),
          main_(std::make_shared<testing::ManualExecutor>(clock_)),
          client_(std::make_shared<ServerClient>(transport_, auth_, "anon-key",
                                                 ServerClient::deliverOn(main_), true, nullptr,
                                                 nullptr, clock_)) {}

    Json body(size_t i) const {
        auto request = transport_->requests().at(i);
        EXPECT_TRUE(request.body);
        return json::parse(request.body.value_or("")).value_or(Json());
    }

    std::shared_ptr<testing::FakeServerTransport> transport_ =
        std::make_shared<testing::FakeServerTransport>();
    std::shared_ptr<testing::FakeAuthAccess> auth_ = std::make_shared<testing::FakeAuthAccess>();
    std::shared_ptr<testing::FakeClock> clock_;
    std::shared_ptr<testing::ManualExecutor> main_;
    std::shared_ptr<ServerClient> client_;
    testing::LogCapture log_;
};

TEST_F(LookupWireTest, DictionaryRequestAndADroppedConnectionRetried) {
    transport_->script("/rest/v1/rpc/dict_lookup", ServerResponse::failed(-1005));
    transport_->scriptHttp("/rest/v1/rpc/dict_lookup", 200,
                           R"({"status":"ok","word":"cats","senses":[{"korean":"고양이"}]})");
    ServerDictionary dictionary(client_, clock_);
    std::optional<DictionaryLookup::Outcome> got;
    dictionary.lookup("Cats", std::nullopt, [&](DictionaryLookup::Outcome o) { got = o; });
    main_->runAll();
    ASSERT_TRUE(got && *got);
    EXPECT_EQ((*got)->senses.size(), 1u);

    auto requests = transport_->requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].timeout, 2.0);
    EXPECT_EQ(requests[0].headers.count("x-region"), 0u);
    EXPECT_EQ(requests[0].headers.at("Content-Type"), "application/json");
    EXPECT_EQ(
        body(0),
        (Json{
            {"p_word", "Cats"}, {"p_lower", "cats"}, {"p_suffix", {"cat"}}, {"p_title", nullptr}}));
    EXPECT_EQ(requests[1].body, requests[0].body);
    EXPECT_EQ(requests[1].timeout, 2.0);  // no time passed on the fake clock
    EXPECT_EQ(log_.messages("lookup").front(), "연결 끊김 — 한 번 더 remaining_ms=2000");
}

TEST_F(LookupWireTest, EdgeFunctionBodiesCarryTheRegion) {
    transport_->scriptHttp("/functions/v1/translate-sentence", 200,
                           R"({"translated_text":"안녕","target":"ko"})");
    transport_->scriptHttp("/functions/v1/embed-title", 429, "");
    transport_->scriptHttp("/functions/v1/generate-sense", 200,
                           R"({"status":"rejected","reason":"no_title"})");
    ServerTranslator translator(client_, "0.2.0", clock_);
    ServerEmbedder embedder(client_, true, "0.2.0");
    ServerSenseGenerator generator(client_, "0.2.0", clock_);

    std::optional<TranslationClient::Outcome> translated;
    translator.translate("Hello", [&](TranslationClient::Outcome o) { translated = o; });
    std::optional<EmbedClient::Outcome> embedded;
    embedder.embed("Title", [&](EmbedClient::Outcome o) { embedded = o; });
    std::optional<SenseGeneration::Outcome> generated;
    generator.generate("grok", "Title", "grok", [&](SenseGeneration::Outcome o) { generated = o; });
    main_->runAll();

    ASSERT_TRUE(translated && *translated);
    EXPECT_EQ(**translated, (TranslationClient::Result{"Hello", "안녕"}));
    ASSERT_TRUE(embedded && !*embedded);
    EXPECT_EQ(embedded->error(), CallFailure::quota());
    ASSERT_TRUE(generated);
    EXPECT_EQ(*generated, SenseGeneration::Outcome::rejected("no_title"));

    auto requests = transport_->requests();
    ASSERT_EQ(requests.size(), 3u);
    for (const auto& request : requests) {
        EXPECT_EQ(request.headers.at("x-region"), "ap-northeast-2") << request.path;
    }
    EXPECT_EQ(body(0), (Json{{"text", "Hello"}, {"app_version", "0.2.0"}}));
    EXPECT_EQ(requests[0].timeout, 8.0);
    EXPECT_EQ(body(1), (Json{{"text", "Title"}, {"app_version", "0.2.0"}}));
    EXPECT_EQ(requests[1].timeout, 15.0);
    EXPECT_EQ(body(2)["lemma"], "grok");
    EXPECT_EQ(requests[2].timeout, 8.0);
}

TEST_F(LookupWireTest, TitleVectorRequests) {
    auto session = std::make_shared<testing::FakeSession>("user-1");
    ServerTitleVectorStore store(client_, session);
    transport_->scriptHttp("/rest/v1/title_vectors", 200, "[]");
    std::optional<TitleVectorPresence> presence;
    store.presence("Docs & more", "gemini-embedding-001",
                   [&](TitleVectorPresence p) { presence = p; });
    std::optional<bool> written;
    store.upsert("Docs & more", "SRC", std::vector<double>(768, 0.5), "gemini-embedding-001",
                 [&](bool ok) { written = ok; });
    main_->runAll();
    EXPECT_EQ(presence, TitleVectorPresence::absent);
    EXPECT_EQ(written, true);

    auto requests = transport_->requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_FALSE(requests[0].body);
    EXPECT_EQ(requests[0].path,
              "/rest/v1/title_vectors?select=title_key&limit=1&user_id=eq.user-1"
              "&title_key=eq.Docs%20%26%20more&model=eq.gemini-embedding-001");
    EXPECT_EQ(requests[1].headers.at("Prefer"), "resolution=merge-duplicates");
    Json row = body(1);
    EXPECT_EQ(row["user_id"], "user-1");
    EXPECT_EQ(row["source_id"], "SRC");
    EXPECT_EQ(row["embedding"].size(), 768u);
}

}  // namespace
}  // namespace parlendo
