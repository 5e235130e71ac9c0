#include <gtest/gtest.h>

#include "FakeAuthAccess.h"
#include "FakeSession.h"
#include "LogCapture.h"
#include "StubBackend.h"
#include "StubLibrary.h"
#include "StubLibraryServing.h"
#include "foundation/WorkerQueue.h"
#include "server/CurlServerTransport.h"
#include "server/ServerClient.h"
#include "wordbook/LibraryReader.h"
#include "wordbook/LibraryWriter.h"

#include <chrono>
#include <future>

namespace parlendo {
namespace {

using testing::FakeAuthAccess;
using testing::FakeSession;
using testing::LogCapture;
using testing::StubBackend;
using testing::StubLibrary;

// The word book's reader and writer over libcurl against the loopback backend, which answers
// from an in-memory word book that applies the filters of each request as the server would.
class LibraryOverCurlTest : public ::testing::Test {
  protected:
    LibraryOverCurlTest()
        : main_(std::make_shared<SerialQueue>("test.main")),
          library_(std::make_shared<StubLibrary>("user-1")) {
        testing::serveLibrary(stub_, library_);
        auto curl = std::make_shared<CurlSession>(ServerSessions::data(), StubBackend::caFile());
        auto transport = std::make_shared<CurlServerTransport>(stub_.baseURL(), curl, std::nullopt,
                                                               "parlendo-mac/0.2.0");
        auto client =
            std::make_shared<ServerClient>(transport, std::make_shared<FakeAuthAccess>(),
                                           "anon-key", ServerClient::deliverOn(main_), true);
        auto session = std::make_shared<FakeSession>("user-1");
        reader_ = std::make_shared<ServerLibraryReader>(client, session);
        writer_ = std::make_shared<ServerLibraryWriter>(
            client, session, [this](const std::string& reason) { reasons_.push_back(reason); });
    }

    template <class T, class Start>
    T await(Start start) {
        std::promise<T> promise;
        auto future = promise.get_future();
        start([&promise](T result) { promise.set_value(std::move(result)); });
        EXPECT_EQ(future.wait_for(std::chrono::seconds(20)), std::future_status::ready);
        return future.get();
    }

    LibraryWriteResult<Json> write(std::function<void(LibraryWriteDone)> start) {
        return await<LibraryWriteResult<Json>>(
            [&](auto done) { start(LibraryWriteDone(std::move(done))); });
    }

    LibraryReadResult read(std::function<void(Completion<void(LibraryReadResult)>)> start) {
        return await<LibraryReadResult>(
            [&](auto done) { start(Completion<void(LibraryReadResult)>(std::move(done))); });
    }

