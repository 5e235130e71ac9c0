#include <gtest/gtest.h>

#include "FakeServerCalling.h"
#include "FakeSession.h"
#include "LogCapture.h"
#include "ManualExecutor.h"
#include "popups/ActivePopupSettings.h"
#include "popups/PopupSettingsStore.h"

#include <limits>

namespace parlendo {
namespace {

using testing::FakeServerCalling;
using testing::FakeSession;

const std::string assistants = "/rest/v1/assistants";
// A user id that would add a condition of its own if it reached a filter unescaped.
const std::string hostileUser = "u&or=(user_id.neq.u)";
const std::string escapedUser = "u%26or%3D%28user_id%2Eneq%2Eu%29";

// The user id in every popup-settings filter is escaped like any other value, and the next
// position never wraps past the largest the server can hold.
class PopupUserFilterTest : public ::testing::Test {
  protected:
    PopupUserFilterTest()
        : server_(std::make_shared<FakeServerCalling>()),
          session_(std::make_shared<FakeSession>(hostileUser)),
          store_(server_, session_, [](const std::string&) {}) {
        server_->setFallback(std::string("[]"));
    }

    template <class Call>
    void run(Call call) {
        bool done = false;
        call([&](PopupStoreResult) { done = true; });
        EXPECT_TRUE(done);
    }

    testing::LogCapture log_;
    std::shared_ptr<FakeServerCalling> server_;
    std::shared_ptr<FakeSession> session_;
    ServerPopupSettingsStore store_;
};

TEST_F(PopupUserFilterTest, EveryFilterEscapesTheUserID) {
    run([&](auto done) { store_.toggle("r1", false, std::move(done)); });
    run([&](auto done) { store_.remove("r1", std::move(done)); });
    run([&](auto done) { store_.create("뜻", {"korean"}, std::nullopt, true, std::move(done)); });

    auto background = std::make_shared<testing::ManualExecutor>();
    auto settings = ActivePopupSettings::make(
        server_, session_, DefaultPopupSeeder::make(server_, session_, nullptr), [] { return 0.0; },
        background);
    settings->reload("login", [](bool) {});

    auto calls = server_->calls();
    ASSERT_GE(calls.size(), 4u);
    EXPECT_EQ(calls[0].path, assistants + "?user_id=eq." + escapedUser + "&id=eq.r1");
    EXPECT_EQ(calls[1].path, assistants + "?user_id=eq." + escapedUser + "&id=eq.r1");
    EXPECT_EQ(calls[2].path, assistants + "?select=position&user_id=eq." + escapedUser +
                                 "&order=position.desc&limit=1");
    bool listed = false;
    for (const auto& call : calls) {
        if (call.method == "GET" && call.path.find("select=*") != std::string::npos) {
            EXPECT_EQ(call.path,
                      assistants + "?select=*&user_id=eq." + escapedUser + "&order=position.asc");
            listed = true;
        }
        EXPECT_EQ(call.path.find(hostileUser), std::string::npos) << call.path;
    }
    EXPECT_TRUE(listed);
}

TEST_F(PopupUserFilterTest, NextPositionDoesNotWrapAtTheTop) {
    constexpr auto top = std::numeric_limits<std::int64_t>::max();
    server_->ok("GET", assistants, Json::array({{{"position", top}}}).dump());
    run([&](auto done) { store_.create("뜻", {"korean"}, std::nullopt, true, std::move(done)); });
    auto calls = server_->calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ((*calls[1].json)["position"], top);

    server_->ok("GET", assistants, Json::array({{{"position", 7}}}).dump());
    run([&](auto done) { store_.create("뜻2", {"korean"}, std::nullopt, true, std::move(done)); });
    EXPECT_EQ((*server_->calls().at(3).json)["position"], 8);
}

}  // namespace
}  // namespace parlendo
