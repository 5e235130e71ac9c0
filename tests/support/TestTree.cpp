#include "TestTree.h"

#include <stdlib.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <map>
#include <system_error>

namespace parlendo::testing {

namespace fs = std::filesystem;

namespace {

struct State {
    fs::path root;
    bool owned = false;
    std::map<std::string, std::optional<std::string>> inherited;
};

// Names the tree for processes this program starts from itself (a death test runs the program
// again): they live in the same tree, which only the first process removes.
constexpr const char* treeVariable = "PARLENDO_TEST_TREE";

State& state() {
    static State s;
    return s;
}

// Where each variable points inside the tree.
const std::vector<std::pair<std::string, std::string>>& layout() {
    static const std::vector<std::pair<std::string, std::string>> folders = {
        {"HOME", "home"},
        {"XDG_CONFIG_HOME", "home/.config"},
        {"XDG_DATA_HOME", "home/.local/share"},
        {"XDG_STATE_HOME", "home/.local/state"},
        {"XDG_CACHE_HOME", "home/.cache"},
        {"EV_LOG_DIR", "log"},
    };
    return folders;
}

}  // namespace

const std::vector<std::string>& TestTree::variables() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> out;
        for (const auto& [name, folder] : layout()) {
            out.push_back(name);
        }
        return out;
    }();
    return names;
}

void TestTree::enter() {
    State& s = state();
    if (const char* parent = std::getenv(treeVariable); parent != nullptr && *parent != '\0') {
        s.root = parent;
        for (const auto& [name, folder] : layout()) {
            const char* value = std::getenv(name.c_str());
            s.inherited[name] = value ? std::optional<std::string>(value) : std::nullopt;
        }
        return;
    }
    std::string pattern = (fs::temp_directory_path() / "parlendo-test-home-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::abort();  // no test may run against the user's own folders
    }
    s.root = pattern;
    s.owned = true;
    ::setenv(treeVariable, s.root.c_str(), 1);
    for (const auto& [name, folder] : layout()) {
        const char* before = std::getenv(name.c_str());
        s.inherited[name] = before ? std::optional<std::string>(before) : std::nullopt;
        const fs::path path = s.root / folder;
        std::error_code ec;
        fs::create_directories(path, ec);
        ::setenv(name.c_str(), path.c_str(), 1);
    }
}

void TestTree::leave() {
    State& s = state();
    if (s.root.empty() || !s.owned) {
        return;
    }
    std::error_code ec;
    fs::permissions(s.root, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(s.root, ec);
}

const fs::path& TestTree::root() {
    return state().root;
}

std::optional<std::string> TestTree::inherited(const std::string& name) {
    const auto& inherited = state().inherited;
    auto it = inherited.find(name);
    if (it != inherited.end()) {
        return it->second;
    }
    const char* value = std::getenv(name.c_str());
    return value ? std::optional<std::string>(value) : std::nullopt;
}

bool TestTree::inside(const fs::path& path, const fs::path& folder) {
    const fs::path p = path.lexically_normal();
    const fs::path f = folder.lexically_normal();
    const auto fEnd = std::mismatch(f.begin(), f.end(), p.begin(), p.end()).first;
    // A trailing separator gives an empty last element.
    return fEnd == f.end() || (std::next(fEnd) == f.end() && fEnd->empty());
}

}  // namespace parlendo::testing
