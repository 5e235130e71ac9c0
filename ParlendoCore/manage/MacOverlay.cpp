#include "manage/MacOverlay.h"

#include "foundation/Json.h"

namespace parlendo::MacOverlay {

const std::array<KeyRow, 8> keys = {{
    {"⌘⌫", "Delete", "휴지통으로 (입력칸 밖에서). fn+⌫ 는 원래 Delete 다"},
    {"Return", "F2", "이름 변경 (이름을 바꿀 수 있는 항목에 초점이 있을 때)"},
    {"⌘↓ · ⌘O", "Enter", "열기 (Return 이 이름 변경이 된 항목에서)"},
    {"⌘R", "F5", "새로 고침"},
    {"⌘[ · ⌘]", "Alt+← · Alt+→", "뒤로 · 앞으로 (입력칸 밖에서)"},
    {"⌥← · ⌥→", "(화면에 넘기지 않는다)",
     "입력칸의 낱말 이동 — 화면이 뒤로/앞으로로 가로채지 못하게 한다"},
    {"⌘Return", "Ctrl+Enter", "여러 줄 입력칸에서 기본 버튼 (팝업 편집 · 피드백 보내기)"},
    {"⌘K", "Ctrl+K",
     "검색 창. 화면이 ⌘K 를 직접 듣는다 — 한글 입력 상태에서 글자가 자모로 올 때만 화면이 "
     "듣는 글자로 바꿔 넘긴다"},
}};

const std::array<PhraseRow, 24> phrases = {{
    {"앱 삭제 시 기기의 데이터도 삭제하는 것이 기본값입니다(무인 삭제 포함). 서버 데이터가 "
     "삭제되거나 서버 세션이 해제되는 것은 아닙니다.",
     "앱을 휴지통에 버려도 이 Mac 의 키체인에 저장된 로그인 정보와 로그는 남습니다. 먼저 "
     "로그아웃하면 로그인 정보가 지워집니다. 앱을 지워도 서버 데이터가 삭제되거나 서버 세션이 "
     "해제되지는 않습니다."},
    {"앱 삭제 시 기기 데이터 처리", "앱을 지울 때 이 Mac 에 남는 것"},
    {"이 PC", "이 Mac"},
    {"기존 팝업은 AI API 키 없이도 편집할 수 있습니다. 저장한 키를 삭제해도 실행 환경의 환경 "
     "변수에 설정된 키는 남을 수 있습니다.",
     "기존 팝업은 AI API 키 없이도 편집할 수 있습니다. 키는 이 Mac 의 키체인에만 저장되고, "
     "로그아웃하면 지워집니다."},
    {"환경 변수에 설정된 키는 계속 사용될 수 있습니다.",
     "이 Mac 의 키체인에서 지웁니다. 다시 저장하기 전에는 AI 초안을 만들 수 없습니다."},
    {"문서에서 오른쪽 클릭 · F2 이름 변경 · Delete 휴지통으로 이동",
     "문서에서 오른쪽 클릭 · Return 이름 변경 · ⌘⌫ 휴지통으로 이동"},
    {" — Enter 열기 · F2 이름 바꾸기 · Delete 휴지통으로",
     " — ⌘↓ 열기 · Return 이름 바꾸기 · ⌘⌫ 휴지통으로"},
    {" — Enter 열기 · Delete 지우기", " — Return 열기 · ⌘⌫ 지우기"},
    {" 켜기 — Delete 로 지우기", " 켜기 — ⌘⌫ 로 지우기"},
    {"이름 변경 · F2", "이름 변경 · Return"},
    {"휴지통으로 이동 · Delete", "휴지통으로 이동 · ⌘⌫"},
    {"지우기 · Delete", "지우기 · ⌘⌫"},
    {"F5 로 새로고침하세요", "⌘R 로 새로고침하세요"},
    {"글을 드래그하고 왼쪽 Ctrl 과 왼쪽 Alt 를 같이 눌렀다 떼면 단어 팝업",
     "글을 선택하고 ⌥ 와 ⌘ 를 같이 눌렀다 떼면 단어 팝업"},
    {"글을 드래그하고 Ctrl+C 를 두 번 누르면 AI 팝업",
     "글을 선택하고 ⌘ 를 누른 채 C 를 두 번 누르면 AI 팝업"},
    {"Enter = 줄바꿈 · Ctrl+Enter = ", "Return = 줄바꿈 · ⌘Return = "},
    {"감지와 팝업의 저장 설정을 켠 뒤 단어를 선택하고 왼쪽 Ctrl과 Alt를 눌렀다 떼세요.",
     "감지와 팝업의 저장 설정을 켠 뒤 단어를 선택하고 ⌥ 와 ⌘ 를 같이 눌렀다 떼세요."},
    {"어디서든 단어를 드래그한 뒤 ", "어디서든 단어를 선택한 뒤 "},
    {"왼쪽 Ctrl", "⌥"},
    {"왼쪽 Alt", "⌘"},
    {"Ctrl K", "⌘K"},
    {"Ctrl+Enter 로 보내기", "⌘Return 으로 보내기"},
    {"PC에서 찾을 수 없음", "이 Mac에서 찾을 수 없음"},
    {"두 번 클릭해 열기 · Delete 삭제", "두 번 클릭해 열기 · ⌘⌫ 삭제"},
}};

const char* const renameSelector =
    "[data-focus^=\"name:folder:\"],[data-focus^=\"name:source:\"],button.card-open,"
    "button.document-open[data-focus^=\"open:source:\"]";

namespace {

// The overlay: one strict-mode function expression called at once. The two placeholders are
// replaced by the phrase table and the rename selector.
constexpr const char* overlayTemplate = R"JS((function () {
'use strict';
var root = typeof window !== 'undefined' ? window : globalThis;
var PHRASES = /*PHRASES*/[];
var RENAME = (/*RENAME*/[""])[0];
var HINT = /PC|F2|F5|Delete|Ctrl|Alt|드래그|환경 변수|앱 삭제/;
function replaceText(s) {
  if (typeof s !== 'string' || !HINT.test(s)) return s;
  for (var i = 0; i < PHRASES.length; i++) {
    var before = PHRASES[i][0];
    if (s.indexOf(before) !== -1) s = s.split(before).join(PHRASES[i][1]);
  }
  return s;
}
function plan(e, t) {
  if (e.isComposing || e.keyCode === 229) return null;
  var meta = !!e.metaKey, alt = !!e.altKey, ctrl = !!e.ctrlKey, shift = !!e.shiftKey;
  var plain = !meta && !alt && !ctrl && !shift;
  var onlyMeta = meta && !alt && !ctrl && !shift;
  var arrowLR = e.key === 'ArrowLeft' || e.key === 'ArrowRight';
  if (alt && !meta && arrowLR) return {hide: true};
  var leftBracket = e.key === '[' || e.code === 'BracketLeft';
  var rightBracket = e.key === ']' || e.code === 'BracketRight';
  if (onlyMeta && (leftBracket || rightBracket)) {
    if (t.editable) return null;
    return {send: {key: leftBracket ? 'ArrowLeft' : 'ArrowRight', altKey: true}, to: 'page'};
  }
  if (onlyMeta && (e.key === 'r' || e.key === 'R' || e.code === 'KeyR')) {
    return {send: {key: 'F5'}, to: 'page'};
  }
  if (onlyMeta && e.key === 'Backspace') {
    if (t.editable) return null;
    return {send: {key: 'Delete'}, to: 'target'};
  }
  if (plain && e.key === 'Enter' && t.renameable) return {send: {key: 'F2'}, to: 'target'};
  if (onlyMeta && t.renameable &&
      (e.key === 'ArrowDown' || e.key === 'o' || e.key === 'O' || e.code === 'KeyO')) {
    if (String(t.focusKey || '').indexOf('open:') === 0) return {click: true};
    return {send: {key: 'Enter'}, to: 'target'};
  }
  if (onlyMeta && e.key === 'Enter' && t.tag === 'TEXTAREA') {
    return {send: {key: 'Enter', ctrlKey: true}, to: 'target'};
  }
  if (onlyMeta && e.code === 'KeyK' && e.key !== 'k' && e.key !== 'K') {
    return {send: {key: 'k', ctrlKey: true}, to: 'page'};
  }
  return null;
}
root.__prlMac = {replaceText: replaceText, plan: plan, phrases: PHRASES};
if (typeof document === 'undefined') return;

var passing = false;
function describe(node) {
  var el = node && node.nodeType === 1 ? node : null;
  var editable = !!(el && el.closest('input,textarea,select,[contenteditable="true"]'));
  var renameable = !!(el && !editable && el.matches(RENAME) && !el.closest('[role="dialog"]'));
  return {
    editable: editable,
    tag: el ? el.tagName : '',
    focusKey: el ? (el.getAttribute('data-focus') || '') : '',
    renameable: renameable
  };
}
window.addEventListener('keydown', function (event) {
  if (passing) return;
  var step = plan(event, describe(event.target));
  if (!step) return;
  event.stopImmediatePropagation();
  if (step.hide) return;
  event.preventDefault();
  if (step.click) {
    if (event.target && typeof event.target.click === 'function') event.target.click();
    return;
  }
  var to = step.to === 'page' ? (document.body || document) : event.target;
  passing = true;
  try {
    to.dispatchEvent(new KeyboardEvent('keydown', {
      key: step.send.key, altKey: !!step.send.altKey, ctrlKey: !!step.send.ctrlKey,
      bubbles: true, cancelable: true
    }));
  } finally {
    passing = false;
  }
}, true);

var ATTRS = ['title', 'aria-label', 'placeholder'];
function fix(node) {
  if (!node) return;
  if (node.nodeType === 3) {
    var text = node.nodeValue, fixed = replaceText(text);
    if (fixed !== text) node.nodeValue = fixed;
    return;
  }
  if (node.nodeType !== 1) return;
  for (var i = 0; i < ATTRS.length; i++) {
    var value = node.getAttribute(ATTRS[i]);
    if (!value) continue;
    var replaced = replaceText(value);
    if (replaced !== value) node.setAttribute(ATTRS[i], replaced);
  }
}
function sweep(node) {
  fix(node);
  if (node.nodeType !== 1 && node.nodeType !== 9) return;
  var walker = document.createTreeWalker(node, NodeFilter.SHOW_ELEMENT | NodeFilter.SHOW_TEXT);
  for (var n = walker.nextNode(); n; n = walker.nextNode()) {
    if (n.nodeType === 3 && n.parentNode &&
        (n.parentNode.nodeName === 'SCRIPT' || n.parentNode.nodeName === 'STYLE')) continue;
    fix(n);
  }
}
new MutationObserver(function (records) {
  for (var i = 0; i < records.length; i++) {
    var record = records[i];
    if (record.type === 'childList') {
      for (var j = 0; j < record.addedNodes.length; j++) sweep(record.addedNodes[j]);
    } else {
      fix(record.target);
    }
  }
}).observe(document, {
  subtree: true, childList: true, characterData: true, attributes: true, attributeFilter: ATTRS
});
})();)JS";

