#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace parlendo::testing {

// The private home of one test program. Before any test runs, the program's main makes a fresh
// temporary folder and points HOME, XDG_CONFIG_HOME, XDG_DATA_HOME, XDG_STATE_HOME,
// XDG_CACHE_HOME and EV_LOG_DIR into it, so that nothing a test does (or a library it calls)
// reaches the user's own folders; the folder goes when the program ends. A process the program
// starts from itself (a death test) finds the tree in PARLENDO_TEST_TREE and shares it.
class TestTree {
  public:
    // The variables that point into the tree.
    static const std::vector<std::string>& variables();

    // Makes the tree and points the variables into it. Called once, by main.
    static void enter();
    // Removes the tree. Called once, by main.
    static void leave();

    // The tree's folder; empty before `enter`.
    static const std::filesystem::path& root();
    // A variable's value as the program was started, before `enter` changed it.
    static std::optional<std::string> inherited(const std::string& name);

    // Whether `path` lies inside `folder` (after resolving "." and "..", not links).
    static bool inside(const std::filesystem::path& path, const std::filesystem::path& folder);
};

}  // namespace parlendo::testing
