#include <gtest/gtest.h>

#include "FakeServerCalling.h"
#include "FakeSession.h"
#include "LogCapture.h"
#include "ManualExecutor.h"
#include "popups/ActivePopupSettings.h"

namespace parlendo {
namespace {

using testing::FakeServerCalling;
using testing::FakeSession;

const std::string assistants = "/rest/v1/assistants";

Json row(const std::string& id, const std::string& content, std::optional<bool> enabled,
         bool save = true) {
    Json out = {{"id", id}, {"name", id}, {"save", save}, {"spec", {{"contents", {content}}}}};
    if (enabled) {
        out["enabled"] = *enabled;
    }
    return out;
}

class ActivePopupSettingsTest : public ::testing::Test {
  protected:
    ActivePopupSettingsTest()
        : server_(std::make_shared<FakeServerCalling>()),
          session_(std::make_shared<FakeSession>("u")),
          background_(std::make_shared<testing::ManualExecutor>()),
          settings_(ActivePopupSettings::make(
              server_, session_, DefaultPopupSeeder::make(server_, session_, nullptr),
              [this] { return uptime_; }, background_)) {
        server_->setFallback(std::string("[]"));
    }

    std::optional<bool> reload(const std::string& reason = "login") {
        std::optional<bool> out;
        settings_->reload(reason, [&](bool ok) { out = ok; });
        return out;
    }

