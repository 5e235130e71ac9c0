#include <gtest/gtest.h>

#include "LogCapture.h"
#include "ManualExecutor.h"
#include "RouteFixtures.h"
#include "manage/ManageBridge.h"

#include <optional>
#include <string>

namespace parlendo {
namespace {

using testing::group;
using testing::LogCapture;

std::shared_ptr<ManageBridge> bridgeOver(const BridgeRouter::Groups& groups) {
    return std::make_shared<ManageBridge>(BridgeRouter::make(groups));
}

// The script a message is answered with, when it answers at once.
std::optional<std::string> answer(ManageBridge& bridge, std::string_view text) {
    const ManageBridge::Incoming incoming = ManageBridge::read(text);
    if (!incoming.message) {
        return std::nullopt;
    }
    std::optional<std::string> script;
    bridge.take(*incoming.message, [&](std::string s) { script = std::move(s); });
    return script;
}

TEST(ManageBridge, CountsOnlyTheAuthenticationCallsInFlight) {
    LogCapture log;
    std::vector<Completion<void(BridgeReply)>> held;
    const auto hold = [&](const BridgeArgs&, Completion<void(BridgeReply)> done) {
        held.push_back(std::move(done));
    };
    auto routes = group();
    routes->serve("sign_in", hold).serve("resend_confirmation", hold).serve("sign_out", hold);
    auto bridge = bridgeOver({routes});

    bridge->respond("sign_in", {}, [](Json) {});
    EXPECT_EQ(bridge->authCallsInFlight(), 1);
    bridge->respond("resend_confirmation", {}, [](Json) {});
    EXPECT_EQ(bridge->authCallsInFlight(), 1);
    bridge->respond("sign_out", {}, [](Json) {});
    EXPECT_EQ(bridge->authCallsInFlight(), 2);
    // Unknown names and names outside the eight are never counted.
    bridge->respond("login_now", {}, [](Json) {});
    EXPECT_EQ(bridge->authCallsInFlight(), 2);
    for (auto& done : held) {
        done(BridgeReply::ok(true));
    }
    EXPECT_EQ(bridge->authCallsInFlight(), 0);
    EXPECT_EQ(ManageBridge::authCalls().size(), 8u);
    EXPECT_EQ(ManageBridge::authCalls().count("resend_confirmation"), 0u);
}

TEST(ManageBridge, ReadsOnlyWellFormedMessages) {
    using M = ManageBridge;
    EXPECT_FALSE(M::read(R"({"id": "7", "name": "load_tree"})").message);
    EXPECT_FALSE(M::read(R"({"id": 7.5, "name": "load_tree"})").message);
    EXPECT_FALSE(M::read(R"({"id": 7, "name": 3})").message);
    EXPECT_FALSE(M::read(R"({"id": 18446744073709551615, "name": "x"})").message);
    EXPECT_FALSE(M::read(R"([7, "load_tree"])").message);
    EXPECT_FALSE(M::read("").message);

    const auto plain = M::read(R"({"id": 7, "name": "load_tree"})");
    ASSERT_TRUE(plain.message);
    EXPECT_EQ(*plain.message, (M::Message{7, "load_tree", {}, "", false}));
    EXPECT_FALSE(plain.nonce);
    EXPECT_TRUE(M::read(R"({"id": 1, "name": "x", "args": {"a": 1}})").message->args.empty());
    const auto full = M::read(R"({"id": 2, "name": "x", "args": [1, "a"], "nonce": "n1"})");
    EXPECT_EQ(full.message->args, (std::vector<Json>{1, "a"}));
    EXPECT_EQ(full.nonce, "n1");
}

TEST(ManageBridge, RepairsTextThatIsNotValidUnicode) {
    // Raw invalid bytes and lone surrogate halves (which JavaScript strings may hold) become
    // U+FFFD; a real pair and an escaped backslash before "u" stay as they are.
    const auto body = ManageBridge::parseBody(
        "{\"a\": \"x\xff\", \"b\": \"\\ud800\", \"c\": \"\\udc00z\", \"d\": \"\\ud83d\\ude00\","
        " \"e\": \"\\\\ud800\", \"f\": \"\\ud800\\u0041\"}");
    ASSERT_TRUE(body);
    EXPECT_EQ((*body)["a"], "x\xef\xbf\xbd");
    EXPECT_EQ((*body)["b"], "\xef\xbf\xbd");
    EXPECT_EQ((*body)["c"], "\xef\xbf\xbdz");
    EXPECT_EQ((*body)["d"], "\xf0\x9f\x98\x80");
    EXPECT_EQ((*body)["e"], "\\ud800");
    EXPECT_EQ((*body)["f"],
              "\xef\xbf\xbd"
              "A");
}

TEST(ManageBridge, AnswersWithTheResolveScript) {
    LogCapture log;
    auto routes = group();
    routes->answer("load_tree", BridgeReply::ok(Json{{"folders", Json::array()}}))
        .answer("bare", BridgeReply::custom("just text"));
    auto bridge = bridgeOver({routes});

    EXPECT_EQ(answer(*bridge, R"({"id": 7, "name": "load_tree", "load": "0a1f"})"),
              R"(window.__prlResolve(7, {"data":{"folders":[]},"ok":true}, "0a1f");)");
    EXPECT_EQ(answer(*bridge, R"({"id": 8, "name": "bare", "args": []})"),
              R"(window.__prlResolve(8, "just text", "");)");
    // A load mark that could break out of the script is no mark.
    for (const char* load : {R"j("a\"); alert(1); (\"")j", R"("A")", "7", R"("")"}) {
        const std::string text = std::string(R"({"id": 9, "name": "bare", "load": )") + load + "}";
        EXPECT_EQ(answer(*bridge, text), R"(window.__prlResolve(9, "just text", "");)") << load;
    }
}

TEST(ManageBridge, ALargeReplyIsWrittenOffTheMainExecutorAndHandedBackToIt) {
    LogCapture log;
    Json sources = Json::array();
    for (size_t i = 0; i < ManageBridge::largeReplyValues; ++i) {
        sources.push_back(Json{{"id", "s" + std::to_string(i)}});
    }
    auto routes = group();
    routes->answer("load_tree", BridgeReply::ok(Json{{"sources", sources}}))
        .answer("small", BridgeReply::ok(Json{{"sources", Json::array({1, 2})}}))
        .answer("fonts",
                BridgeReply::ok(Json{{"data", std::string(ManageBridge::largeReplyBytes, 'A')}}))
        .answer("broken", BridgeReply::ok(Json::array({sources, std::string("\xc3")})));
    auto bridge = bridgeOver({routes});
    auto writer = std::make_shared<testing::ManualExecutor>();
    auto main = std::make_shared<testing::ManualExecutor>();
    bridge->writeLargeRepliesOn(writer, main);

    EXPECT_EQ(answer(*bridge, R"({"id": 1, "name": "small"})"),
              R"(window.__prlResolve(1, {"data":{"sources":[1,2]},"ok":true}, "");)")
        << "small replies at once";
    std::optional<std::string> script;
    bridge->take(*ManageBridge::read(R"({"id": 3, "name": "load_tree", "load": "ab12"})").message,
                 [&](std::string s) { script = std::move(s); });
    EXPECT_FALSE(script);
    EXPECT_EQ(writer->runAll(), 1u);
    EXPECT_FALSE(script) << "handed back on the main executor only";
    main->runAll();
    ASSERT_TRUE(script);
    EXPECT_TRUE(script->starts_with(R"(window.__prlResolve(3, {"data":{"sources":[{"id":"s0"},)"))
        << script->substr(0, 80);
    EXPECT_TRUE(script->ends_with(R"({"id":"s1999"}]},"ok":true}, "ab12");)"))
        << "the page load's mark travels with a reply written elsewhere";
    // A few values with much text are large as well.
    script.reset();
    bridge->take(*ManageBridge::read(R"({"id": 5, "name": "fonts"})").message,
                 [&](std::string s) { script = std::move(s); });
    EXPECT_FALSE(script);
    writer->runAll();
    main->runAll();
    EXPECT_TRUE(script && script->size() > ManageBridge::largeReplyBytes);

    // One that cannot be written still settles the promise.
    script.reset();
    bridge->take(*ManageBridge::read(R"({"id": 4, "name": "broken"})").message,
                 [&](std::string s) { script = std::move(s); });
    writer->runAll();
    main->runAll();
    EXPECT_EQ(
        script,
        R"(window.__prlResolve(4, {"error_class":"request","msg":"REQUEST_FAILED","ok":false}, "");)");
}

TEST(ManageBridge, AReplyThatCannotBeWrittenStillSettlesThePromise) {
    LogCapture log;
    auto routes = group();
    routes->answer("broken", BridgeReply::ok(std::string("\xc3")));
    auto bridge = bridgeOver({routes});
    EXPECT_EQ(
        answer(*bridge, R"({"id": 3, "name": "broken"})"),
        R"(window.__prlResolve(3, {"error_class":"request","msg":"REQUEST_FAILED","ok":false}, "");)");
    EXPECT_TRUE(log.has("manage", "🔴 broken 의 답을 JSON 으로 못 만듦 — REQUEST_FAILED 로 답함"));
}

TEST(ManageBridge, AMessageTooDeepToReadIsAnsweredWithoutReachingARoute) {
    LogCapture log;
    bool reached = false;
    auto routes = group();
    routes->serve("load_tree", [&](const BridgeArgs&, Completion<void(BridgeReply)> done) {
        reached = true;
        done(BridgeReply::ok(1));
    });
    auto bridge = bridgeOver({routes});
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    const std::string text =
        R"({"nonce": "n", "id": 9, "name": "load_tree", "args": [)" + deep + R"(], "load": "l9"})";
    const auto incoming = ManageBridge::read(text);
    ASSERT_TRUE(incoming.message);
    EXPECT_TRUE(incoming.message->unreadable);
    EXPECT_EQ(incoming.nonce, "n");
    EXPECT_EQ(
        answer(*bridge, text),
        R"(window.__prlResolve(9, {"error_class":"request","msg":"REQUEST_FAILED","ok":false}, "l9");)");
    EXPECT_FALSE(reached);
    EXPECT_TRUE(log.has("manage", "load_tree 실패 reason=unreadable_message"));
    // Damaged text after the name still names the call.
    EXPECT_TRUE(ManageBridge::read(R"({"id": 4, "name": "x", "args": [1,)").message);
    EXPECT_FALSE(ManageBridge::read(R"({"name": "x", "args": [)").message);
}

}  // namespace
}  // namespace parlendo