    LogCapture log_;
    StubBackend stub_;
    std::shared_ptr<SerialQueue> main_;
    std::shared_ptr<StubLibrary> library_;
    std::shared_ptr<ServerLibraryReader> reader_;
    std::shared_ptr<ServerLibraryWriter> writer_;
    std::vector<std::string> reasons_;  // written on the main queue only
};

TEST_F(LibraryOverCurlTest, CreateMoveDeleteAndRestoreRoundTrip) {
    auto top = write(
        [&](auto done) { writer_->createFolder("여행 ✈️", std::nullopt, std::move(done)); });
    ASSERT_TRUE(top) << log_.all();
    const std::string topID = (*top)["folder_id"];
    auto child = write([&](auto done) { writer_->createFolder("부산 🌊", topID, std::move(done)); });
    ASSERT_TRUE(child);
    const std::string childID = (*child)["folder_id"];
    auto source = library_->addSource("Trip notes, (day 1) 100% \"fun\"", childID);
    library_->addWord("harbor", source, "항구");
    library_->addSentence("The harbor was busy.", source);

    auto renamed = write(
        [&](auto done) { writer_->renameSource(source, " 부산 여행기 🐟 ", std::move(done)); });
    ASSERT_TRUE(renamed);
    EXPECT_EQ((*renamed)["source"]["title"], "부산 여행기 🐟");

    // The child moves to the top level, then the top folder goes to the trash alone.
    auto moved =
        write([&](auto done) { writer_->moveFolder(childID, std::nullopt, std::move(done)); });
    ASSERT_TRUE(moved);
    auto deleted = write([&](auto done) { writer_->deleteFolder(topID, std::move(done)); });
    ASSERT_TRUE(deleted);
    EXPECT_EQ((*deleted)["folders"], 1);
    EXPECT_EQ((*deleted)["words"], 0);

    auto tree = read([&](auto done) { reader_->loadTree(std::move(done)); });
    ASSERT_TRUE(tree);
    ASSERT_EQ((*tree)["folders"].size(), 1u);
    EXPECT_EQ((*tree)["folders"][0]["name"], "부산 🌊");
    EXPECT_TRUE((*tree)["folders"][0]["parent_id"].is_null());
    EXPECT_EQ((*tree)["sources"][0]["title"], "부산 여행기 🐟");

    // Deleting the child takes its source, word and sentence with it; restoring brings them back.
    auto gone = write([&](auto done) { writer_->deleteFolder(childID, std::move(done)); });
    ASSERT_TRUE(gone);
    EXPECT_EQ((*gone)["words"], 1);
    EXPECT_EQ((*gone)["sentences"], 1);
    auto trash = read([&](auto done) { reader_->listTrash(std::move(done)); });
    ASSERT_TRUE(trash);
    EXPECT_EQ((*trash)["folders"].size(), 2u);
    EXPECT_TRUE((*trash)["sources"].empty());  // under a deleted folder
    EXPECT_TRUE((*trash)["words"].empty());

    auto restored = write([&](auto done) { writer_->restoreFolder(childID, std::move(done)); });
    ASSERT_TRUE(restored);
    EXPECT_EQ((*restored)["restored"],
              (Json{{"folders", 1}, {"sources", 1}, {"words", 1}, {"sentences", 1}}));
    auto words =
        read([&](auto done) { reader_->wordsUnderFolder(childID, 1000, std::move(done)); });
    ASSERT_TRUE(words);
    ASSERT_EQ((*words)["words"].size(), 1u);
    EXPECT_EQ((*words)["words"][0]["korean"], "항구");

    // Search text with filter syntax and Hangul travels intact and finds the word.
    auto found = read([&](auto done) { reader_->search("  항구,(*) ", std::move(done)); });
    ASSERT_TRUE(found);
    ASSERT_EQ((*found)["rows"].size(), 1u);
    EXPECT_EQ((*found)["rows"][0]["source_title"], "부산 여행기 🐟");

    // Every request left with its non-ASCII bytes percent-encoded.
    for (const auto& request : stub_.requests()) {
        for (unsigned char c : request.target) {
            EXPECT_LT(c, 0x80) << request.target;
        }
    }
    auto reasons = await<std::vector<std::string>>([&](auto done) {
        main_->post([this, done = std::move(done)]() mutable { done(reasons_); });
    });
    EXPECT_EQ(reasons, (std::vector<std::string>{"rename_source", "move_folder", "delete_folder",
                                                 "delete_folder", "restore_folder"}));
}

TEST_F(LibraryOverCurlTest, ConflictsAndRefusalsComeBackAsAnswersOrFailures) {
    auto first = library_->addSource("같은 제목", std::nullopt);
    auto second = library_->addSource("다른 제목", std::nullopt);
    auto taken =
        write([&](auto done) { writer_->renameSource(second, "같은 제목", std::move(done)); });
    EXPECT_EQ(taken,
              LibraryWriteResult<Json>(Json{{"status", "name_taken"}, {"title", "같은 제목"}}));

    auto folder = library_->addFolder("폴더", std::nullopt);
    auto under = library_->addFolder("하위", folder);
    auto cycle = write([&](auto done) { writer_->moveFolder(folder, under, std::move(done)); });
    ASSERT_FALSE(cycle);
    const auto* failure = std::get_if<CallFailure>(&cycle.error());
    ASSERT_TRUE(failure);
    EXPECT_TRUE(failure->is<CallFailure::RejectedDetail>());

    library_->markDeleted("sources", first);
    auto restored = write([&](auto done) { writer_->restoreSource(first, std::move(done)); });
    ASSERT_TRUE(restored);
    EXPECT_EQ((*restored)["moved_to_root"], false);
    EXPECT_EQ(write([&](auto done) { writer_->restoreSource(first, std::move(done)); }),
              LibraryWriteResult<Json>(fail(LibraryWriteFailure(CallFailure::rejectedDetail(
                  ServerRejection{400, "P0002", "source not in the trash"})))));
}

}  // namespace
}  // namespace parlendo
