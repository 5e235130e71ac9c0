#include "DriveRig.h"

namespace parlendo {
namespace {

using testing::DriveRig;
using testing::FakeServerCalling;

// Rows of a query read in pages: `rows` answered by limit and offset.
DetailedCallResult page(const FakeServerCalling::Call& call, const std::vector<Json>& rows) {
    auto number = [&](const std::string& key) {
        auto at = call.path.find("&" + key + "=");
        return at == std::string::npos ? 0 : std::stoul(call.path.substr(at + key.size() + 2));
    };
    const size_t offset = number("offset");
    const size_t limit = number("limit");
    Json out = Json::array();
    for (size_t i = offset; i < rows.size() && i < offset + limit; ++i) {
        out.push_back(rows[i]);
    }
    return out.dump();
}

struct DriveMapTest : ::testing::Test {
    DriveRig rig;
    std::vector<Json> toc;
    std::vector<Json> threads;  // newest first, as the server orders them
    std::string document = R"([{"id":"d1","file_name":"book.pdf","page_count":40}])";

    DriveMapTest() {
        rig.server->respondWith([this](const FakeServerCalling::Call& call) -> DetailedCallResult {
            if (call.path.starts_with("/rest/v1/drive_documents")) {
                return document;
            }
            if (call.path.starts_with("/rest/v1/drive_toc")) {
                return page(call, toc);
            }
            if (call.path.starts_with("/rest/v1/drive_threads")) {
                auto limit = std::stoul(call.path.substr(call.path.find("&limit=") + 7));
                Json out = Json::array();
                for (size_t i = 0; i < threads.size() && i < limit; ++i) {
                    out.push_back(threads[i]);
                }
                return out.dump();
            }
            return fail(CallFailureDetail(CallFailure::rejected(404), 404));
        });
    }

