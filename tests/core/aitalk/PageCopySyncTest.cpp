#include "AITalkRig.h"
#include "aitalk/PageCopySync.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>

namespace parlendo {
namespace {

using testing::AITalkRig;
using testing::documentRow;
using testing::FakeServerCalling;
using testing::pageRows;
using testing::readyDocument;

std::vector<std::string> pagesOf(const std::string& id, int count) {
    std::vector<std::string> pages;
    for (int p = 1; p <= count; ++p) {
        pages.push_back(id + " page " + std::to_string(p) + " text");
    }
    return pages;
}

struct SyncRig : AITalkRig {
    std::shared_ptr<PageCopySync> sync = std::make_shared<PageCopySync>(drive, work);
    // The server's page texts per document.
    std::map<std::string, std::vector<std::string>> texts;
    std::vector<Json> live;
    std::vector<Json> trash;
    std::function<std::string(const std::string& doc, size_t first, size_t last)> pageAnswer;
    std::function<void(const FakeServerCalling::Call&)> onCall;

    SyncRig() {
        server->respondWith([this](const FakeServerCalling::Call& call) -> DetailedCallResult {
            if (onCall) {
                onCall(call);
            }
            std::smatch m;
            static const std::regex range(
                R"(drive_pages\?select=page_no,text&document_id=eq\.([^&]+)&page_no=gte\.(\d+)&page_no=lte\.(\d+))");
            if (std::regex_search(call.path, m, range)) {
                const size_t first = std::stoul(m[2]);
                const size_t last = std::stoul(m[3]);
                if (pageAnswer) {
                    return pageAnswer(m[1], first, last);
                }
                return pageRows(texts[m[1]], first, last);
            }
            static const std::regex offset(R"(&offset=(\d+))");
            if (std::regex_search(call.path, m, offset)) {
                const size_t from = std::stoul(m[1]);
                const auto& rows =
                    call.path.find("not.is.null") != std::string::npos ? trash : live;
                Json page = Json::array();
                for (size_t i = from; i < rows.size() && i < from + 1000; ++i) {
                    page.push_back(rows[i]);
                }
                return page.dump();
            }
            return fail(CallFailureDetail(CallFailure::badShape()));
        });
    }
    ReadyDocument document(const std::string& id, int pages) {
        texts[id] = pagesOf(id, pages);
        return readyDocument(id, texts[id]);
    }
    std::vector<std::string> ranges() const {
        std::vector<std::string> out;
        for (const auto& call : calls("/rest/v1/drive_pages")) {
            const auto at = call.path.find("page_no=gte.");
            out.push_back(call.path.substr(at, call.path.find("&order") - at));
        }
        return out;
    }
    int prefetch(std::optional<std::string> first = std::nullopt) {
        std::optional<int> out;
        sync->prefetch(std::move(first), [&](int n) { out = n; });
        settle();
        EXPECT_TRUE(out.has_value());
        return out.value_or(-1);
    }
};

TEST(PageCopySync, ADocumentIsReadInRangesOfAHundredAndKeptWhenItsHashMatches) {
    SyncRig rig;
    auto doc = rig.document("doc-1", 250);
    rig.sync->fetch("user-1", {doc});
    rig.settle();
    EXPECT_EQ(rig.ranges(), (std::vector<std::string>{"page_no=gte.1&page_no=lte.100",
                                                      "page_no=gte.101&page_no=lte.200",
                                                      "page_no=gte.201&page_no=lte.250"}));
    auto pages = rig.copies->pages("user-1", "doc-1", doc.sha);
    ASSERT_TRUE(pages);
    EXPECT_EQ(*pages, rig.texts["doc-1"]);
    EXPECT_TRUE(rig.log.contains("drive", "사본 ok where=backfill pages=250"));
    EXPECT_EQ(rig.sync->running(), 0u);
    EXPECT_EQ(rig.sync->activeWorkers(), 0);
}

TEST(PageCopySync, IncompletePagesAndAWrongHashAreRememberedForADay) {
    SyncRig rig;
    auto doc = rig.document("doc-1", 120);
    rig.pageAnswer = [&](const std::string& id, size_t first, size_t last) {
        auto pages = rig.texts[id];
        pages[56] = "";  // the row of page 57 goes missing below
        Json rows = Json::array();
        for (size_t p = first; p <= last; ++p) {
            if (p != 57) {
                rows.push_back(Json{{"page_no", p}, {"text", pages[p - 1]}});
            }
        }
        return rows.dump();
    };
    rig.sync->fetch("user-1", {doc});
    rig.settle();
    EXPECT_TRUE(
        rig.log.contains("drive", "사본 실패 where=backfill reason=pages_incomplete pages=0"));
    EXPECT_TRUE(rig.copies->fetchSkipped("user-1", "doc-1", doc.sha));
    rig.sync->fetch("user-1", {doc});
    rig.settle();
    EXPECT_TRUE(rig.log.has("drive", "사본 받기 건너뜀 reason=failed_recently documents=1"));
    EXPECT_EQ(rig.ranges().size(), 1u);

    rig.pageAnswer = nullptr;
    auto tampered = rig.document("doc-2", 3);
    rig.texts["doc-2"][1] = "changed on the way";
    rig.sync->fetch("user-1", {tampered});
    rig.settle();
    EXPECT_TRUE(rig.log.contains("drive", "reason=sha_mismatch pages=3"));
    EXPECT_FALSE(rig.copies->pages("user-1", "doc-2", tampered.sha));
    EXPECT_TRUE(rig.copies->fetchSkipped("user-1", "doc-2", tampered.sha));
    // A re-uploaded document (another text) is fetched at once.
    auto again = rig.document("doc-2", 4);
    rig.sync->fetch("user-1", {again});
    rig.settle();
    EXPECT_TRUE(rig.copies->pages("user-1", "doc-2", again.sha));
}

// The server answers on the main executor, as the program's client does: the listing, every range
// (its parsing and checks), the hash, the copy and the failure memory are all handled on the work
// executor, and so is every request and log line.
TEST(PageCopySync, TheMainExecutorOnlyHandsTheServersAnswersOn) {
    SyncRig rig;
    rig.server->deliverOn(rig.main);
    std::vector<std::string> onMain;
    auto note = [&](const std::string& what) {
        if (rig.main->runningTask()) {
            onMain.push_back(what);
        }
    };
    rig.onCall = [&](const FakeServerCalling::Call& call) {
        note("request " + call.path);
    };
    rig.log.watch([&](const std::string& tag, const std::string& line) { note(tag + " " + line); });
    rig.document("good", 250);
    rig.document("broken", 120);
    rig.pageAnswer = [&](const std::string& id, size_t first, size_t last) {
        auto rows = Json::parse(pageRows(rig.texts[id], first, last));
        if (id == "broken") {
            rows.erase(rows.begin() + 3);
        }
        return rows.dump();
    };
    rig.live = {documentRow("good", rig.texts["good"]), documentRow("broken", rig.texts["broken"])};
    rig.copies->write("user-1", "purged", {"gone"}, "sha");

    EXPECT_EQ(rig.prefetch(), 2);
    EXPECT_EQ(*rig.copies->pages("user-1", "good", readyDocument("good", rig.texts["good"]).sha),
              rig.texts["good"]);
    EXPECT_TRUE(rig.copies->fetchSkipped("user-1", "broken",
                                         readyDocument("broken", rig.texts["broken"]).sha));
    EXPECT_TRUE(rig.log.contains("drive", "사본 미리 받기 documents=2 missing=2 removed=1"));
    EXPECT_EQ(onMain, std::vector<std::string>{});
    rig.log.watch(nullptr);
}

TEST(PageCopySync, ARangeThatFailsIsTriedAgainLater) {
    SyncRig rig;
    auto doc = rig.document("doc-1", 5);
    rig.pageAnswer = [](const std::string&, size_t, size_t) -> std::string {
        return "{}";
    };
    rig.sync->fetch("user-1", {doc});
    rig.settle();
    EXPECT_TRUE(rig.log.contains("drive", "사본 실패 where=backfill reason=server_error ms="));
    EXPECT_FALSE(rig.copies->fetchSkipped("user-1", "doc-1", doc.sha));
}

TEST(PageCopySync, TwoWorkersShareTheQueueAndADocumentIsQueuedOnce) {
    SyncRig rig;
    std::vector<ReadyDocument> docs{rig.document("a", 1), rig.document("b", 1),
                                    rig.document("c", 1)};
    rig.server->hold(true);
    rig.sync->fetch("user-1", docs);
    rig.sync->fetch("user-1", {docs[0]});
    EXPECT_EQ(rig.sync->running(), 3u);
    EXPECT_EQ(rig.sync->activeWorkers(), 2);
    rig.settle();
    EXPECT_EQ(rig.server->heldCount(), 2u) << "two downloads at a time";
    rig.server->releaseNext();
    rig.settle();
    EXPECT_EQ(rig.server->heldCount(), 2u) << "the first to finish takes the third";
    rig.server->releaseNext();
    rig.server->releaseNext();
    rig.settle();
    EXPECT_EQ(rig.server->count(), 3u);
    EXPECT_EQ(rig.sync->running(), 0u);
    EXPECT_EQ(rig.sync->activeWorkers(), 0);
}

TEST(PageCopySync, ADownloadOfAUserWhoLeftStoresNothing) {
    SyncRig rig;
    auto doc = rig.document("doc-1", 2);
    rig.pageAnswer = [&](const std::string& id, size_t first, size_t last) {
        rig.session->setUser(std::nullopt);
        return pageRows(rig.texts[id], first, last);
    };
    rig.sync->fetch("user-1", {doc});
    rig.settle();
    EXPECT_FALSE(rig.copies->pages("user-1", "doc-1", doc.sha));
    EXPECT_FALSE(rig.copies->fetchSkipped("user-1", "doc-1", doc.sha));
    EXPECT_EQ(rig.log.count("drive", "사본"), 0u);
}

TEST(PageCopySync, PrefetchListsEveryPageOfDocumentsAndPrunesTheRest) {
    SyncRig rig;
    for (int i = 0; i < 1000; ++i) {
        Json row = documentRow("old-" + std::to_string(i), {"x"});
        row["status"] = "processing";
        rig.live.push_back(row);
    }
    rig.copies->write("user-1", "purged", {"gone"}, "sha");
    rig.copies->write("user-1", "in-trash", {"kept"}, "sha");
    rig.trash.push_back(Json{{"id", "in-trash"}});
    EXPECT_EQ(rig.prefetch(), 0);
    size_t liveReads = 0;
    for (const auto& call : rig.calls("/rest/v1/drive_documents")) {
        liveReads += call.path.find("not.is.null") == std::string::npos;
    }
    EXPECT_EQ(liveReads, 2u) << "1000 rows, then an empty page";
    EXPECT_TRUE(rig.log.contains("drive", "사본 미리 받기 documents=1000 missing=0 removed=1"));
    EXPECT_FALSE(rig.copies->pages("user-1", "purged", "sha"));
    EXPECT_TRUE(rig.copies->pages("user-1", "in-trash", "sha"));
}

TEST(PageCopySync, PrefetchFetchesTheFirstProjectFirst) {
    SyncRig rig;
    rig.texts["n1"] = {"new one"};
    rig.texts["n2"] = {"new two"};
    rig.texts["o1"] = {"other"};
    rig.texts["n3"] = {"third"};
    rig.live = {documentRow("n1", rig.texts["n1"], "d1"), documentRow("o1", rig.texts["o1"], "d2"),
                documentRow("n2", rig.texts["n2"], "d1"), documentRow("n3", rig.texts["n3"], "d2")};
    rig.copies->write("user-1", "n2", rig.texts["n2"], rig.live[2]["text_sha256"]);
    EXPECT_EQ(rig.prefetch("d2"), 3);
    std::vector<std::string> order;
    for (const auto& call : rig.calls("/rest/v1/drive_pages")) {
        const auto at = call.path.find("eq.") + 3;
        order.push_back(call.path.substr(at, call.path.find('&', at) - at));
    }
    EXPECT_EQ(order, (std::vector<std::string>{"o1", "n3", "n1"}));
}

TEST(PageCopySync, PrefetchStopsAtTheGateAndWithoutAUser) {
    SyncRig rig;
    rig.sync->setBackgroundAllowed([] { return false; });
    EXPECT_EQ(rig.prefetch(), 0);
    EXPECT_TRUE(rig.log.has("drive", "사본 미리 받기 건너뜀 reason=server_gate"));
    rig.session->setUser(std::nullopt);
    EXPECT_EQ(rig.prefetch(), 0);
    EXPECT_EQ(rig.server->count(), 0u);
}

}  // namespace
}  // namespace parlendo
