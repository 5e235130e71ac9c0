#include "aitalk/AnswerPage.h"

#include "aitalk/AITalkText.h"
#include "aitalk/AnswerPalette.h"
#include "foundation/Base64.h"
#include "foundation/Json.h"
#include "foundation/SHA256.h"
#include "foundation/Text.h"

namespace parlendo::AnswerPage {

namespace {

const char* themeName(ThemeMode mode) {
    return mode == ThemeMode::dark ? "dark" : "light";
}

std::string paletteRule(ThemeMode mode) {
    std::string rule = std::string(":root[data-app-theme=\"") + themeName(mode) + "\"]{";
    bool firstDeclaration = true;
    for (const auto& [name, value] : AnswerPalette::of(mode).cssVariables()) {
        if (!firstDeclaration) {
            rule += ";";
        }
        firstDeclaration = false;
        rule += name + ":" + value;
    }
    return rule + ";color-scheme:" + themeName(mode) + "}";
}

std::string selectionRule(ThemeMode mode) {
    const std::uint32_t accent = AnswerPalette::of(mode).accent;
    return std::string(":root[data-app-theme=\"") + themeName(mode) +
           "\"] ::selection{background:rgba(" + std::to_string((accent >> 16) & 0xff) + "," +
           std::to_string((accent >> 8) & 0xff) + "," + std::to_string(accent & 0xff) + ",0.25)}";
}

// The script that draws the thread; it talks to the application only through the values its
// functions return.
constexpr const char* kPageScript = R"JS((function () {
  var drawn = [];
  var canRender = typeof renderMarkdown === 'function' && typeof mathMount === 'function';
  if (typeof mathReady === 'function') {
    try { mathReady(''); } catch (e) {}
  }
  var canFit = canRender && typeof mathFit === 'function';
  function thread() { return document.getElementById('thread'); }
  function div(cls) {
    var d = document.createElement('div');
    d.className = cls;
    return d;
  }
  function height() {
    return Math.ceil(document.body.getBoundingClientRect().height);
  }
  function fit() {
    if (!canFit) return 0;
    try {
      var list = [];
      for (var i = 0; i < drawn.length; i++) {
        var d = drawn[i];
        if (d && d.node && document.contains(d.node) && d.node.firstChild) list.push(d.node.firstChild);
      }
      var r = mathFit(list);
      return typeof r === 'number' ? r : 0;
    } catch (e) {
      return 0;
    }
  }
  if (canFit) {
    try { if (typeof mathAfter !== 'undefined') mathAfter = fit; } catch (e) {}
    try { if (typeof mathWatch === 'function') mathWatch(thread(), fit); } catch (e) {}
  }
  // An answer arrives already cut to what the page shows; `whole` is its length before the cut.
  function renderAnswer(text, whole) {
    var ai = div('ai');
    var body = div('body');
    ai.appendChild(body);
    var ok = false;
    if (canRender) {
      try {
        var maths = [];
        body.innerHTML = renderMarkdown(text, maths);
        mathMount(body, maths);
        ok = true;
      } catch (e) {
        ok = false;
      }
    }
    if (!ok) {
      body.className = 'body plain';
      body.textContent = text;
    }
    if (whole > text.length) {
      var note = div('cut');
      note.textContent = '답이 너무 길어 앞부분 ' + text.length.toLocaleString('ko-KR') +
        '자만 보여요 (전체 ' + whole.toLocaleString('ko-KR') + '자)';
      ai.appendChild(note);
    }
    return ai;
  }
  function show(m) {
    m = m || {};
    var t = thread();
    t.textContent = '';
    var thinking = typeof m.thinking === 'string' ? m.thinking : '';
    if (m.loading) {
      var k = div('thinking');
      k.textContent = thinking;
      t.appendChild(k);
    }
    var turns = Array.isArray(m.turns) ? m.turns : [];
    for (var i = 0; i < turns.length; i++) {
      var turn = turns[i] || {};
      var text = typeof turn.text === 'string' ? turn.text : '';
      if (turn.role === 'user') {
        var row = div('me-row');
        var me = div('me');
        me.textContent = text;
        row.appendChild(me);
        t.appendChild(row);
        drawn[i] = null;
      } else {
        var whole = typeof turn.length === 'number' ? turn.length : text.length;
        var d = drawn[i];
        var node;
        if (d && d.text === text && d.whole === whole) {
          node = d.node;
        } else {
          node = renderAnswer(text, whole);
          drawn[i] = { text: text, whole: whole, node: node };
        }
        if (i === 0) {
          t.appendChild(node);
        } else {
          var w = div('turn');
          w.appendChild(node);
          t.appendChild(w);
        }
      }
    }
    drawn.length = turns.length;
    if (m.pending) {
      var p = div('thinking turn');
      p.textContent = thinking;
      t.appendChild(p);
    }
    fit();
    window.scrollTo(0, document.body.scrollHeight);
    return height();
  }
  function solids() {
    var out = [];
    var nodes = document.querySelectorAll('.ai, .me, .tex-block, .tex-long');
    for (var i = 0; i < nodes.length; i++) {
      var r = nodes[i].getBoundingClientRect();
      if (r.width > 0 && r.height > 0) out.push([r.left, r.top, r.width, r.height]);
    }
    if (document.documentElement.scrollHeight > window.innerHeight + 1) {
      out.push([window.innerWidth - 16, 0, 16, window.innerHeight]);
    }
    return out;
  }
  function theme(m) {
    document.documentElement.setAttribute('data-app-theme', m === 'dark' ? 'dark' : 'light');
  }
  window.__answer = { show: show, height: height, solids: solids, theme: theme };
})();)JS";

