#include <gtest/gtest.h>

#include "LogCapture.h"
#include "manage/BridgeRouter.h"
#include "manage/SourceOpener.h"

#include <optional>

namespace parlendo {
namespace {

using Local = SourceOpener::Local;
using Outcome = SourceOpener::Outcome;

// Records what it is asked to open; an application takes it unless `noApplication`.
struct RecordingOpener final : SystemOpening {
    std::vector<std::string> urls;
    std::vector<std::string> paths;
    bool noApplication = false;
    void open(const std::string& url) override { urls.push_back(url); }
    void openPath(const std::string& path) override { paths.push_back(path); }
    void open(const std::string& url, std::function<void(bool)> done) override {
        open(url);
        done(!noApplication);
    }
    void openPath(const std::string& path, std::function<void(bool)> done) override {
        openPath(path);
        done(!noApplication);
    }
};

struct OpenerRig {
    std::shared_ptr<RecordingOpener> system = std::make_shared<RecordingOpener>();
    std::map<std::string, Local> verdicts;
    std::vector<std::string> judged;
    std::shared_ptr<SourceOpener> opener =
        std::make_shared<SourceOpener>(system, [this](const std::string& address) {
            judged.push_back(address);
            auto it = verdicts.find(address);
            return it == verdicts.end() ? Local::unsupported() : it->second;
        });

    Outcome open(const std::string& address) const {
        std::optional<Outcome> outcome;
        opener->open(address, [&](Outcome o) { outcome = o; });
        return outcome.value();
    }
};

TEST(SourceOpener, OpensWebAddressesAsTheyAreAndRefusesBadOnes) {
    OpenerRig rig;
    EXPECT_EQ(rig.open("HTTPS://Example.com/a?b=1#c"), Outcome::opened);
    EXPECT_EQ(rig.open("http://example.com/한국어"), Outcome::opened);
    EXPECT_EQ(rig.open("https://exa mple.com/"), Outcome::badURL);
    EXPECT_EQ(rig.open("https://"), Outcome::badURL);
    EXPECT_EQ(rig.system->urls, (std::vector<std::string>{"HTTPS://Example.com/a?b=1#c",
                                                          "http://example.com/한국어"}));
    EXPECT_TRUE(rig.judged.empty());
    // Every other scheme is left to the local rules, which refuse it.
    EXPECT_EQ(rig.open("ftp://example.com/a.pdf"), Outcome::unsupported);
    EXPECT_EQ(rig.open("mailto:a@b.c"), Outcome::unsupported);
    EXPECT_TRUE(rig.system->paths.empty());
}

TEST(SourceOpener, FollowsTheLocalVerdict) {
    OpenerRig rig;
    rig.verdicts["file:///a.pdf"] = Local::open("/a.pdf");
    rig.verdicts["file:///gone.pdf"] = Local::missing();
    rig.verdicts["file:///setup.PKG"] = Local::runnable();
    EXPECT_EQ(rig.open("file:///a.pdf"), Outcome::opened);
    EXPECT_EQ(rig.system->paths, (std::vector<std::string>{"/a.pdf"}));
    EXPECT_EQ(rig.open("file:///gone.pdf"), Outcome::missing);
    EXPECT_EQ(rig.open("file:///setup.PKG"), Outcome::runnable);

    EXPECT_EQ(rig.opener->localStatus("file:///a.pdf"), "available");
    EXPECT_EQ(rig.opener->localStatus("file:///gone.pdf"), "missing");
    EXPECT_EQ(rig.opener->localStatus("file:///setup.PKG"), "unsupported");
    EXPECT_EQ(rig.opener->localStatus("https://example.com"), "unsupported");
    EXPECT_EQ(rig.system->paths.size(), 1u);
}

TEST(SourceOpener, RoutesAnswerTrueOrTheRequestFailureWithTheOutcome) {
    testing::LogCapture log;
    OpenerRig rig;
    rig.verdicts["file:///a.pdf"] = Local::open("/a.pdf");
    rig.verdicts["file:///run.sh"] = Local::runnable();
    auto router = BridgeRouter::make({std::make_shared<SourceOpenRoutes>(rig.opener)});
    const auto call = [&](const std::string& name, std::vector<Json> args) {
        std::optional<Json> result;
        router->respond(name, std::move(args), [&](Json r) { result = r; });
        return result.value_or(Json());
    };
    EXPECT_EQ(call("open_url", {"file:///a.pdf"}), (Json{{"ok", true}, {"data", true}}));
    EXPECT_EQ(call("open_url", {"file:///run.sh"})["msg"], "REQUEST_FAILED");
    EXPECT_TRUE(log.has("manage", "open_url 실패 reason=open_runnable"));
    EXPECT_EQ(call("open_url", {Json::array({"file:///a.pdf"})})["msg"], "REQUEST_FAILED");
    EXPECT_TRUE(log.has("manage", "open_url 실패 reason=open_unsupported"));
    EXPECT_EQ(call("local_pdf_status", {"https://example.com"}),
              (Json{{"ok", true}, {"data", {{"status", "unsupported"}}}}));
    EXPECT_EQ(call("local_pdf_status", {"file:///a.pdf"})["data"]["status"], "available");

    // A document or a page no application takes is not reported opened.
    rig.system->noApplication = true;
    EXPECT_EQ(call("open_url", {"file:///a.pdf"})["msg"], "REQUEST_FAILED");
    EXPECT_TRUE(log.has("manage", "open_url 실패 reason=open_failed"));
    EXPECT_EQ(rig.open("https://example.com/a"), Outcome::failed);
    EXPECT_EQ(rig.system->urls, std::vector<std::string>{"https://example.com/a"});
}

}  // namespace
}  // namespace parlendo