constexpr const char* linuxOverlay =
    "(function(){'use strict';var root=typeof window!=='undefined'?window:globalThis;"
    "root.__prlMac={replaceText:function(s){return s;},plan:function(){return null;},"
    "phrases:[]};})();";

// The theme seed; "/*MODE*/'light'" is replaced by the mode.
constexpr const char* seedTemplate = R"JS((function () {
'use strict';
var mode = /*MODE*/'light';
var settled = false;
function apply() {
  var el = document.documentElement;
  if (el && el.getAttribute('data-app-theme') !== mode) el.setAttribute('data-app-theme', mode);
}
function adopted() {
  try { return appTheme === mode; } catch (_) { return false; }
}
window.__prlTheme = function (next) {
  mode = next === 'dark' ? 'dark' : 'light';
  if (!settled) apply();
};
if (typeof document === 'undefined' || typeof MutationObserver !== 'function') return;
function watch(el) {
  apply();
  var watcher = new MutationObserver(function () {
    if (settled) return;
    if (adopted()) {
      settled = true;
      watcher.disconnect();
      return;
    }
    apply();
  });
  watcher.observe(el, {attributes: true, attributeFilter: ['data-app-theme']});
}
if (document.documentElement) {
  watch(document.documentElement);
} else {
  var early = new MutationObserver(function () {
    if (!document.documentElement) return;
    early.disconnect();
    watch(document.documentElement);
  });
  early.observe(document, {childList: true});
}
})();)JS";

