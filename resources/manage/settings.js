// Settings: how the word book is shown, the theme, the optional AI key and feedback.
(function (root) {
  'use strict';
  const P = root.Parlendo || (root.Parlendo = {});
  const {h, icon, replace} = P.dom;
  const call = P.bridge.call;

  const FEEDBACK_MAX = 2000;

  let host = null;
  let keyStatus = null;
  let keyInput = null;
  let feedbackText = null;
  let untrack = [];

  function section(id, title, description, ...content) {
    return h('section.settings-section', {id: 'settings-' + id, attrs: {'aria-labelledby': 'settings-h-' + id}},
             h('h3', {id: 'settings-h-' + id}, title),
             description ? h('p.muted', null, description) : null, ...content);
  }

  function radios(name, label, choices, value, onChange) {
    return h('div.segmented', {role: 'radiogroup', attrs: {'aria-label': label}},
             choices.map(([v, text]) => {
               const r = h('input', {type: 'radio', name: name, value: v, checked: v === value});
               r.addEventListener('change', () => onChange(v));
               return h('label.segment', null, r, h('span', null, text));
             }));
  }

  async function saveView(patch) {
    const result = await P.app.saveView(patch);
    if (!result.ok) {
      P.ui.failed(result);
      paint();
    }
  }

  // ---- view and theme ----

  function viewSection() {
    const v = P.app.view;
    const wordSort = h('select.select', {attrs: {'aria-label': '단어 정렬'}},
                       [['newest', '최근 저장한 순'], ['oldest', '먼저 저장한 순'], ['alpha', '알파벳 순']]
                         .map(([val, text]) => h('option', {value: val, selected: v.wordSort === val}, text)));
    wordSort.addEventListener('change', () => saveView({wordSort: wordSort.value}));
    const sourceSort = h('select.select', {attrs: {'aria-label': '출처 정렬'}},
                         [['recent', '최근 본 순'], ['title', '제목 순']]
                           .map(([val, text]) => h('option', {value: val, selected: v.sourceSort === val}, text)));
    sourceSort.addEventListener('change', () => saveView({sourceSort: sourceSort.value}));
    return section('view', '보기', '단어장을 어떻게 보여 줄지 정해요. 이 설정은 계정에 저장돼 다른 컴퓨터에서도 같아요.',
                   h('div.setting-line', null, h('span.setting-label', null, '목록 간격'),
                     radios('density', '목록 간격', [['comfortable', '넉넉하게'], ['compact', '촘촘하게']],
                            v.density, (d) => saveView({density: d}))),
                   h('div.setting-line', null, h('span.setting-label', null, '단어 정렬'), wordSort),
                   h('div.setting-line', null, h('span.setting-label', null, '출처 정렬'), sourceSort),
                   h('div.setting-line', null, h('span.setting-label', null, '단어 목록'),
                     P.ui.toggle('한글 뜻 보이기', v.showKorean, (on) => saveView({showKorean: on})),
                     P.ui.toggle('발음기호 보이기', v.showPhonetic, (on) => saveView({showPhonetic: on}))));
  }

  function themeSection() {
    const mark = (mode) => {
      const input = group.querySelector('input[value="' + mode + '"]');
      if (input) input.checked = true;
    };
    const group = radios('theme', '테마', [['system', '시스템 설정 따르기'], ['light', '밝게'], ['dark', '어둡게']],
                         P.app.view.theme, async (mode) => {
                           const result = await P.app.setTheme(mode);
                           if (!(result.ok || mode === 'system')) mark(P.app.view.theme);
                         });
    // The top bar's button chooses too.
    untrack.push(P.app.onThemeChoice(mark));
    return section('theme', '테마', '밝게나 어둡게를 고르면 이 창과 팝업 카드, AI 답 창이 모두 그 모양이 돼요. ' +
                   '시스템 설정을 따르면 컴퓨터의 밝은·어두운 모드를 그대로 따라요.', group);
  }

  // ---- the optional AI key ----

  function keySection() {
    keyInput = h('input.text-input', {type: 'password', attrs: {'aria-label': 'AI API 키',
                                                               autocomplete: 'off', spellcheck: 'false'},
                                      placeholder: '키를 붙여 넣으세요'});
    const statusLine = h('div.key-status', {attrs: {'aria-live': 'polite'}});
    const removeButton = h('button.danger.subtle', {type: 'button', hidden: true}, icon('trash'), ' 키 지우기');
    const saveButton = h('button.primary', {type: 'submit'}, '저장');
    const formEl = h('form.key-form', null, keyInput, saveButton);
    formEl.addEventListener('submit', async (e) => {
      e.preventDefault();
      const value = keyInput.value;
      if (P.text.isBlank(value)) {
        P.ui.toast('저장할 키를 붙여 넣어 주세요.', {kind: 'error'});
        return;
      }
      saveButton.disabled = true;
      const result = await call('set_optional_credentials', ['customAI', value]);
      saveButton.disabled = false;
      if (!result.ok) {
        if (!result.stale && !P.bridge.needsSignIn(result)) P.ui.failed(result);
        loadKey(statusLine, removeButton);
        return;
      }
      keyInput.value = '';
      showKey(result.data, statusLine, removeButton);
      P.ui.toast('AI 키를 저장했어요.', {kind: 'success'});
    });
    removeButton.addEventListener('click', async () => {
      const sure = await P.ui.confirm({title: 'AI 키를 지울까요?',
                                       message: '이 컴퓨터의 키 보관함에서 지워요. 다시 저장하기 전에는 AI 초안을 만들 수 없어요.',
                                       confirmLabel: '지우기', danger: true});
      if (!sure) return;
      const result = await call('remove_optional_credentials', ['customAI']);
      if (!result.ok) {
        if (!result.stale && !P.bridge.needsSignIn(result)) P.ui.failed(result);
        loadKey(statusLine, removeButton);
        return;
      }
      showKey(result.data, statusLine, removeButton);
      P.ui.toast('AI 키를 지웠어요.', {kind: 'success'});
    });
    untrack.push(P.ui.trackDirty(() => keyInput && keyInput.value !== ''));
    loadKey(statusLine, removeButton);
    return section('aikey', 'AI API 키 (선택)',
                   'AI로 팝업 초안을 만들 때만 써요. 기존 팝업은 AI API 키 없이도 편집할 수 있어요. ' +
                   '키는 이 컴퓨터의 키 보관함에만 저장되고, 로그아웃하면 지워져요.',
                   statusLine, formEl, removeButton);
  }

  async function loadKey(line, removeButton) {
    replace(line, P.ui.spinner('키 상태를 확인하는 중…'));
    const result = await call('credential_status');
    if (!result.ok) {
      replace(line, h('p.error-text', null, P.errors.messageFor(result)));
      return;
    }
    showKey(result.data, line, removeButton);
  }

  function showKey(data, line, removeButton) {
    keyStatus = data && typeof data === 'object' && data.custom_ai && typeof data.custom_ai === 'object'
      ? data.custom_ai : {};
    const configured = keyStatus.configured === true;
    const problem = typeof keyStatus.error_code === 'string' ? keyStatus.error_code : '';
    replace(line,
            h('p.key-state' + (configured ? '.on' : ''), null,
              icon(configured ? 'check' : 'key'),
              configured ? ' 저장된 키가 있어요. AI 초안을 만들 수 있어요.' : ' 저장된 키가 없어요.'),
            problem ? h('p.error-text', null, P.errors.messageFor({ok: false, code: problem})) : null);
    removeButton.hidden = !configured;
  }

  // ---- feedback ----

  function feedbackSection() {
    feedbackText = h('textarea.text-area', {rows: 5, attrs: {'aria-label': '의견', maxlength: 4000},
                                            placeholder: '불편한 점이나 바라는 점을 적어 주세요.'});
    const counter = h('span.counter', null, '0 / 2,000');
    const note = h('p.field-hint', {attrs: {'aria-live': 'polite'}}, 'Ctrl+Enter로 보내기');
    const send = h('button.primary', {type: 'button'}, icon('message'), ' 보내기');
    const count = () => {
      const n = P.text.scalarCount(feedbackText.value);
      counter.textContent = P.text.number(n) + ' / 2,000';
      counter.classList.toggle('over', n > FEEDBACK_MAX);
    };
    feedbackText.addEventListener('input', count);
    const submit = async () => {
      const text = feedbackText.value;
      if (P.text.isBlank(text)) {
        note.textContent = '의견을 적어 주세요.';
        return;
      }
      if (P.text.scalarCount(text) > FEEDBACK_MAX) {
        note.textContent = P.errors.CODES.FEEDBACK_TEXT_INVALID;
        return;
      }
      send.disabled = true;
      note.textContent = '보내는 중…';
      const result = await call('send_feedback', [text]);
      send.disabled = false;
      if (result.ok) {
        feedbackText.value = '';
        count();
        note.textContent = '고마워요. 의견을 보냈어요.';
        P.ui.toast('의견을 보냈어요.', {kind: 'success'});
      } else {
        note.textContent = P.errors.messageFor(result);
      }
    };
    send.addEventListener('click', submit);
    feedbackText.addEventListener('keydown', (e) => {
      if (e.key === 'Enter' && (e.ctrlKey || e.metaKey)) {
        e.preventDefault();
        submit();
      }
    });
    untrack.push(P.ui.trackDirty(() => feedbackText && feedbackText.value.trim() !== ''));
    return section('feedback', '의견 보내기', '보낸 글은 개발자에게만 전해져요.',
                   feedbackText, h('div.form-foot', null, counter, note, send));
  }

  function keysSection() {
    const rows = [['Ctrl+F', '단어장 검색'], ['F5', '새로 고침'], ['F2', '폴더·출처 이름 바꾸기'],
                  ['Delete', '휴지통으로'], ['↑ ↓ ← →', '목록과 폴더 사이 움직이기'],
                  ['Alt+↑ / Alt+↓', '폴더 순서 바꾸기'], ['Esc', '창·메뉴 닫기']];
    return section('keys', '단축키', null,
                   h('dl.keys', null, rows.map(([k, v]) => [h('dt', null, h('kbd', null, k)), h('dd', null, v)])));
  }

  function paint(params) {
    if (!host) return;
    for (const f of untrack) f();
    untrack = [];
    const keep = feedbackText ? feedbackText.value : '';
    const keepKey = keyInput ? keyInput.value : '';
    replace(host, h('div.page.settings', null,
                    h('header.page-head', null, h('h2', null, '설정')),
                    viewSection(), themeSection(), keySection(), feedbackSection(), keysSection()));
    feedbackText.value = keep;
    keyInput.value = keepKey;
    feedbackText.dispatchEvent(new Event('input'));
    if (params && params.section) {
      const target = document.getElementById('settings-' + params.section);
      if (target) {
        target.scrollIntoView({block: 'start'});
        const focusable = target.querySelector('input, button, select, textarea');
        if (focusable) focusable.focus();
      }
    }
  }

  P.screens = P.screens || {};
  P.screens.settings = {
    mount(el, params) {
      host = el;
      feedbackText = null;
      paint(params);
    },
    show(params) {
      paint(params);
    },
    unmount() {
      for (const f of untrack) f();
      untrack = [];
      host = null;
      keyInput = null;
      feedbackText = null;
    },
    refresh() {
      paint();
    },
    reset() {
      keyStatus = null;
    },
  };
})(typeof window !== 'undefined' ? window : globalThis);