    testing::LogCapture log_;
    double uptime_ = 500;
    std::shared_ptr<FakeServerCalling> server_;
    std::shared_ptr<FakeSession> session_;
    std::shared_ptr<testing::ManualExecutor> background_;
    std::shared_ptr<ActivePopupSettings> settings_;
};

TEST_F(ActivePopupSettingsTest, LoadsEnabledRowsInOrder) {
    EXPECT_EQ(settings_->current(), PopupSetting::fallback());
    EXPECT_FALSE(settings_->isLoaded());

    server_->ok(
        "GET", assistants,
        Json::array({row("1", "korean", std::nullopt), row("2", "translation", false),
                     row("3", "translation", true, false), row("4", "definition", std::nullopt)})
            .dump());
    EXPECT_EQ(reload(), true);
    auto current = settings_->current();
    ASSERT_EQ(current.size(), 3u);
    EXPECT_EQ(current[0].id(), "1");
    EXPECT_EQ(current[1].id(), "3");
    EXPECT_EQ(current[2].id(), "4");
    EXPECT_TRUE(settings_->isLoaded());
    EXPECT_EQ(server_->calls().at(0).path,
              "/rest/v1/assistants?select=*&user_id=eq.u&order=position.asc");
    EXPECT_EQ(server_->calls().at(0).timeout, 10);
    EXPECT_EQ(log_.messages("popup_settings"),
              std::vector<std::string>{
                  "읽음 reason=login rows=4 enabled=3 word=2 sentence=1 save=2 seeded=false ms=0"});
}

TEST_F(ActivePopupSettingsTest, FailedLoadKeepsTheListAndLogs) {
    server_->ok("GET", assistants, Json::array({row("1", "korean", true)}).dump());
    ASSERT_EQ(reload(), true);
    server_->failure("GET", assistants, CallFailure::rejectedDetail({500, "XX000", "boom"}));
    EXPECT_EQ(reload("manage_changed"), false);
    EXPECT_EQ(settings_->current().size(), 1u);
    EXPECT_EQ(log_.messages("popup_settings").back(),
              "읽기 실패 reason=manage_changed why=rejected_500_XX000 — 가지고 있던 목록을 그대로 "
              "쓴다");

    // An empty answer still counts: the user sees no popups.
    server_->ok("GET", assistants, Json::array().dump());
    EXPECT_EQ(reload(), true);
    EXPECT_TRUE(settings_->current().empty());
}

TEST_F(ActivePopupSettingsTest, NoUserChangesNothing) {
    session_->setUser(std::nullopt);
    EXPECT_EQ(reload(), false);
    EXPECT_TRUE(server_->calls().empty());
    EXPECT_TRUE(log_.messages("popup_settings").empty());
}

TEST_F(ActivePopupSettingsTest, ReloadsDuringALoadFoldIntoOneFollowUp) {
    server_->hold(true);
    std::optional<bool> first;
    settings_->reload("login", [&](bool ok) { first = ok; });
    EXPECT_EQ(reload("a"), false);
    EXPECT_EQ(reload("b"), false);
    ASSERT_EQ(server_->heldCount(), 1u);

    server_->releaseNext(Json::array({row("1", "korean", true)}).dump());
    EXPECT_FALSE(first);  // the follow-up load is running
    ASSERT_EQ(server_->heldCount(), 1u);
    server_->releaseNext(Json::array({row("1", "korean", true), row("2", "korean", true)}).dump());
    EXPECT_EQ(first, true);
    EXPECT_EQ(server_->calls().size(), 2u);
    EXPECT_EQ(settings_->current().size(), 2u);
}

TEST_F(ActivePopupSettingsTest, AccountChangeDuringALoadDropsTheResult) {
    server_->hold(true);
    std::optional<bool> result;
    settings_->reload("login", [&](bool ok) { result = ok; });
    session_->setUser("other");
    server_->releaseNext(Json::array({row("1", "korean", true)}).dump());
    EXPECT_EQ(result, false);
    EXPECT_EQ(settings_->current(), PopupSetting::fallback());
    EXPECT_FALSE(settings_->isLoaded());
}

TEST_F(ActivePopupSettingsTest, SignOutJustBeforeStoringDropsTheResult) {
    // Reads of the user id during one load: the load's start, the seeder's two checks, the load's
    // own re-check after the answer, and the check when the list is stored. The user signs out
    // right after the load's re-check has passed.
    session_->setOnRead([](int read, std::optional<std::string>& user) {
        if (read == 5) {
            user.reset();
        }
    });
    server_->ok("GET", assistants, Json::array({row("1", "korean", true)}).dump());
    EXPECT_EQ(reload(), false);
    EXPECT_EQ(settings_->current(), PopupSetting::fallback());
    EXPECT_FALSE(settings_->isLoaded());
}

TEST_F(ActivePopupSettingsTest, ResetDuringALoadDropsTheResult) {
    server_->hold(true);
    std::optional<bool> result;
    settings_->reload("login", [&](bool ok) { result = ok; });
    settings_->reset();  // an account change that ends on the same user id
    server_->releaseNext(Json::array({row("9", "korean", true)}).dump());
    EXPECT_EQ(result, false);
    EXPECT_EQ(settings_->current(), PopupSetting::fallback());
}

TEST_F(ActivePopupSettingsTest, StalenessStartsBackgroundLoads) {
    server_->respondWith([](const FakeServerCalling::Call&) -> CallResult {
        return Json::array({row("1", "korean", true)}).dump();
    });
    settings_->refreshIfStale();  // never loaded
    EXPECT_EQ(background_->runAll(), 1u);
    EXPECT_TRUE(settings_->isLoaded());
    EXPECT_NE(log_.messages("popup_settings").back().find("reason=stale"), std::string::npos);

    uptime_ += 59;
    settings_->refreshIfStale();
    uptime_ += 1;  // exactly 60 seconds: still fresh
    settings_->refreshIfStale();
    EXPECT_EQ(background_->runAll(), 0u);
    uptime_ += 1;
    settings_->refreshIfStale();
    EXPECT_EQ(background_->runAll(), 1u);
    EXPECT_EQ(server_->calls().size(), 2u);

    settings_->reset();
    EXPECT_FALSE(settings_->isLoaded());
    EXPECT_EQ(settings_->current(), PopupSetting::fallback());
}

}  // namespace
}  // namespace parlendo
