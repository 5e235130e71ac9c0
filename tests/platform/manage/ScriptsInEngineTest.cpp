#include <gtest/gtest.h>

#include "foundation/Json.h"
#include "manage/BridgeShim.h"
#include "manage/MacOverlay.h"

#include <jsc/jsc.h>

#include <optional>
#include <string>

namespace parlendo {
namespace {

// A bare script engine: the overlay and the shim define their globals without a document.
class Engine {
  public:
    Engine() : context_(jsc_context_new()) { eval("var window = globalThis;"); }
    ~Engine() { g_object_unref(context_); }

    // The JSON text of the value of `code` (promise jobs run between evaluations).
    std::string eval(const std::string& code) {
        JSCValue* value = jsc_context_evaluate(context_, code.c_str(), -1);
        if (JSCException* exception = jsc_context_get_exception(context_)) {
            ADD_FAILURE() << jsc_exception_get_message(exception) << " in " << code.substr(0, 200);
            jsc_context_clear_exception(context_);
        }
        std::string out = "undefined";
        if (value != nullptr && !jsc_value_is_undefined(value)) {
            gchar* text = jsc_value_to_json(value, 0);
            out = text != nullptr ? text : "?";
            g_free(text);
        }
        if (value != nullptr) {
            g_object_unref(value);
        }
        return out;
    }
    Json json(const std::string& code) { return json::parse(eval(code)).value_or(Json("?")); }

