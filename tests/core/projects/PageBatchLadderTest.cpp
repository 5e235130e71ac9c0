#include "FakeServerTransport.h"
#include "LogCapture.h"
#include "projects/PageBatchLadder.h"
#include "projects/UploadTransport.h"

#include <gtest/gtest.h>

namespace parlendo {
namespace {

using Next = PageBatchLadder::Next;
using Stop = PageBatchLadder::Stop;

CallFailureDetail timedOut() {
    return CallFailureDetail(CallFailure::timeout());
}
CallFailureDetail http(int status, std::optional<double> retryAfter = std::nullopt) {
    return CallFailureDetail(CallFailure::rejected(status), status, std::nullopt, std::nullopt,
                             std::nullopt, retryAfter);
}

TEST(PageBatchLadderTest, TimeoutsShrinkTheBatchUntilTheStreakEnds) {
    PageBatchLadder ladder;
    EXPECT_EQ(ladder.batch(), 200);
    EXPECT_EQ(ladder.failed(timedOut()), Next::retry(50, 1.0, false));
    EXPECT_EQ(ladder.failed(timedOut()), Next::retry(10, 1.0, false));
    const auto third = ladder.failed(timedOut());
    EXPECT_EQ(third, Next::retry(10, 1.0, false));
    EXPECT_EQ(third.logValue(), "10");  // a shrink at the bottom is still not "same"
    const auto fourth = ladder.failed(timedOut());
    EXPECT_EQ(fourth, Next::giveUpFor(Stop::streak));
    EXPECT_EQ(fourth.logValue(), "give_up");
    EXPECT_EQ(ladder.failures, 4);
    EXPECT_EQ(ladder.retries, 3);
}

TEST(PageBatchLadderTest, ServerErrorsKeepTheSizeAndRetryAfterIsHonoured) {
    PageBatchLadder ladder;
    const auto retry = ladder.failed(http(503, 10.0));
    EXPECT_EQ(retry, Next::retry(200, 10.0, true));
    EXPECT_EQ(retry.logValue(), "same");
    EXPECT_EQ(ladder.failed(http(503)), Next::retry(200, 2.0, true));
    EXPECT_EQ(ladder.failed(http(504)), Next::retry(50, 2.0, false));

    PageBatchLadder patient;
    EXPECT_EQ(patient.failed(http(503, 10.5)), Next::giveUpFor(Stop::retryAfterLong));
    EXPECT_EQ(patient.failures, 1);
    EXPECT_EQ(patient.retries, 0);
}

TEST(PageBatchLadderTest, EightRetriesPerFileEvenWithSuccessesBetween) {
    PageBatchLadder ladder;
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(ladder.failed(http(502)), Next::retry(200, 2.0, true)) << i;
        ladder.succeeded();
    }
    EXPECT_EQ(ladder.failed(http(502)), Next::giveUpFor(Stop::total));
    EXPECT_EQ(ladder.rung, 0);
}

TEST(PageBatchLadderTest, OtherAnswersGiveUpAtOnce) {
    PageBatchLadder ladder;
    EXPECT_EQ(ladder.failed(http(401)), Next::giveUpFor(Stop::server));
    EXPECT_EQ(ladder.failed(http(400)), Next::giveUpFor(Stop::server));
    CallFailureDetail contract(CallFailure::rejected(503), 503);
    contract.verdict = ServerContract::Verdict(ServerContract::Kind::busy, "service_paused");
    EXPECT_EQ(ladder.failed(contract), Next::giveUpFor(Stop::contract));
    EXPECT_EQ(ladder.failed(CallFailureDetail(CallFailure::quota())), Next::giveUpFor(Stop::other));
    EXPECT_EQ(PageBatchLadder::verdict(CallFailureDetail(CallFailure::unavailable())),
              PageBatchLadder::Verdict(PageBatchLadder::RetryVerdict{
                  PageBatchLadder::Retry::unreachable, std::nullopt}));
    EXPECT_EQ(PageBatchLadder::kind(http(502)), "http_502");
    EXPECT_EQ(PageBatchLadder::kind(CallFailureDetail(CallFailure::stale())), "stale");
    EXPECT_EQ(PageBatchLadder::kind(CallFailureDetail(CallFailure::authRequired())), "auth");
    EXPECT_EQ(PageBatchLadder::kind(CallFailureDetail(CallFailure::badShape())), "other");
}

TEST(PageBatchLadderTest, BatchEndsByPagesAndCharacters) {
    const std::vector<std::string> pages(450, "page");
    EXPECT_EQ(PageBatchLadder::end(pages, 0, 200, PageBatchLadder::maxChars), 200u);
    EXPECT_EQ(PageBatchLadder::end(pages, 400, 200, PageBatchLadder::maxChars), 450u);
    EXPECT_EQ(PageBatchLadder::end(pages, 450, 200, PageBatchLadder::maxChars), 450u);

    const std::vector<std::string> huge{std::string(30, 'x'), "a", "b"};
    EXPECT_EQ(PageBatchLadder::end(huge, 0, 200, 20), 1u);  // the first page always goes
    const std::vector<std::string> halves(5, std::string(9, 'x'));
    EXPECT_EQ(PageBatchLadder::end(halves, 1, 200, 20), 3u);
    // Characters, not bytes: three-byte syllables count once.
    const std::vector<std::string> korean(5, "가나다");
    EXPECT_EQ(PageBatchLadder::end(korean, 0, 200, 9), 3u);
}

TEST(UploadTransportTest, ASecureConnectionFailureSwitchesToTheFallbackForGood) {
    testing::LogCapture log;
    auto primary = std::make_shared<testing::FakeServerTransport>();
    auto fallback = std::make_shared<testing::FakeServerTransport>();
    primary->setFallback(ServerResponse::failed(-1200));
    fallback->setFallback(ServerResponse::http(200, "[]"));
    auto transport = std::make_shared<UploadTransport>(primary, fallback);
    auto route = UploadRoute::over(nullptr, transport);
    EXPECT_EQ(route.conn(), "upload");

    std::vector<ServerResponse> answers;
    primary->hold(true);
    for (int i = 0; i < 2; ++i) {
        transport->send(ServerRequest{"/rest/v1/rpc/x", "POST", "{}", {}, 5},
                        [&](ServerResponse r) { answers.push_back(r); });
    }
    EXPECT_TRUE(primary->releaseNext());
    EXPECT_TRUE(primary->releaseNext());  // the second was in flight when the switch happened
    EXPECT_EQ(answers, (std::vector<ServerResponse>(2, ServerResponse::http(200, "[]"))));
    EXPECT_EQ(transport->path(), UploadTransport::Path::fallback);
    EXPECT_EQ(route.conn(), "fallback");
    EXPECT_EQ(log.count("drive", "올리기 연결 path=fallback code=-1200"), 1u);
    EXPECT_EQ(fallback->requestCount(), 2u);
    EXPECT_EQ(fallback->lastRequest().body, "{}");

    transport->send(ServerRequest{"/rest/v1/rpc/y", "POST", std::nullopt, {}, 5},
                    [&](ServerResponse r) { answers.push_back(r); });
    EXPECT_EQ(primary->requestCount(), 2u);
    EXPECT_EQ(fallback->requestCount(), 3u);
}

TEST(UploadTransportTest, OtherFailuresPassThrough) {
    auto primary = std::make_shared<testing::FakeServerTransport>();
    auto fallback = std::make_shared<testing::FakeServerTransport>();
    primary->setFallback(ServerResponse::failed(-1001));
    auto transport = std::make_shared<UploadTransport>(primary, fallback);
    std::optional<ServerResponse> answer;
    transport->send(ServerRequest{"/x", "GET", std::nullopt, {}, 5},
                    [&](ServerResponse r) { answer = r; });
    EXPECT_EQ(answer, ServerResponse::failed(-1001));
    EXPECT_EQ(transport->path(), UploadTransport::Path::upload);
    EXPECT_EQ(fallback->requestCount(), 0u);
}

}  // namespace
}  // namespace parlendo