void replaceAll(std::string& text, const std::string& placeholder, const std::string& value) {
    for (size_t at = text.find(placeholder); at != std::string::npos;
         at = text.find(placeholder, at + value.size())) {
        text.replace(at, placeholder.size(), value);
    }
}

}  // namespace

std::string script() {
    Json table = Json::array();
    for (const auto& row : phrases) {
        table.push_back(Json::array({row.before, row.after}));
    }
    const std::string phrasesJSON = json::dump(table).value_or("[]");
    const std::string renameJSON = json::dump(Json::array({renameSelector})).value_or("[\"\"]");
    std::string out = overlayTemplate;
    replaceAll(out, "/*PHRASES*/[]", phrasesJSON);
    replaceAll(out, "/*RENAME*/[\"\"]", renameJSON);
    return out;
}

std::string linuxScript() {
    return linuxOverlay;
}

std::string themeSeed(ThemeMode mode) {
    std::string out = seedTemplate;
    replaceAll(out, "/*MODE*/'light'", std::string("'") + toString(mode) + "'");
    return out;
}

std::string themeScript(ThemeMode mode) {
    return std::string(
               "(function(m){if(typeof window.__prlTheme==='function')window.__prlTheme(m);"
               "try{if(typeof applyAppTheme==='function'&&appTheme!==m){appTheme=m;"
               "themeRevision++;applyAppTheme();return true;}}catch(_){}") +
           "return false;})('" + toString(mode) + "')";
}

