#include "FakeAuthAccess.h"
#include "FakeSession.h"
#include "LogCapture.h"
#include "StubBackend.h"
#include "TempDir.h"
#include "TestPdf.h"
#include "foundation/WorkerQueue.h"
#include "projects/DriveService.h"
#include "projects/FileBookmarks.h"
#include "projects/PopplerExtractor.h"
#include "projects/UploadChain.h"
#include "server/CurlServerTransport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>

namespace parlendo {
namespace {

using testing::StubAnswer;
using testing::StubBackend;
using testing::TempDir;
namespace TestPdf = testing::TestPdf;

constexpr const char* kClientInfo = "parlendo-mac/0.2.0";
constexpr const char* kPages = "/rest/v1/rpc/drive_upload_pages_v1";

// The project service over real clients: the main client on the data session, uploads through
// the upload chain, both to the loopback stub; PDFs read with poppler.
struct UploadOverCurl {
    explicit UploadOverCurl(StubBackend& stub)
        : main(std::make_shared<SerialQueue>("test.main")),
          work(std::make_shared<WorkerQueue>("test.work", 1)),
          timers(std::make_shared<SerialQueue>("test.timers")),
          auth(std::make_shared<testing::FakeAuthAccess>()),
          dataSession(
              std::make_shared<CurlSession>(ServerSessions::data(), StubBackend::caFile())) {
        auto transport = std::make_shared<CurlServerTransport>(stub.baseURL(), dataSession,
                                                               std::nullopt, kClientInfo);
        auto client = std::make_shared<ServerClient>(transport, auth, "anon-key",
                                                     ServerClient::deliverOn(main), true);
        chain = UploadChain::make(UploadChain::Parts{stub.baseURL(), kClientInfo, dataSession, auth,
                                                     "anon-key", ServerClient::deliverOn(main),
                                                     true, nullptr, nullptr, StubBackend::caFile(),
                                                     std::nullopt});
        service = std::make_shared<DriveService>(
            client, session, std::make_shared<DriveLocalStore>(dir.path()),
            std::make_shared<PageCopyStore>(dir.path()),
            std::make_shared<FileBookmarks>(dir.path() / "Trash"),
            std::make_shared<PopplerExtractor>(), chain.route,
            DriveService::Runtime{work, timers, SystemClock::shared()});
    }

    Json upload(const std::string& path, std::vector<std::array<int, 4>>* progress = nullptr) {
        std::promise<DriveResult<Json>> promise;
        service->upload(
            "s1", Json::array({path}),
            [progress](int d, int t, int i, int n) {
                if (progress) {
                    progress->push_back({d, t, i, n});
                }
            },
            [&](DriveResult<Json> result) { promise.set_value(std::move(result)); });
        auto future = promise.get_future();
        if (future.wait_for(std::chrono::seconds(90)) != std::future_status::ready) {
            ADD_FAILURE() << "the upload never ended";
            std::abort();
        }
        auto result = future.get();
        EXPECT_TRUE(result);
        return result ? *result : Json();
    }

    TempDir dir;
    std::shared_ptr<SerialQueue> main;
    std::shared_ptr<WorkerQueue> work;
    std::shared_ptr<SerialQueue> timers;
    std::shared_ptr<testing::FakeAuthAccess> auth;
    std::shared_ptr<testing::FakeSession> session =
        std::make_shared<testing::FakeSession>("user-1");
    std::shared_ptr<CurlSession> dataSession;
    UploadChain chain;
    std::shared_ptr<DriveService> service;
};

void scriptUpload(StubBackend& stub) {
    stub.on("GET", "/rest/v1/drive_drives",
            StubAnswer::json(200, R"([{"id":"s1","kind":"study"}])"));
    stub.on("POST", "/rest/v1/rpc/drive_upload_begin_v1",
            StubAnswer::json(200, R"({"document_id":"doc-1"})"));
    stub.on("POST", "/rest/v1/rpc/drive_upload_finish_v1",
            StubAnswer::json(200, R"({"status":"ready"})"));
}

std::vector<std::pair<int, size_t>> batches(const StubBackend& stub) {
    std::vector<std::pair<int, size_t>> out;
    for (const auto& request : stub.requests()) {
        if (request.path == kPages) {
            auto body = json::parse(request.body);
            out.emplace_back((*body)["p_first_page"].get<int>(), (*body)["p_pages"].size());
        }
    }
    return out;
}

TEST(UploadOverCurlTest, APageBatchThatFailsMakesTheLadderStepDown) {
    testing::LogCapture log;
    StubBackend stub;
    scriptUpload(stub);
    stub.on("POST", kPages, StubAnswer::dropped());
    stub.on("POST", kPages, StubAnswer::json(200, ""));
    UploadOverCurl rig(stub);
    const auto pdf = rig.dir.path() / "long.pdf";
    ASSERT_TRUE(TestPdf::write(pdf, TestPdf::prose(260, 4)));

    std::vector<std::array<int, 4>> progress;
    const Json result = rig.upload(pdf.string(), &progress);
    EXPECT_EQ(result["results"][0]["status"], "ready") << result.dump();
    EXPECT_EQ(batches(stub),
              (std::vector<std::pair<int, size_t>>{
                  {1, 200}, {1, 50}, {51, 50}, {101, 50}, {151, 50}, {201, 50}, {251, 10}}));
    EXPECT_EQ(progress.back(), (std::array<int, 4>{260, 260, 1, 1}));
    EXPECT_TRUE(log.contains("drive", "쪽 묶음 실패 first=1 n=200 bytes="));
    EXPECT_TRUE(log.contains("drive", "kind=unreachable wait_ms=1000"));
    EXPECT_TRUE(log.contains("drive", " retries=1 conn=upload"));

    // The page texts went up as poppler read them, and the finish carried no outline.
    for (const auto& request : stub.requests()) {
        if (request.path == "/rest/v1/rpc/drive_upload_begin_v1") {
            auto body = json::parse(request.body);
            EXPECT_EQ((*body)["p_page_count"], 260);
            EXPECT_EQ((*body)["p_file_name"], "long.pdf");
        }
        if (request.path == "/rest/v1/rpc/drive_upload_finish_v1") {
            EXPECT_EQ((*json::parse(request.body))["p_toc"], nullptr);
        }
    }
}

TEST(UploadOverCurlTest, AServerWithoutTLS12IsReachedThroughTheFallback) {
    testing::LogCapture log;
    StubBackend stub(StubBackend::Options{true, true, 32});
    scriptUpload(stub);
    stub.on("POST", kPages, StubAnswer::json(200, ""));
    UploadOverCurl rig(stub);
    const auto pdf = rig.dir.path() / "short.pdf";
    ASSERT_TRUE(TestPdf::write(pdf, TestPdf::prose(3, 10)));
    EXPECT_EQ(rig.chain.route.conn(), "upload");

    const Json result = rig.upload(pdf.string());
    EXPECT_EQ(result["results"][0]["status"], "ready") << result.dump();
    EXPECT_EQ(rig.chain.transport->path(), UploadTransport::Path::fallback);
    EXPECT_EQ(rig.chain.route.conn(), "fallback");
    EXPECT_EQ(log.count("drive", "올리기 연결 path=fallback code=-1200"), 1u);
    EXPECT_TRUE(log.contains("drive", " conn=fallback"));
    EXPECT_TRUE(log.contains("net", "error=tls_failed conn=upload")) << log.all();
    EXPECT_EQ(batches(stub), (std::vector<std::pair<int, size_t>>{{1, 3}}));
}

}  // namespace
}  // namespace parlendo
