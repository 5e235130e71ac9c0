#include "DriveRig.h"

namespace parlendo {
namespace {

using testing::DriveRig;
using testing::FakeServerCalling;
using testing::textPages;

constexpr const char* kBegin = "/rest/v1/rpc/drive_upload_begin_v1";
constexpr const char* kPages = "/rest/v1/rpc/drive_upload_pages_v1";
constexpr const char* kFinish = "/rest/v1/rpc/drive_upload_finish_v1";
constexpr const char* kDocuments = "/rest/v1/drive_documents";

// The upload functions of the server: every begin makes a new document, page batches succeed
// unless `batchFailures` holds a failure for them (by first page), finish answers `finishReply`.
struct UploadBackend {
    int begun = 0;
    std::map<int, std::deque<CallFailureDetail>> batchFailures;
    std::string finishReply = R"({"status":"ready"})";
    std::optional<std::string> beginReply;
    std::deque<DetailedCallResult> withdrawals;
    std::function<void(const FakeServerCalling::Call&)> onCall;

    DetailedCallResult answer(const FakeServerCalling::Call& call) {
        if (onCall) {
            onCall(call);
        }
        const std::string path = call.path.substr(0, call.path.find('?'));
        if (path == kBegin) {
            ++begun;
            return beginReply ? *beginReply
                              : R"({"document_id":"doc-)" + std::to_string(begun) + "\"}";
        }
        if (path == kPages) {
            auto& queue = batchFailures[call.json->at("p_first_page").get<int>()];
            if (!queue.empty()) {
                auto failure = queue.front();
                queue.pop_front();
                return fail(failure);
            }
            return std::string();
        }
        if (path == kFinish) {
            return finishReply;
        }
        if (path == kDocuments && call.method == "PATCH") {
            if (withdrawals.empty()) {
                return std::string("[]");
            }
            auto next = withdrawals.front();
            withdrawals.pop_front();
            return next;
        }
        return fail(CallFailureDetail(CallFailure::rejected(404), 404));
    }
};

struct DriveUploadTest : ::testing::Test {
    DriveRig rig;
    UploadBackend backend;
    std::vector<std::array<int, 4>> progress;

    DriveUploadTest() {
        rig.withUploadRoute();
        rig.uploadServer->respondWith([this](const auto& call) { return backend.answer(call); });
        rig.server->ok("GET", "/rest/v1/drive_drives",
                       R"([{"id":"s1","kind":"study","name":"a"}])");
    }

    std::string file(const std::string& name, std::vector<std::string> pages,
                     std::vector<OutlineEntry> outline = {}) {
        const std::string path = rig.dir.write(name, "%PDF-1.7").string();
        rig.extractor->document(path, std::move(pages), std::move(outline));
        return path;
    }

    Json upload(const Json& paths) {
        return rig.value([&](auto done) {
            rig.service->upload(
                "s1", paths,
                [this](int d, int t, int i, int n) {
                    progress.push_back({d, t, i, n});
                },
                std::move(done));
        });
    }

