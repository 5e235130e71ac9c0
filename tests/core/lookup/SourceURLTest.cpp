#include <gtest/gtest.h>

#include "lookup/SourceURL.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>

namespace parlendo {

void PrintTo(const SourceURL::LocalOpen& o, std::ostream* os) {
    if (const auto* open = std::get_if<SourceURL::Open>(&o)) {
        *os << "open(" << open->path << ")";
    } else if (std::holds_alternative<SourceURL::Unsupported>(o)) {
        *os << "unsupported";
    } else if (std::holds_alternative<SourceURL::Missing>(o)) {
        *os << "missing";
    } else {
        *os << "runnable";
    }
}

namespace {

TEST(SourceURL, AcceptsOnlyPlausibleAddressBarValues) {
    struct Case {
        std::optional<std::string> input;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {std::nullopt, std::nullopt},
        {"", std::nullopt},
        {"https://", std::nullopt},
        {"https://a", "https://a"},
        {"http://", std::nullopt},
        {"http://a", "http://a"},
        {"file://", std::nullopt},
        {"file:///", "file:///"},
        {"  HTTPS://Example.com/Path \n", "HTTPS://Example.com/Path"},
        {"\u3000https://\uD55C.kr\u00A0", "https://\uD55C.kr"},
        {"ftp://example.com", std::nullopt},
        {"example.com", std::nullopt},
        {"javascript:alert(1)", std::nullopt},
        {"https://a\xFF", "https://a\uFFFD"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SourceURL::acceptAddressBar(c.input), c.expected) << c.input.value_or("nil");
    }
}

TEST(SourceURL, CleanRemovesFragmentsAndTrackingParameters) {
    const std::pair<std::string, std::string> cases[] = {
        {"https://a.com/p", "https://a.com/p"},
        {"https://a.com/p#section", "https://a.com/p"},
        {"https://a.com/p?utm_source=x&utm_medium=y", "https://a.com/p"},
        {"https://a.com/p?a=1&gclid=2&b=3", "https://a.com/p?a=1&b=3"},
        {"https://a.com/p?b=2&&a=1&#frag", "https://a.com/p?b=2&&a=1&"},
        {"https://a.com/p?a=1&&fbclid=9&", "https://a.com/p?a=1"},
        {"https://a.com/p?UTM_Source=x&q=1", "https://a.com/p?q=1"},
        {"https://a.com/p?utm%5Fcampaign=x&q=1", "https://a.com/p?q=1"},
        {"https://a.com/p?utm_source", "https://a.com/p"},
        {"https://a.com/p?%zz=1&mc_eid=2", "https://a.com/p?%zz=1"},
        {"https://a.com/p?%FF=1&igshid=2", "https://a.com/p?%FF=1"},
        {"https://a.com/p?", "https://a.com/p?"},
        {"https://a.com/p#x?utm_source=1", "https://a.com/p"},
        {"https://a.com/p?q=%ED%95%9C&utm_term=z", "https://a.com/p?q=%ED%95%9C"},
    };
    for (const auto& [input, expected] : cases) {
        EXPECT_EQ(SourceURL::clean(input), expected) << input;
    }
}

TEST(SourceURL, LocalPathsAndTheStandardFileURL) {
    struct Case {
        std::string url;
        std::optional<std::string> path;
        std::string standard;
    };
    const Case cases[] = {
        {"file:///Users/me/My%20Doc.pdf", "/Users/me/My Doc.pdf", "file:///Users/me/My%20Doc.pdf"},
        {"FILE:///tmp/a.pdf?x=1#page=2", "/tmp/a.pdf", "file:///tmp/a.pdf"},
        {"file:///tmp/dir/", "/tmp/dir/", "file:///tmp/dir/"},
        {"file:///tmp/%ED%95%9C%20%EA%B8%80.txt", "/tmp/\uD55C \uAE00.txt",
         "file:///tmp/%ED%95%9C%20%EA%B8%80.txt"},
        {"file:///tmp/\uD55C.txt", "/tmp/\uD55C.txt", "file:///tmp/%ED%95%9C.txt"},
        {"file:///tmp/a%FFb", "/tmp/a\uFFFDb", "file:///tmp/a%EF%BF%BDb"},
        {"file:///tmp/100%", "/tmp/100%", "file:///tmp/100%25"},
        {"file:///tmp/%4", "/tmp/%4", "file:///tmp/%254"},
        {"file:///tmp/a%3Fb%23c", "/tmp/a?b#c", "file:///tmp/a%3Fb%23c"},
        {"file://host/tmp/a", std::nullopt, "file://host/tmp/a"},
        {"file:////tmp/a", std::nullopt, "file:////tmp/a"},
        {"file:///%2Ftmp", std::nullopt, "file:///%2Ftmp"},
        // A NUL would make the file system see a shorter, different path.
        {"file:///tmp/evil.sh%00.pdf", std::nullopt, "file:///tmp/evil.sh%00.pdf"},
        {"https://a.com/x", std::nullopt, "https://a.com/x"},
        {"file:", std::nullopt, "file:"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SourceURL::localPath(c.url), c.path) << c.url;
        EXPECT_EQ(SourceURL::standardFile(c.url), c.standard) << c.url;
    }
}

TEST(SourceURL, JudgeLocalRefusesAnythingRunnable) {
    // Facts from no file system: the path is judged as it was saved.
    const SourceURL::LocalFacts file{true, false, false, false, ""};
    const SourceURL::LocalFacts directory{true, true, true, false, ""};
    const SourceURL::LocalFacts executable{true, false, true, false, ""};
    const SourceURL::LocalFacts systemRunnable{true, false, false, true, ""};
    const SourceURL::LocalFacts missing{};
    struct Case {
        const char* name;
        std::string url;
        SourceURL::LocalFacts facts;
        SourceURL::LocalOpen expected;
    };
    const Case cases[] = {
        {"plain document", "file:///home/me/Doc%20One.pdf", file,
         SourceURL::Open{"/home/me/Doc One.pdf"}},
        {"web address", "https://example.com/a.pdf", file, SourceURL::Unsupported{}},
        {"host part", "file://server/a.pdf", file, SourceURL::Unsupported{}},
        {"missing", "file:///home/me/gone.pdf", missing, SourceURL::Missing{}},
        {"script extension", "file:///home/me/run.SH", file, SourceURL::Runnable{}},
        {"dot file counts as extension", "file:///home/me/.sh", file, SourceURL::Runnable{}},
        {"trailing dots drop out", "file:///home/me/x.sh.", file, SourceURL::Runnable{}},
        {"trailing dots drop out twice", "file:///home/me/x.py..", file, SourceURL::Runnable{}},
        {"only dots", "file:///home/me/...", file, SourceURL::Open{"/home/me/..."}},
        {"no dot, no extension", "file:///home/me/sh", file, SourceURL::Open{"/home/me/sh"}},
        {"inside an app bundle", "file:///Apps/Tool.app/Contents/doc.pdf", file,
         SourceURL::Runnable{}},
        {"execute permission", "file:///home/me/notes", executable, SourceURL::Runnable{}},
        {"system says runnable", "file:///home/me/launcher.desktop", systemRunnable,
         SourceURL::Runnable{}},
        {"directory with execute permission", "file:///home/me/Papers/", directory,
         SourceURL::Open{"/home/me/Papers/"}},
        {"extension compared after full lower-casing", "file:///x/driver.\u212Aext", file,
         SourceURL::Runnable{}},
        {"app only as a suffix", "file:///home/me/apple/happy.pdf", file,
         SourceURL::Open{"/home/me/apple/happy.pdf"}},
    };
    for (const Case& c : cases) {
        const auto got = SourceURL::judgeLocal(c.url, [&](const std::string&) { return c.facts; });
        EXPECT_EQ(got, c.expected) << c.name;
    }
}

class SourceURLInspect : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("parlendo-inspect-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_ / "sub");
        dir_ = std::filesystem::canonical(dir_);
        std::ofstream(dir_ / "doc.pdf") << "%PDF-1.4";
        std::ofstream(dir_ / "tool") << "#!/bin/sh\n";
        ::chmod((dir_ / "tool").c_str(), 0755);
        std::filesystem::create_symlink(dir_ / "tool", dir_ / "link.pdf");
        std::filesystem::create_symlink(dir_ / "doc.pdf", dir_ / "paper.pdf");
        std::filesystem::create_symlink(dir_ / "doc.pdf", dir_ / "start.desktop");
        std::ofstream(dir_ / "sub/app.desktop") << "[Desktop Entry]\n";
        std::filesystem::create_symlink(dir_ / "sub/app.desktop", dir_ / "notes.txt");
        // A linked folder whose target lies one level down: "linked/.." is `sub`, not `dir_`.
        std::filesystem::create_directories(dir_ / "sub/inner");
        std::filesystem::create_symlink(dir_ / "sub/inner", dir_ / "linked");
        std::ofstream(dir_ / "sub/tool") << "#!/bin/sh\n";
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::filesystem::path dir_;
};

TEST_F(SourceURLInspect, ReadsFactsAfterResolvingLinks) {
    std::map<std::string, int> asked;
    const auto never = [&](const std::string& path) {
        ++asked[path];
        return false;
    };
    const std::string doc = (dir_ / "doc.pdf").string();
    const std::string tool = (dir_ / "tool").string();
    EXPECT_EQ(SourceURL::inspect(doc, never),
              (SourceURL::LocalFacts{true, false, false, false, doc}));
    EXPECT_EQ(SourceURL::inspect((dir_ / "sub").string(), never),
              (SourceURL::LocalFacts{true, true, false, false, (dir_ / "sub").string()}));
    EXPECT_EQ(SourceURL::inspect((dir_ / "none").string(), never), SourceURL::LocalFacts{});
    // The link's name says PDF, its target is an executable script.
    EXPECT_EQ(SourceURL::inspect((dir_ / "link.pdf").string(), never),
              (SourceURL::LocalFacts{true, false, true, false, tool}));
    EXPECT_EQ(asked.count(tool), 1u);
    // Without a content-type answer the other facts still count.
    EXPECT_EQ(SourceURL::inspect(doc, nullptr),
              (SourceURL::LocalFacts{true, false, false, false, doc}));
    // ".." after a linked folder leads where the kernel goes: beside the folder's target.
    EXPECT_EQ(SourceURL::inspect((dir_ / "linked/../tool").string(), never).resolved,
              (dir_ / "sub/tool").string());
    EXPECT_EQ(SourceURL::inspect((dir_ / "sub/../doc.pdf").string(), never).resolved, doc);

    const auto judge = [](const std::string& url) {
        return SourceURL::judgeLocal(
            url, [](const std::string& path) { return SourceURL::inspect(path, nullptr); });
    };
    EXPECT_EQ(judge(SourceURL::standardFile("file://" + (dir_ / "link.pdf").string())),
              SourceURL::LocalOpen(SourceURL::Runnable{}));
    EXPECT_EQ(judge("file://" + doc), SourceURL::LocalOpen(SourceURL::Open{doc}));
    // What is opened is the resolved path that was judged, never the name that was saved.
    EXPECT_EQ(judge("file://" + (dir_ / "paper.pdf").string()),
              SourceURL::LocalOpen(SourceURL::Open{doc}));
    EXPECT_EQ(judge("file://" + (dir_ / "sub/../doc.pdf").string()),
              SourceURL::LocalOpen(SourceURL::Open{doc}));
    // A link named like a launcher is refused even when it leads to a document, and one named
    // like a document is refused when it leads to a launcher's name.
    EXPECT_EQ(judge("file://" + (dir_ / "start.desktop").string()),
              SourceURL::LocalOpen(SourceURL::Runnable{}));
    EXPECT_EQ(judge("file://" + (dir_ / "notes.txt").string()),
              SourceURL::LocalOpen(SourceURL::Runnable{}));
}

}  // namespace
}  // namespace parlendo