std::string find(const std::string& text, const std::string& begin, const std::string& end,
                 bool keepBegin) {
    const size_t at = text.find(begin);
    if (at == std::string::npos) {
        return {};
    }
    const size_t from = at + begin.size();
    const size_t stop = text.find(end, from);
    if (stop == std::string::npos) {
        return {};
    }
    return keepBegin ? text.substr(at, stop - at) : text.substr(from, stop - from);
}

// What the page shows of an answer: all of it up to `shownLength`, else its beginning, cut at a
// line break near the limit when there is one and never inside a surrogate pair.
std::string_view shownPart(std::string_view answer) {
    const auto limit = static_cast<size_t>(shownLength);
    // Each unit takes at least one byte: a short answer is whole without being counted.
    if (answer.size() <= limit) {
        return answer;
    }
    const std::string_view head = text::utf16Prefix(answer, limit);
    if (head.size() == answer.size()) {
        return answer;
    }
    const size_t headUnits = text::utf16Count(head);
    // A line break right at the limit, or the last one before it within 2,000 units.
    if (headUnits == limit && answer[head.size()] == '\n') {
        return head;
    }
    const size_t lineBreak = head.rfind('\n');
    if (lineBreak != std::string_view::npos &&
        headUnits - text::utf16Count(head.substr(lineBreak)) + 2000 >= limit) {
        return head.substr(0, lineBreak);
    }
    return head;
}

}  // namespace

std::string fallbackStyle() {
    static const std::string style = [] {
        std::string s = paletteRule(ThemeMode::light) + "\n" + paletteRule(ThemeMode::dark);
        s += "\n*{box-sizing:border-box}";
        s += "\nhtml,body{margin:0;background:var(--card);color:var(--ink);font:14px/1.6 "
             "sans-serif}";
        s += "\n.turn{margin-top:12px}";
        s += "\n.me-row{display:flex;justify-content:flex-end;margin-top:12px}";
        s += "\n.me{max-width:80%;background:var(--accent);color:var(--accent-ink);border-radius:"
             "20px 1px 20px 20px;padding:10px 16px;white-space:pre-wrap;overflow-wrap:anywhere}";
        s += "\n#thread .ai{display:block;max-width:calc(100% - 26px);padding:10px;color:var(--"
             "ink)}";
        s += "\n.thinking{display:flex;align-items:center;gap:6px;padding:10px;color:var(--muted);"
             "font-size:12px;line-height:16px;letter-spacing:-.01em}";
        return s;
    }();
    return style;
}

std::string overrideStyle() {
    static const std::string style = [] {
        std::string s =
            "html,body{height:auto;overflow:visible;font-family:-apple-system,BlinkMacSystemFont,"
            "\"Apple SD Gothic Neo\",sans-serif;-webkit-text-size-adjust:100%}";
        s += "\nbody{padding:20px 22px 4px}";
        s += "\n#thread{min-height:1px}";
        s += "\n#thread>:first-child{margin-right:36px}";
        s += "\n.body code,.tex-raw{font-family:ui-monospace,Menlo,monospace}";
        s += "\n.plain{white-space:pre-wrap;overflow-wrap:anywhere}";
        s += "\n.cut{margin-top:.6em;color:var(--warn);font-size:12px}";
        s += "\n" + selectionRule(ThemeMode::light) + "\n" + selectionRule(ThemeMode::dark);
        s += "\n.tex menclose[notation]{border:0;padding:0}";
        return s;
    }();
    return style;
}

std::string pageScript() {
    return kPageScript;
}

