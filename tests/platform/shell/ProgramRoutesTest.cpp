#include "PageCalls.h"
#include "ShellDesktop.h"
#include "manage/BridgeRouter.h"
#include "shell/Program.h"

#include <gtest/gtest.h>

#include <set>

namespace parlendo {
namespace {

using testing::pageCalls;
using testing::ShellDesktop;

// The router the manage page talks to, joined from the route groups of the modules the program
// itself builds (not started: nothing is shown or sent).
TEST(ProgramRoutes, ThePageReachesEveryCallThroughTheProgramsOwnModules) {
    ASSERT_TRUE(ShellDesktop::ready()) << "needs an X display: run under scripts/with-session.sh";
    GtkApplication* app =
        gtk_application_new("org.parlendo.tests.ProgramRoutes", G_APPLICATION_NON_UNIQUE);
    RuntimeConfig config;
    config.supabaseURL = "https://routes.invalid";
    config.publicKey = "anon";
    auto program = Program::make(app, config);
    BridgeRouter::Groups groups;
    for (const auto& module : program->delegate()->modules()) {
        auto routes = module->bridgeRoutes();
        groups.insert(groups.end(), routes.begin(), routes.end());
    }
    auto router = BridgeRouter::make(groups);

    std::set<std::string> expected;
    for (const auto& group : pageCalls) {
        expected.insert(group.begin(), group.end());
    }
    ASSERT_EQ(expected.size(), 86u);
    EXPECT_EQ(router->names().size(), 86u);
    EXPECT_EQ(std::set<std::string>(router->names().begin(), router->names().end()), expected);
    std::set<std::string> served;
    for (const auto& [name, entry] : router->table()) {
        served.insert(name);
    }
    EXPECT_EQ(served, expected);
    // The groups come in the order the page's calls were joined in.
    size_t at = 0;
    for (const auto& names : pageCalls) {
        ASSERT_LE(at + names.size(), router->names().size());
        const std::set<std::string> group(
            router->names().begin() + static_cast<long>(at),
            router->names().begin() + static_cast<long>(at + names.size()));
        EXPECT_EQ(group, std::set<std::string>(names.begin(), names.end())) << names.front();
        at += names.size();
    }

    program.reset();
    g_object_unref(app);
}

}  // namespace
}  // namespace parlendo