  private:
    JSCContext* context_;
};

TEST(OverlayScript, RewritesWordingRowByRow) {
    Engine engine;
    engine.eval(MacOverlay::script());
    const auto replace = [&](const std::string& text) {
        return engine.json("__prlMac.replaceText(" + MacOverlay::literal(text) + ")");
    };
    EXPECT_EQ(replace("Delete 로 지우기"), "Delete 로 지우기");
    EXPECT_EQ(replace("이 PC 에 남는 것"), "이 Mac 에 남는 것");
    EXPECT_EQ(replace("글을 드래그하고 왼쪽 Ctrl 과 왼쪽 Alt 를 같이 눌렀다 떼면 단어 팝업"),
              "글을 선택하고 ⌥ 와 ⌘ 를 같이 눌렀다 떼면 단어 팝업");
    EXPECT_EQ(replace("왼쪽 Ctrl 두 번, 왼쪽 Ctrl"), "⌥ 두 번, ⌥");
    EXPECT_EQ(replace("아무 관련 없는 글"), "아무 관련 없는 글");
    EXPECT_EQ(engine.json("__prlMac.replaceText(5)"), 5);
    EXPECT_EQ(engine.json("__prlMac.phrases.length"), 24);
}

TEST(OverlayScript, PlansKeyPressesMadeTheMacWay) {
    Engine engine;
    engine.eval(MacOverlay::script());
    const auto plan = [&](const std::string& event, const std::string& focus) {
        return engine.json("__prlMac.plan(" + event + ", " + focus + ")");
    };
    const std::string field = "{editable: true, tag: 'INPUT', focusKey: '', renameable: false}";
    const std::string row =
        "{editable: false, tag: 'BUTTON', focusKey: 'name:folder:1', renameable: true}";
    const std::string card =
        "{editable: false, tag: 'BUTTON', focusKey: 'open:source:2', renameable: true}";
    const std::string body = "{editable: false, tag: 'BODY', focusKey: '', renameable: false}";

    EXPECT_EQ(plan("{key: 'Backspace', metaKey: true}", field), Json(nullptr));
    EXPECT_EQ(plan("{key: 'Backspace', metaKey: true}", row),
              Json::parse(R"({"send": {"key": "Delete"}, "to": "target"})"));
    EXPECT_EQ(plan("{key: 'r', code: 'KeyR', metaKey: true}", field),
              Json::parse(R"({"send": {"key": "F5"}, "to": "page"})"));
    EXPECT_EQ(plan("{key: 'ArrowLeft', altKey: true}", field), Json::parse(R"({"hide": true})"));
    EXPECT_EQ(plan("{key: '[', metaKey: true}", body),
              Json::parse(R"({"send": {"key": "ArrowLeft", "altKey": true}, "to": "page"})"));
    EXPECT_EQ(plan("{key: 'Enter'}", row),
              Json::parse(R"({"send": {"key": "F2"}, "to": "target"})"));
    EXPECT_EQ(plan("{key: 'o', metaKey: true}", card), Json::parse(R"({"click": true})"));
    EXPECT_EQ(plan("{key: 'ArrowDown', metaKey: true}", row),
              Json::parse(R"({"send": {"key": "Enter"}, "to": "target"})"));
    EXPECT_EQ(plan("{key: 'Enter', metaKey: true}",
                   "{editable: true, tag: 'TEXTAREA', focusKey: '', renameable: false}"),
              Json::parse(R"({"send": {"key": "Enter", "ctrlKey": true}, "to": "target"})"));
    // Command+K while a Korean layout delivers a jamo for the key.
    EXPECT_EQ(plan("{key: 'ㅏ', code: 'KeyK', metaKey: true}", field),
              Json::parse(R"({"send": {"key": "k", "ctrlKey": true}, "to": "page"})"));
    EXPECT_EQ(plan("{key: 'k', code: 'KeyK', metaKey: true}", field), Json(nullptr));
    // Keys of an input composition are never touched.
    EXPECT_EQ(plan("{key: 'Backspace', metaKey: true, isComposing: true}", row), Json(nullptr));
    EXPECT_EQ(plan("{key: 'Enter', keyCode: 229}", row), Json(nullptr));
}

TEST(OverlayScript, TheLinuxOverlayRewritesNothing) {
    Engine engine;
    engine.eval(MacOverlay::linuxScript());
    EXPECT_EQ(engine.json("__prlMac.replaceText('이 PC 의 Delete')"), "이 PC 의 Delete");
    EXPECT_EQ(engine.json("__prlMac.plan({key: 'Backspace', metaKey: true}, {})"), Json(nullptr));
    EXPECT_EQ(engine.json("__prlMac.phrases"), Json::array());
}

TEST(PageScripts, TalkToThePageFunctionsWhenPresent) {
    Engine engine;
    engine.eval(
        "var state = {ready: true}; var left = null; var appTheme = 'light'; var themeRevision = 0;"
        "var rendered = 0; function leaveApp(m) { left = m; }"
        "function applyAppTheme() { rendered++; } function dirty() { return 1; }");
    EXPECT_EQ(engine.json(MacOverlay::leaveScript(MacOverlay::sessionEndedMessage)), true);
    EXPECT_EQ(engine.json("left"), MacOverlay::sessionEndedMessage);
    EXPECT_EQ(engine.json(MacOverlay::dirtyScript()), true);
    EXPECT_EQ(engine.json(MacOverlay::themeScript(ThemeMode::dark)), true);
    EXPECT_EQ(engine.json(MacOverlay::themeScript(ThemeMode::dark)), false);
    EXPECT_EQ(engine.json("[appTheme, themeRevision, rendered]"), Json::array({"dark", 1, 1}));
    // A page on its sign-in screen does not leave, and re-checks the sign-in instead.
    engine.eval(
        "state.ready = false; var shown = null; var result = null;"
        "function showAuth(k, t) { shown = k; } function authResult(r) { result = r; }"
        "var authBridge = {login: function () { return Promise.resolve({ok: true}); }};");
    EXPECT_EQ(engine.json(MacOverlay::leaveScript("x")), false);
    EXPECT_EQ(engine.json(MacOverlay::dirtyScript()), false);
    EXPECT_EQ(engine.json(MacOverlay::reenterScript()), true);
    EXPECT_EQ(engine.json("[shown, result]"), Json::parse(R"(["checking", {"ok": true}])"));
}

TEST(PageScripts, WithoutThePageFunctionsNothingHappens) {
    Engine engine;
    EXPECT_EQ(engine.json(MacOverlay::leaveScript("x")), false);
    EXPECT_EQ(engine.json(MacOverlay::reenterScript()), false);
    EXPECT_EQ(engine.json(MacOverlay::dirtyScript()), false);
    EXPECT_EQ(engine.json(MacOverlay::themeScript(ThemeMode::light)), false);
}

TEST(BridgeShimScript, PostsCallsAndSettlesThemByID) {
    Engine engine;
    engine.eval(
        "var posted = []; window.webkit = {messageHandlers: {bridge: {postMessage: "
        "function (m) { posted.push(m); }}}};");
    engine.eval(BridgeShim::script("nonce-1"));
    engine.eval(
        "var got = []; var api = window.pywebview.api;"
        "api.load_tree().then(function (r) { got.push(['a', r]); });"
        "api.search_words('cat', {deep: [1]}).then(function (r) { got.push(['b', r]); });");
    // Every call carries the mark of this document.
    const std::string load = engine.json("posted[0].load").get<std::string>();
    EXPECT_EQ(load.size(), 32u);
    EXPECT_EQ(engine.json("posted"), Json::parse(R"([
        {"id": 1, "name": "load_tree", "args": [], "nonce": "nonce-1", "load": ")" +
                                                 load + R"("},
        {"id": 2, "name": "search_words", "args": ["cat", {"deep": [1]}], "nonce": "nonce-1",
         "load": ")" + load + R"("}])"));
    const auto resolve = [&](const std::string& id, const std::string& reply,
                             const std::string& mark) {
        return engine.json("window.__prlResolve(" + id + ", " + reply + ", '" + mark + "')");
    };
    // A reply meant for another document (an earlier load numbered its calls from 1 as well)
    // settles nothing.
    EXPECT_EQ(resolve("2", "'from before'", "0123456789abcdef0123456789abcdef"), false);
    EXPECT_EQ(resolve("2", "{ok: true, data: 'two'}", load), true);
    EXPECT_EQ(resolve("9", "1", load), false);
    EXPECT_EQ(resolve("1", "{ok: false, msg: 'REQUEST_FAILED'}", load), true);
    EXPECT_EQ(resolve("1", "'again'", load), false);
    EXPECT_EQ(engine.json("got"), Json::parse(R"([["b", {"ok": true, "data": "two"}],
                                                  ["a", {"ok": false, "msg": "REQUEST_FAILED"}]])"));
    // Another document has a mark of its own.
    Engine other;
    other.eval("window.webkit = {messageHandlers: {bridge: {postMessage: function () {}}}};");
    other.eval(BridgeShim::script("nonce-1"));
    other.eval("window.pywebview.api.load_tree();");
    EXPECT_EQ(other.json("window.__prlResolve(1, 'x', '" + load + "')"), false);
    // Awaiting the api object itself settles at once: it has no `then`.
    engine.eval(
        "var awaited = false; (async function () { await window.pywebview.api; "
        "await window.pywebview; awaited = true; })();");
    EXPECT_EQ(engine.json("awaited"), true);
    EXPECT_EQ(engine.json("[typeof api.then, typeof api[Symbol.iterator], posted.length]"),
              Json::parse(R"(["undefined", "undefined", 2])"));
    // The page cannot replace the resolver.
    engine.eval("try { window.__prlResolve = null; } catch (e) {}");
    EXPECT_EQ(engine.json("typeof window.__prlResolve"), "function");
}

}  // namespace
}  // namespace parlendo