std::string leaveScript(const std::string& message) {
    return "if(typeof state==='object'&&state&&state.ready&&typeof leaveApp==='function'){"
           "leaveApp(" +
           literal(message) + ");true;}else{false;}";
}

std::string reenterScript() {
    return "if(typeof state==='object'&&state&&!state.ready&&typeof authResult==='function'&&"
           "typeof showAuth==='function'){showAuth('checking','로그인 확인 중…');"
           "authBridge.login().then(authResult,function(){authResult({ok:false});});true;}"
           "else{false;}";
}

std::string dirtyScript() {
    return "(typeof dirty==='function'&&typeof state==='object'&&state&&state.ready)?!!dirty():"
           "false";
}

std::optional<Push> push(bool wasLoggedIn, bool isLoggedIn, bool screenAuthCallInFlight) {
    if (wasLoggedIn == isLoggedIn || screenAuthCallInFlight) {
        return std::nullopt;
    }
    if (!isLoggedIn) {
        return Push{"leave", leaveScript(sessionEndedMessage)};
    }
    return Push{"reenter", reenterScript()};
}

std::string literal(const std::string& text) {
    const std::optional<std::string> array = json::dump(Json::array({text}));
    if (!array || array->size() < 2) {
        return "\"\"";
    }
    return array->substr(1, array->size() - 2);
}

}  // namespace parlendo::MacOverlay