std::string contentPolicy(const std::vector<std::string>& scripts) {
    std::string sources;
    for (const std::string& script : scripts) {
        sources += " 'sha256-" + Base64::encode(SHA256::digest(script)) + "'";
    }
    return "default-src 'none'; style-src 'unsafe-inline'; script-src" + sources +
           "; img-src 'none'; connect-src 'none'; font-src 'none'";
}

std::optional<std::string> rendererBlock(const std::string& windowsHTML) {
    std::string block = find(windowsHTML, "// ── MD_BEGIN", "// ── MD_END ──", true);
    if (block.empty() || block.find("function renderMarkdown(") == std::string::npos ||
        block.find("function mathMount(") == std::string::npos ||
        block.find("function mathReady(") == std::string::npos ||
        block.find("</script") != std::string::npos) {
        return std::nullopt;
    }
    // The page's parser reads every line break as "\n"; the policy's hash must see the same.
    for (size_t at = block.find('\r'); at != std::string::npos; at = block.find('\r', at)) {
        if (at + 1 < block.size() && block[at + 1] == '\n') {
            block.erase(at, 1);
        } else {
            block[at] = '\n';
        }
    }
    return block;
}

std::optional<std::string> styleBlock(const std::string& windowsHTML) {
    const size_t at = windowsHTML.find("<style>");
    if (at == std::string::npos) {
        return std::nullopt;
    }
    const size_t from = at + 7;
    const size_t stop = windowsHTML.find("</style>", from);
    if (stop == std::string::npos) {
        return std::nullopt;
    }
    std::string block = windowsHTML.substr(from, stop - from);
    if (block.find("#thread .ai") == std::string::npos) {
        return std::nullopt;
    }
    return block;
}

Built build(const std::optional<std::string>& windowsHTML, ThemeMode theme) {
    std::optional<std::string> renderer;
    std::optional<std::string> style;
    if (windowsHTML) {
        renderer = rendererBlock(*windowsHTML);
        style = styleBlock(*windowsHTML);
    }
    // The text of each script element, exactly as the policy hashes it.
    const std::string rendererScript = "\n'use strict';\n" + renderer.value_or("") + "\n";
    const std::string ownScript = "\n'use strict';\n" + pageScript() + "\n";
    std::string html = std::string("<!doctype html>\n<html lang=\"ko\" data-app-theme=\"") +
                       themeName(theme) + "\">\n<head>\n<meta charset=\"utf-8\">\n";
    html += "<meta http-equiv=\"Content-Security-Policy\" content=\"" +
            contentPolicy({rendererScript, ownScript}) + "\">\n<style>\n";
    html += style ? *style : fallbackStyle();
    html += "\n</style>\n<style>\n";
    html += overrideStyle();
    html += "\n</style>\n</head>\n<body>\n<div id=\"thread\"></div>\n<script>";
    html += rendererScript;
    html += "</script>\n<script>";
    html += ownScript;
    html += "</script>\n</body>\n</html>";
    return {std::move(html), renderer.has_value()};
}

std::string payload(const AnswerState& state) {
    Json turns = Json::array();
    for (const auto& turn : state.turns) {
        Json item{{"role", toString(turn.role)}};
        if (turn.role == AnswerState::Turn::Role::assistant) {
            const std::string_view shown = shownPart(turn.text);
            item["text"] = std::string(shown);
            if (shown.size() < turn.text.size()) {
                item["length"] = text::utf16Count(turn.text);
            }
        } else {
            item["text"] = turn.text;
        }
        turns.push_back(std::move(item));
    }
    const Json object{{"loading", state.phase == AnswerState::Phase::loading},
                      {"pending", state.pending && state.phase == AnswerState::Phase::answered},
                      {"thinking", AITalkText::thinking},
                      {"turns", std::move(turns)}};
    const std::string dumped = json::dumpLossy(object);
    // JavaScript source may not hold U+2028 and U+2029 as they are (E2 80 A8 and E2 80 A9).
    std::string out;
    out.reserve(dumped.size());
    for (size_t at = 0; at < dumped.size(); ++at) {
        if (dumped[at] == '\xE2' && at + 2 < dumped.size() && dumped[at + 1] == '\x80' &&
            (dumped[at + 2] == '\xA8' || dumped[at + 2] == '\xA9')) {
            out += dumped[at + 2] == '\xA8' ? "\\u2028" : "\\u2029";
            at += 2;
        } else {
            out += dumped[at];
        }
    }
    return out;
}

std::string themeScript(ThemeMode mode) {
    return std::string("__answer.theme('") + themeName(mode) + "')";
}

}  // namespace parlendo::AnswerPage