    std::vector<FakeServerCalling::Call> uploads(const char* path) const {
        return rig.calls(*rig.uploadServer, "POST", path);
    }
    std::vector<int> batchStarts() const {
        std::vector<int> out;
        for (const auto& call : uploads(kPages)) {
            out.push_back(call.json->at("p_first_page").get<int>());
        }
        return out;
    }
    std::vector<size_t> batchSizes() const {
        std::vector<size_t> out;
        for (const auto& call : uploads(kPages)) {
            out.push_back(call.json->at("p_pages").size());
        }
        return out;
    }
};

CallFailureDetail timedOut() {
    return CallFailureDetail(CallFailure::timeout());
}

TEST_F(DriveUploadTest, OnlyTwentyLocalPDFsAreTakenAndTheRestIsCounted) {
    Json paths = Json::array();
    for (int i = 0; i < 25; ++i) {
        paths.push_back(file("f" + std::to_string(i) + ".PDF", textPages(1)));
    }
    paths.push_back(rig.dir.path().string() + "/missing.pdf");
    paths.push_back("/" + rig.dir.path().string() + "/f1.PDF");  // begins with "//"
    std::filesystem::create_directory(rig.dir.path() / "folder.pdf");
    paths.push_back((rig.dir.path() / "folder.pdf").string());
    paths.push_back(42);
    const Json result = upload(paths);
    EXPECT_EQ(result["not_pdf"], 3);
    EXPECT_EQ(result["too_many"], 5);
    ASSERT_EQ(result["results"].size(), 20u);
    EXPECT_EQ(result["results"][0], (Json{{"document_id", "doc-1"},
                                          {"status", "ready"},
                                          {"duplicate_of", nullptr},
                                          {"file_name", "f0.PDF"}}));
    EXPECT_EQ(rig.extractor->calls(), 20);
    EXPECT_EQ(progress.front(), (std::array<int, 4>{0, 1, 1, 20}));
    EXPECT_EQ(progress.back(), (std::array<int, 4>{1, 1, 20, 20}));

    EXPECT_EQ(upload(Json::array({"relative.pdf", 3})),
              (Json{{"results", Json::array()}, {"not_pdf", 1}, {"too_many", 0}}));
    EXPECT_EQ(rig.failure([&](auto done) {
        rig.service->upload("s1", Json("/a.pdf"), nullptr, std::move(done));
    }),
              "file_not_found");
    rig.session->setUser(std::nullopt);
    EXPECT_EQ(rig.failure([&](auto done) {
        rig.service->upload("s1", Json::array(), nullptr, std::move(done));
    }),
              "auth_required");
}

TEST_F(DriveUploadTest, BeginFinishAndTheLocalCopyAndLink) {
    const std::vector<OutlineEntry> outline{{"Intro", 1, 1}, {"Body", 1, 2}};
    const auto pages = textPages(3, 100);
    const std::string path = file("book.pdf", pages, outline);
    const Json result = upload(Json::array({path}));
    EXPECT_EQ(result["results"][0]["status"], "ready");

    const auto begin = uploads(kBegin).at(0);
    EXPECT_EQ(*begin.json, (Json{{"p_drive_id", "s1"},
                                 {"p_file_name", "book.pdf"},
                                 {"p_doc_title", nullptr},
                                 {"p_page_count", 3},
                                 {"p_text_sha256", DriveText::sha(pages)}}));
    EXPECT_EQ(begin.timeout, 15.0);
    const auto batch = uploads(kPages).at(0);
    EXPECT_EQ(batch.json->at("p_first_page"), 1);
    EXPECT_EQ(batch.json->at("p_pages"), Json(pages));
    EXPECT_EQ(batch.timeout, 20.0);
    const auto finish = uploads(kFinish).at(0);
    EXPECT_EQ(
        finish.json->at("p_toc"),
        Json::array({Json{{"title", "Intro"}, {"level", 1}, {"page_start", 1}, {"page_end", 1}},
                     Json{{"title", "Body"}, {"level", 1}, {"page_start", 2}, {"page_end", 3}}}));
    EXPECT_EQ(rig.server->count(), 1u);  // only the project row went through the main client

    EXPECT_NE(rig.copies->pages("user-1", "doc-1", DriveText::sha(pages)), nullptr);
    auto mark = rig.local->source("doc-1", "user-1");
    ASSERT_TRUE(mark);
    EXPECT_EQ(rig.links->resolve(*mark), (SourceLink{path, std::nullopt}));
    EXPECT_EQ(rig.changes, 1);
    const std::string ok = rig.log.startingWith("drive", "올리기 ok ");
    EXPECT_NE(ok.find("status=ready duplicate=false pages=3 outline=2 extract_ms="),
              std::string::npos)
        << ok;
    EXPECT_NE(ok.find(" retries=0 conn=upload"), std::string::npos) << ok;
    EXPECT_TRUE(rig.log.contains("drive", "사본 ok where=upload pages=3 ms="));
}

TEST_F(DriveUploadTest, FinishWithoutStatusDecidesByTheAmountOfText) {
    backend.finishReply = "{}";
    const std::string sparse = file("sparse.pdf", {"a few words"}, {{"Only", 1, 1}});
    const std::string full = file("full.pdf", textPages(2, 150), {{"Only", 1, 1}});
    const Json result = upload(Json::array({sparse, full}));
    EXPECT_EQ(result["results"][0]["status"], "no_text");
    EXPECT_EQ(result["results"][1]["status"], "ready");
    EXPECT_EQ(uploads(kFinish).at(0).json->at("p_toc"), nullptr);
    EXPECT_TRUE(uploads(kFinish).at(1).json->at("p_toc").is_array());
    EXPECT_EQ(rig.copies->pages("user-1", "doc-1", DriveText::sha({"a few words"})), nullptr);

    backend.finishReply = "not json";
    const Json broken = upload(Json::array({full}));
    EXPECT_EQ(broken["results"][0]["error"], "server_error");
}

TEST_F(DriveUploadTest, ADuplicateSendsNothingAndAnswersTheExistingDocument) {
    backend.beginReply = R"({"duplicate_of":"old-7"})";
    rig.server->ok("GET", kDocuments, "[]");
    const auto pages = textPages(2, 150);
    const Json result = upload(Json::array({file("again.pdf", pages)}));
    EXPECT_EQ(result["results"][0], (Json{{"document_id", "old-7"},
                                          {"status", "ready"},
                                          {"duplicate_of", "old-7"},
                                          {"file_name", "again.pdf"}}));
    EXPECT_TRUE(uploads(kPages).empty());
    EXPECT_TRUE(uploads(kFinish).empty());
    EXPECT_TRUE(progress.empty());
    EXPECT_EQ(rig.changes, 0);
    EXPECT_EQ(rig.server->calls().back().path,
              "/rest/v1/drive_documents?select=status&id=eq.old-7&limit=1");
    EXPECT_NE(rig.copies->pages("user-1", "old-7", DriveText::sha(pages)), nullptr);
    EXPECT_TRUE(rig.log.contains("drive", "duplicate=true"));

    rig.server->ok("GET", kDocuments, R"([{"status":"no_text"}])");
    EXPECT_EQ(upload(Json::array({file("b.pdf", {"x"})}))["results"][0]["status"], "no_text");
    backend.beginReply = "[1]";
    EXPECT_EQ(upload(Json::array({file("c.pdf", {"x"})}))["results"][0]["error"], "server_error");
}

TEST_F(DriveUploadTest, ALongDocumentGoesInBatchesOfTwoHundred) {
    upload(Json::array({file("long.pdf", textPages(450))}));
    EXPECT_EQ(batchStarts(), (std::vector<int>{1, 201, 401}));
    EXPECT_EQ(progress, (std::vector<std::array<int, 4>>{
                            {0, 450, 1, 1}, {200, 450, 1, 1}, {400, 450, 1, 1}, {450, 450, 1, 1}}));
}

TEST_F(DriveUploadTest, ATimeoutShrinksTheBatchAfterAPause) {
    backend.batchFailures[201].push_back(timedOut());
    std::vector<double> sentAt;
    backend.onCall = [&](const auto& call) {
        if (call.path == kPages) {
            sentAt.push_back(rig.clock->elapsed());
        }
    };
    const Json result = upload(Json::array({file("long.pdf", textPages(450))}));
    EXPECT_EQ(result["results"][0]["status"], "ready");
    EXPECT_EQ(batchStarts(), (std::vector<int>{1, 201, 201, 251, 301, 351, 401}));
    EXPECT_EQ(batchSizes(), (std::vector<size_t>{200, 200, 50, 50, 50, 50, 50}));
    EXPECT_DOUBLE_EQ(sentAt[2] - sentAt[1], 1.0);
    const std::string line = rig.log.startingWith("drive", "쪽 묶음 실패 ");
    EXPECT_NE(line.find("first=201 n=200 bytes="), std::string::npos) << line;
    EXPECT_NE(line.find(" attempt=1 streak=1 kind=timeout wait_ms=1000 ms="), std::string::npos)
        << line;
    EXPECT_TRUE(line.ends_with(" next=50")) << line;
    EXPECT_TRUE(rig.log.contains("drive", " retries=1 conn=upload"));
}

TEST_F(DriveUploadTest, AGivenUpBatchWithdrawsTheDocument) {
    backend.batchFailures[1] = {CallFailureDetail(CallFailure::rejected(400), 400)};
    const Json result = upload(Json::array({file("a.pdf", textPages(3))}));
    EXPECT_EQ(result["results"][0]["error"], "server_error");
    const auto withdrawals = rig.calls(*rig.uploadServer, "PATCH", kDocuments);
    ASSERT_EQ(withdrawals.size(), 1u);
    EXPECT_EQ(withdrawals[0].path,
              "/rest/v1/drive_documents?id=eq.doc-1&status=eq.uploading&deleted_at=is.null");
    EXPECT_EQ(withdrawals[0].json->at("deleted_at"), "2026-05-28T20:26:40.000Z");
    EXPECT_EQ(rig.changes, 1);
    EXPECT_TRUE(rig.log.contains("drive", " why=server"));
    EXPECT_TRUE(rig.log.contains("drive", "올리기 실패 reason=server_error step=pages retries=0"));
    EXPECT_FALSE(rig.local->source("doc-1", "user-1"));
}

TEST_F(DriveUploadTest, ANetworkFailureEndsTheUploadAfterTheWithdrawalReachedTheServer) {
    for (int i = 0; i < 4; ++i) {
        backend.batchFailures[1].push_back(timedOut());
    }
    const std::string first = file("1.pdf", textPages(2));
    const std::string second = file("2.pdf", textPages(2));
    const std::string third = file("3.pdf", textPages(2));
    // The first withdrawal gets no answer, the second one does.
    backend.withdrawals = {fail(timedOut()), std::string("[]")};
    const Json result = upload(Json::array({first, second, third}));
    ASSERT_EQ(result["results"].size(), 1u);
    EXPECT_EQ(result["results"][0]["error"], "upload_interrupted");
    EXPECT_EQ(rig.calls(*rig.uploadServer, "PATCH", kDocuments).size(), 2u);
    EXPECT_EQ(batchSizes(), (std::vector<size_t>{2, 2, 2, 2}));
    EXPECT_TRUE(rig.log.contains("drive", "attempt=4 streak=4 kind=timeout wait_ms=0"));
}

TEST_F(DriveUploadTest, AWithdrawalThatNeverReachedTheServerKeepsTheNetworkFailure) {
    for (int i = 0; i < 4; ++i) {
        backend.batchFailures[1].push_back(timedOut());
    }
    backend.withdrawals = {fail(timedOut()), fail(CallFailureDetail(CallFailure::unavailable()))};
    const Json result =
        upload(Json::array({file("1.pdf", textPages(2)), file("2.pdf", textPages(2))}));
    ASSERT_EQ(result["results"].size(), 1u);
    EXPECT_EQ(result["results"][0]["error"], "network_unavailable");
    EXPECT_TRUE(rig.log.has("drive", "올리기 뒷정리 실패 kind=unreachable reached=false"));
}

TEST_F(DriveUploadTest, SigningOutDuringTheBatchesStopsBeforeTheNextOne) {
    backend.onCall = [&](const auto& call) {
        if (call.path == kPages && call.json->at("p_first_page") == 1) {
            rig.session->setUser(std::nullopt);
        }
    };
    const Json result = upload(Json::array({file("a.pdf", textPages(450)), file("b.pdf", {"x"})}));
    EXPECT_EQ(result["results"],
              Json::array({Json{{"error", "auth_required"}, {"file_name", "a.pdf"}}}));
    EXPECT_TRUE(rig.log.has("drive", "올리기 그만둠 — 계정이 바뀜 step=pages first=201"));
    EXPECT_TRUE(rig.calls(*rig.uploadServer, "PATCH", kDocuments).empty());
    EXPECT_FALSE(rig.log.contains("drive", "올리기 실패"));
    EXPECT_EQ(backend.begun, 1);
}

TEST_F(DriveUploadTest, AnAccountSwitchAfterTheFinishIsNotReportedAsSuccess) {
    backend.onCall = [&](const auto& call) {
        if (call.path == kFinish) {
            rig.session->setUser("user-2");
        }
    };
    const Json result = upload(Json::array({file("a.pdf", textPages(2))}));
    EXPECT_EQ(result["results"][0]["error"], "auth_required");
    EXPECT_TRUE(
        rig.log.has("drive", "올리기 끝 — 계정이 바뀌어 성공으로 돌려주지 않음 step=finish"));
    EXPECT_TRUE(rig.calls(*rig.uploadServer, "PATCH", kDocuments).empty());
    EXPECT_FALSE(rig.local->source("doc-1", "user-1"));
}

TEST_F(DriveUploadTest, BadFilesGetTheirOwnCodeAndTheOthersGoOn) {
    const std::string strange = rig.dir.write(std::string("na\xefme.pdf"), "%PDF").string();
    const std::string empty = file("empty.pdf", {});
    std::vector<std::string> tooLong{std::string(20001, 'x')};
    const std::string heavy = file("heavy.pdf", tooLong);
    const std::string unreadable = rig.dir.write("broken.pdf", "garbage").string();
    rig.extractor->set(unreadable, fail(DriveFailure("pdf_unreadable")));
    const std::string fine = file("fine.pdf", textPages(1));
    const Json result = upload(Json::array({strange, empty, heavy, unreadable, fine}));
    const Json& r = result["results"];
    ASSERT_EQ(r.size(), 5u);
    EXPECT_EQ(r[0]["error"], "file_name_invalid");
    EXPECT_EQ(r[0]["file_name"], "na\xef\xbf\xbdme.pdf");  // shown with a replacement character
    EXPECT_EQ(r[1]["error"], "page_count_out_of_range");
    EXPECT_EQ(r[2]["error"], "page_text_too_long");
    EXPECT_EQ(r[3]["error"], "pdf_unreadable");
    EXPECT_EQ(r[4]["status"], "ready");
    EXPECT_EQ(backend.begun, 1);
    EXPECT_TRUE(rig.log.contains("drive", "올리기 실패 reason=pdf_unreadable step=extract"));
}

TEST_F(DriveUploadTest, AFileDeletedAfterItWasReadIsUploadedWithoutALink) {
    const std::string path = file("gone.pdf", textPages(2));
    rig.extractor->onExtract([&](const std::string& read) {
        if (read == path) {
            std::filesystem::remove(read);
        }
    });
    const Json result = upload(Json::array({path, file("kept.pdf", textPages(1))}));
    EXPECT_EQ(result["results"][0]["status"], "ready");
    EXPECT_EQ(result["results"][1]["status"], "ready");
    EXPECT_FALSE(rig.local->source("doc-1", "user-1"));
    EXPECT_TRUE(rig.local->source("doc-2", "user-1"));
}

// The clients answer on the main executor: it must only hand the answers on, while every request
// (with its serialised batch), every local write, log line and progress report of the upload is
// made on the work executor, also after a retry wait and for a withdrawn document.
TEST_F(DriveUploadTest, TheMainExecutorOnlyHandsTheServersAnswersOn) {
    rig.deliverOnMain();
    std::vector<std::string> onMain;
    auto note = [&](const std::string& what) {
        if (rig.main->runningTask()) {
            onMain.push_back(what);
        }
    };
    backend.onCall = [&](const auto& call) {
        note("request " + call.path);
    };
    rig.server->respondWith([&](const auto& call) -> DetailedCallResult {
        note("request " + call.path);
        return std::string(R"([{"id":"s1","kind":"study","name":"a"}])");
    });
    rig.extractor->onExtract([&](const std::string& path) { note("extract " + path); });
    rig.log.watch([&](const std::string& tag, const std::string& line) { note(tag + " " + line); });
    // The first file's only batch is refused, the second file's second batch times out once.
    backend.batchFailures[1].push_back(CallFailureDetail(CallFailure::rejected(400), 400));
    backend.batchFailures[201].push_back(timedOut());

    const std::string bad = file("bad.pdf", textPages(3));
    const std::string book = file("book.pdf", textPages(450, 200), {{"Intro", 1, 1}});
    const Json result = rig.value([&](auto done) {
        rig.service->upload(
            "s1", Json::array({bad, book}),
            [&](int d, int t, int i, int n) {
                note("progress");
                progress.push_back({d, t, i, n});
            },
            std::move(done));
    });
    EXPECT_EQ(result["results"][0]["error"], "server_error") << result.dump();
    EXPECT_EQ(result["results"][1]["status"], "ready") << result.dump();
    EXPECT_EQ(batchSizes(), (std::vector<size_t>{3, 200, 200, 50, 50, 50, 50, 50}));
    EXPECT_EQ(rig.calls(*rig.uploadServer, "PATCH", kDocuments).size(), 1u);
    EXPECT_TRUE(rig.log.contains("drive", "사본 ok where=upload pages=450"));
    EXPECT_TRUE(rig.local->source("doc-2", "user-1"));
    EXPECT_EQ(progress.back(), (std::array<int, 4>{450, 450, 2, 2}));
    EXPECT_EQ(onMain, std::vector<std::string>{});
    rig.log.watch(nullptr);
}

TEST_F(DriveUploadTest, AMissingProjectStopsTheUpload) {
    rig.server->respondWith([](const auto&) { return DetailedCallResult(std::string("[]")); });
    const Json result =
        upload(Json::array({file("a.pdf", textPages(1)), file("b.pdf", textPages(1))}));
    EXPECT_EQ(result["results"],
              Json::array({Json{{"error", "drive_not_found"}, {"file_name", "a.pdf"}}}));
    EXPECT_EQ(backend.begun, 0);
}

TEST_F(DriveUploadTest, WithoutAnUploadRouteTheMainClientCarriesTheUpload) {
    DriveRig plain;
    plain.server->respondWith([&](const auto& call) -> DetailedCallResult {
        if (call.path.starts_with("/rest/v1/drive_drives")) {
            return std::string(R"([{"id":"s1","kind":"study"}])");
        }
        return backend.answer(call);
    });
    const std::string path = plain.dir.write("a.pdf", "%PDF").string();
    plain.extractor->document(path, textPages(1));
    const Json result = plain.value([&](auto done) {
        plain.service->upload("s1", Json::array({path}), nullptr, std::move(done));
    });
    EXPECT_EQ(result["results"][0]["status"], "ready");
    EXPECT_TRUE(plain.log.contains("drive", " conn=main"));
}

}  // namespace
}  // namespace parlendo
