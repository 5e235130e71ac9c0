#include <gtest/gtest.h>

#include "FakeSecretStore.h"
#include "FakeServerCalling.h"
#include "FakeSession.h"
#include "PageCalls.h"
#include "capture/DetectRoutes.h"
#include "capture/DetectStore.h"
#include "manage/BridgeRouter.h"
#include "manage/DiagnosticsRoutes.h"
#include "manage/FeedbackRoutes.h"
#include "manage/SourceOpener.h"
#include "popups/ConnectionRoutes.h"
#include "popups/PopupSettingsRoutes.h"
#include "saving/ServerStudyRecorder.h"
#include "saving/StudyRoutes.h"

#include <set>

namespace parlendo {
namespace {

using testing::pageCalls;

struct NamesOnly final : BridgeRoutes {
    std::vector<std::string> names;
    explicit NamesOnly(std::vector<std::string> n) : names(std::move(n)) {}
    std::map<std::string, BridgeEntry> routes() const override { return notYet(names); }
};

std::set<std::string> keys(const BridgeRoutes& group) {
    std::set<std::string> out;
    for (const auto& [name, entry] : group.routes()) {
        out.insert(name);
    }
    return out;
}

std::set<std::string> expected(size_t index) {
    return {pageCalls[index].begin(), pageCalls[index].end()};
}

TEST(RouteGroups, TheBuiltGroupsServeExactlyTheirCalls) {
    auto server = std::make_shared<testing::FakeServerCalling>();
    auto session = std::make_shared<testing::FakeSession>();
    auto detect = std::make_shared<DetectStore>();
    auto connection =
        std::make_shared<ConnectionSettings>(std::make_shared<testing::FakeSecretStore>(), session);

    EXPECT_EQ(keys(DetectRoutes(detect->control(), 1, [] { return std::nullopt; })), expected(0));
    EXPECT_EQ(keys(SourceOpenRoutes(nullptr)), expected(3));
    EXPECT_EQ(keys(StudyRoutes(ServerStudyRecorder::make(server, session))), expected(6));
    EXPECT_EQ(keys(PopupSettingsRoutes(nullptr, nullptr)), expected(7));
    EXPECT_EQ(keys(ConnectionRoutes(connection)), expected(8));
    EXPECT_EQ(keys(FeedbackRoutes()), expected(10));
    EXPECT_EQ(keys(FeedbackRoutes(std::make_shared<FeedbackSender>(server, session, "v"))),
              expected(10));
    EXPECT_EQ(keys(DiagnosticsRoutes()), expected(11));
    EXPECT_EQ(DiagnosticsRoutes().logModes().at("ui_error"), BridgeLogMode::selfLogged);
}

TEST(RouteGroups, FourteenGroupsJoinIntoEightySixNamesInGroupOrder) {
    BridgeRouter::Groups groups;
    for (const auto& names : pageCalls) {
        groups.push_back(std::make_shared<NamesOnly>(names));
    }
    auto router = BridgeRouter::make(groups);
    ASSERT_EQ(router->names().size(), 86u);
    EXPECT_EQ(router->table().size(), 86u);
    // Each group's names stay together, and the groups keep their order.
    size_t at = 0;
    for (const auto& names : pageCalls) {
        const std::set<std::string> group(
            router->names().begin() + static_cast<long>(at),
            router->names().begin() + static_cast<long>(at + names.size()));
        EXPECT_EQ(group, std::set<std::string>(names.begin(), names.end()));
        at += names.size();
    }
}

}  // namespace
}  // namespace parlendo