    Json map() {
        return rig.value([&](auto done) { rig.service->documentMap("d1", std::move(done)); });
    }
};

TEST_F(DriveMapTest, ThreadsArePlacedUnderTheLastEntryStartingOnOrBeforeTheirPage) {
    toc = {Json{{"ord", 1}, {"title", "A"}, {"level", 1}, {"page_start", 1}, {"page_end", 9}},
           Json{{"ord", 2}, {"title", 5}, {"level", 1}, {"page_start", 10}, {"page_end", 14}},
           Json{{"ord", 3}, {"title", "C"}, {"level", 1}, {"page_start", 15}, {"page_end", 40}}};
    threads = {Json{{"id", "t3"}, {"page_no", 0}, {"selection", "  two\nwords "}},
               Json{{"id", "t2"}, {"selection", "no page"}, {"created_at", "2026-02-01"}},
               Json{{"id", "t1"}, {"page_no", 12.0}, {"selection", "x"}}};
    const Json result = map();
    EXPECT_EQ(result["document"],
              (Json{{"document_id", "d1"}, {"file_name", "book.pdf"}, {"page_count", 40}}));
    EXPECT_EQ(result["toc"][1]["title"], "");
    const Json& t = result["threads"];
    EXPECT_EQ(t[0], (Json{{"thread_id", "t1"},
                          {"page_no", 12},
                          {"toc_ord", 2},
                          {"snippet", "x"},
                          {"created_at", nullptr}}));
    EXPECT_EQ(t[1]["page_no"], nullptr);
    EXPECT_EQ(t[1]["toc_ord"], nullptr);
    EXPECT_EQ(t[2]["toc_ord"], nullptr);  // page 0 is before the first entry
    EXPECT_EQ(t[2]["snippet"], "two words");
    EXPECT_EQ(result["truncated"], false);
    EXPECT_TRUE(rig.log.contains("drive", "문서 지도 ok toc=3 threads=3 truncated=false ms="));
}

TEST_F(DriveMapTest, TheNewestFiveHundredThreadsOldestFirst) {
    for (int i = 501; i >= 1; --i) {
        threads.push_back(Json{{"id", "t" + std::to_string(i)}, {"page_no", 1}});
    }
    const Json result = map();
    EXPECT_EQ(result["threads"].size(), 500u);
    EXPECT_EQ(result["threads"][0]["thread_id"], "t2");
    EXPECT_EQ(result["threads"][499]["thread_id"], "t501");
    EXPECT_EQ(result["truncated"], true);
    threads.pop_back();
    EXPECT_EQ(map()["truncated"], false);
}

TEST_F(DriveMapTest, ALongTableOfContentsIsReadInPages) {
    for (int i = 1; i <= 2500; ++i) {
        toc.push_back(
            Json{{"ord", i}, {"title", "e"}, {"level", 1}, {"page_start", 1}, {"page_end", 1}});
    }
    const Json result = map();
    EXPECT_EQ(result["toc"].size(), 2500u);
    EXPECT_EQ(result["toc"][2499]["ord"], 2500);
    EXPECT_EQ(rig.calls(*rig.server, "GET", "/rest/v1/drive_toc").size(), 4u);  // 3 + the empty
}

// Answers every read with the same row, one hop later, as the real client does.
struct RepeatingServer final : DetailedServerCalling {
    std::shared_ptr<Executor> deliver;
    int calls = 0;
    using ServerCalling::call;
    void call(std::string, std::string, std::optional<Json>, HttpHeaders, double,
              Completion<void(CallResult)> completion) override {
        ++calls;
        deliver->post([completion = std::move(completion)]() mutable {
            completion(std::string(R"([{"ord":1}])"));
        });
    }
    void callDetailed(std::string, std::string, std::optional<Json>, HttpHeaders, double,
                      Completion<void(DetailedCallResult)> completion) override {
        completion(fail(CallFailureDetail(CallFailure::badShape())));
    }
};

TEST_F(DriveMapTest, AServerThatIgnoresTheOffsetDoesNotReadForever) {
    auto server = std::make_shared<RepeatingServer>();
    server->deliver = rig.work;
    auto service = std::make_shared<DriveService>(
        server, rig.session, rig.local, rig.copies, rig.links, rig.extractor, std::nullopt,
        DriveService::Runtime{rig.work, rig.timers, rig.clock});
    std::optional<RowsResult> rows;
    service->paged("/rest/v1/drive_toc?select=ord", 1000, [&](RowsResult r) { rows = r; });
    rig.settle();
    ASSERT_TRUE(rows && *rows);
    EXPECT_EQ((*rows)->size(), static_cast<size_t>(DriveService::pagedMaxPages));
    EXPECT_EQ(server->calls, DriveService::pagedMaxPages);
    EXPECT_TRUE(rig.log.contains("drive", "나눠 읽기 멈춤 reason=page_cap"));
}

// The client answers on the main executor; a listing of many rows is parsed after the hop to the
// work executor, where it completes. A body that is not rows fails there as badShape.
TEST_F(DriveMapTest, ReadsAreParsedOnTheWorkExecutor) {
    rig.deliverOnMain();
    rig.server->respondWith(nullptr);
    rig.server->ok("GET", "/rest/v1/rows", R"([{"ord":1},{"ord":2}])");
    rig.server->ok("GET", "/rest/v1/rows", R"({"ord":1})");
    std::vector<std::pair<RowsResult, bool>> answers;
    for (int i = 0; i < 2; ++i) {
        rig.service->readRows("/rest/v1/rows?select=ord", 15.0, [&](RowsResult rows) {
            answers.emplace_back(std::move(rows), rig.work->runningTask());
        });
    }
    rig.main->runAll();
    EXPECT_TRUE(answers.empty()) << "the main executor only hands the bodies on";
    rig.work->runAll();
    ASSERT_EQ(answers.size(), 2u);
    ASSERT_TRUE(answers[0].first);
    EXPECT_EQ(answers[0].first->size(), 2u);
    EXPECT_TRUE(answers[0].second);
    ASSERT_FALSE(answers[1].first);
    EXPECT_TRUE(answers[1].first.error().is<CallFailure::BadShape>());
    EXPECT_TRUE(answers[1].second);
}

TEST_F(DriveMapTest, MissingDocumentsProjectsAndThreads) {
    document = "[]";
    EXPECT_EQ(rig.failure([&](auto done) { rig.service->documentMap("d1", std::move(done)); }),
              "not_found");
    EXPECT_EQ(rig.calls(*rig.server, "GET", "/rest/v1/drive_documents")[0].path,
              "/rest/v1/drive_documents?select=id,file_name,page_count&id=eq.d1"
              "&deleted_at=is.null&limit=1");

    DriveRig other;
    other.server->ok("GET", "/rest/v1/drive_drives", "[]");
    EXPECT_EQ(
        other.failure([&](auto done) { other.service->unplacedThreads("x", std::move(done)); }),
        "drive_not_found");
    EXPECT_EQ(other.server->count(), 1u);
    other.server->ok("GET", "/rest/v1/drive_threads", "[]");
    EXPECT_EQ(other.failure([&](auto done) { other.service->thread("t", std::move(done)); }),
              "not_found");
}

TEST_F(DriveMapTest, UnplacedThreadsAndOneThreadWithItsMessages) {
    DriveRig other;
    other.server->ok("GET", "/rest/v1/drive_drives", R"([{"id":"s1","kind":"study"}])");
    other.server->ok("GET", "/rest/v1/drive_threads", "[]");
    EXPECT_EQ(
        other.value([&](auto done) { other.service->unplacedThreads("s1", std::move(done)); }),
        (Json{{"threads", Json::array()}, {"truncated", false}}));
    EXPECT_EQ(other.server->calls().back().path,
              "/rest/v1/drive_threads?select=id,selection,created_at&drive_id=eq.s1"
              "&document_id=is.null&order=created_at.desc&limit=201");

    other.server->ok("GET", "/rest/v1/drive_threads",
                     R"([{"id":"t1","document_id":"d1","page_no":3,"selection":"the full text",
                          "mode":"document","extra":1}])");
    other.server->ok("GET", "/rest/v1/drive_messages",
                     R"([{"id":1,"role":"user","content":"q"},{"id":2.0,"role":"assistant",
                          "content":"a","model":"m","created_at":"2026-01-01"}])");
    const Json thread =
        other.value([&](auto done) { other.service->thread("t1", std::move(done)); });
    EXPECT_EQ(thread["selection"], "the full text");
    EXPECT_EQ(thread["mode"], "document");
    EXPECT_FALSE(thread.contains("extra"));
    EXPECT_EQ(thread["messages"][0], (Json{{"id", 1},
                                           {"role", "user"},
                                           {"content", "q"},
                                           {"model", nullptr},
                                           {"created_at", nullptr}}));
    EXPECT_EQ(thread["messages"][1]["id"], 2);
    EXPECT_EQ(other.server->calls().back().path,
              "/rest/v1/drive_messages?select=id,role,content,model,created_at&thread_id=eq.t1"
              "&order=id.asc");
}

}  // namespace
}  // namespace parlendo
