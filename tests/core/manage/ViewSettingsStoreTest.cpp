#include <gtest/gtest.h>

#include "FakeServerCalling.h"
#include "FakeSession.h"
#include "manage/ViewSettingsStore.h"

#include <optional>

namespace parlendo {
namespace {

using testing::FakeServerCalling;

struct StoreRig {
    std::shared_ptr<FakeServerCalling> server = std::make_shared<FakeServerCalling>();
    std::shared_ptr<testing::FakeSession> session =
        std::make_shared<testing::FakeSession>("user-1");
    ServerViewSettingsStore store{server, session};

    ViewSettingsResult get() {
        std::optional<ViewSettingsResult> result;
        store.get([&](ViewSettingsResult r) { result = std::move(r); });
        return *result;
    }
    ViewSettingsResult set(Json value) {
        std::optional<ViewSettingsResult> result;
        store.set(std::move(value), [&](ViewSettingsResult r) { result = std::move(r); });
        return *result;
    }
};

TEST(ViewSettingsStore, SignedOutFailsWithoutARequest) {
    StoreRig rig;
    rig.session->setUser(std::nullopt);
    EXPECT_EQ(rig.get(), fail(CallFailure::authRequired()));
    EXPECT_EQ(rig.set(Json::object()), fail(CallFailure::authRequired()));
    EXPECT_EQ(rig.server->count(), 0u);
}

TEST(ViewSettingsStore, ReadsTheStoredValueOrNull) {
    StoreRig rig;
    rig.server->ok("GET", "/rest/v1/profiles", R"([{"view_settings": {"sort": "az"}}])");
    EXPECT_EQ(rig.get(), ViewSettingsResult(Json{{"sort", "az"}}));
    const auto call = rig.server->calls().back();
    EXPECT_EQ(call.path, "/rest/v1/profiles?select=view_settings&id=eq.user-1&limit=1");
    EXPECT_EQ(call.timeout, 8.0);

    rig.server->ok("GET", "/rest/v1/profiles", R"([{"view_settings": null}])");
    EXPECT_EQ(rig.get(), ViewSettingsResult(Json(nullptr)));
    rig.server->ok("GET", "/rest/v1/profiles", "[]");
    EXPECT_EQ(rig.get(), ViewSettingsResult(Json(nullptr)));
    rig.server->ok("GET", "/rest/v1/profiles", R"({"view_settings": 1})");
    EXPECT_EQ(rig.get(), fail(CallFailure::badShape()));
}

TEST(ViewSettingsStore, WritesAndReturnsWhatTheServerHolds) {
    StoreRig rig;
    rig.server->ok("PATCH", "/rest/v1/profiles", R"([{"id": "user-1", "view_settings": [1]}])");
    EXPECT_EQ(rig.set(Json{{"sort", "az"}}), ViewSettingsResult(Json::array({1})));
    const auto call = rig.server->calls().back();
    EXPECT_EQ(call.path, "/rest/v1/profiles?id=eq.user-1");
    EXPECT_EQ(call.method, "PATCH");
    EXPECT_EQ(call.json, (Json{{"view_settings", {{"sort", "az"}}}}));
    EXPECT_EQ(call.headers, (HttpHeaders{{"Prefer", "return=representation"}}));

    rig.server->ok("PATCH", "/rest/v1/profiles", "[]");
    EXPECT_EQ(rig.set(1), fail(CallFailure::badShape()));
    rig.server->failure("PATCH", "/rest/v1/profiles", CallFailureDetail(CallFailure::timeout()));
    EXPECT_EQ(rig.set(1), fail(CallFailure::timeout()));
}

TEST(ViewSettingsStore, TheUserIdCannotAddAFilter) {
    StoreRig rig;
    rig.session->setUser("u&id=neq.x");
    rig.server->ok("GET", "/rest/v1/profiles", "[]");
    rig.get();
    EXPECT_EQ(rig.server->calls().back().path,
              "/rest/v1/profiles?select=view_settings&id=eq.u%26id%3Dneq%2Ex&limit=1");
}

}  // namespace
}  // namespace parlendo
