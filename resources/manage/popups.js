// Popup cards: the user's list of cards (on/off, edit, new, delete) and drafting a custom card
// from a description with AI.
(function (root) {
  'use strict';
  const P = root.Parlendo || (root.Parlendo = {});
  const {h, icon, replace} = P.dom;
  const call = P.bridge.call;

  const WIDTH_LABELS = {narrow: '좁게', normal: '보통', wide: '넓게'};
  const NAME_MAX = 40;

  let host = null;
  let status = 'idle';
  let error = '';
  let items = [];
  let contentTypes = [];
  let optionSchema = [];
  let seq = 0;

  // ---- schema helpers (pure) ----

  function option(schema, id) {
    return (Array.isArray(schema) ? schema : []).find((o) => o && o.id === id) || null;
  }

  // The options a card uses: its own values where valid, else the schema's defaults.
  function effectiveOptions(schema, options) {
    const o = options && typeof options === 'object' ? options : {};
    const out = {};
    for (const id of ['duration', 'width', 'opacity']) {
      const s = option(schema, id);
      let value = o[id];
      if (s && Array.isArray(s.choices)) {
        if (!s.choices.includes(value)) value = s.default;
      } else if (typeof value !== 'number' || !isFinite(value)) {
        value = s ? s.default : null;
      } else if (s) {
        if (typeof s.min === 'number' && value < s.min) value = s.min;
        if (typeof s.max === 'number' && value > s.max) value = s.max;
      }
      out[id] = value;
    }
    return out;
  }

  function optionSummary(schema, options) {
    const o = effectiveOptions(schema, options);
    const parts = [];
    if (typeof o.duration === 'number') parts.push(formatSeconds(o.duration) + ' 동안');
    if (typeof o.width === 'string') parts.push('폭 ' + (WIDTH_LABELS[o.width] || o.width));
    if (typeof o.opacity === 'number') parts.push('불투명도 ' + Math.round(o.opacity) + '%');
    return parts.join(' · ');
  }

  function formatSeconds(n) {
    return (Number.isInteger(n) ? String(n) : n.toFixed(1)) + '초';
  }

  function contentLabel(types, id) {
    const t = (Array.isArray(types) ? types : []).find((c) => c && c.id === id);
    return t && typeof t.label === 'string' ? t.label : String(id);
  }

  function inputsOf(types, contents) {
    const kinds = new Set();
    for (const id of Array.isArray(contents) ? contents : []) {
      const t = (Array.isArray(types) ? types : []).find((c) => c && c.id === id);
      if (t) kinds.add(t.input === 'raw_text' ? 'sentence' : 'word');
    }
    return kinds;
  }

  // What the form would send, or a problem to show.
  function checkForm(form) {
    const name = P.text.strip(form.name);
    if (!name) return {problem: '팝업 이름을 입력해 주세요.'};
    if (P.text.charCount(name) > NAME_MAX) return {problem: '팝업 이름은 40자까지 쓸 수 있어요.'};
    if (!form.contents.length) return {problem: '보여 줄 내용을 하나 이상 골라 주세요.'};
    return {problem: null, name: name};
  }

  // ---- loading ----

  async function load() {
    seq += 1;
    const mine = seq;
    status = 'loading';
    paint();
    const [list, types, opts] = await Promise.all([
      call('list_assistants'), call('list_content_types'), call('list_options')]);
    if (mine !== seq) return;
    if (types.ok && Array.isArray(types.data)) contentTypes = types.data;
    if (opts.ok && Array.isArray(opts.data)) optionSchema = opts.data;
    if (!list.ok) {
      status = 'error';
      error = P.errors.messageFor(list);
    } else {
      status = 'ready';
      items = (Array.isArray(list.data) ? list.data : []).filter((a) => a && typeof a === 'object');
    }
    paint();
  }

  function idOf(a) {
    return typeof a.id === 'string' || typeof a.id === 'number' ? String(a.id) : '';
  }

  // ---- drawing ----

  function paint() {
    if (!host) return;
    const head = h('header.page-head', null,
                   h('div', null, h('h2', null, '팝업 카드'),
                     h('p.muted', null, '글을 선택하고 Alt+Ctrl을 같이 눌렀다 떼면 켜 둔 카드가 위에서부터 ' +
                       '다섯 개까지 떠요.')),
                   h('div.page-actions', null,
                     h('button', {type: 'button', onClick: () => draftDialog()}, icon('sparkle'), ' AI로 만들기'),
                     h('button.primary', {type: 'button', onClick: () => editor(null)}, icon('plus'),
                       ' 새 팝업')));
    let body;
    if (status === 'loading' && !items.length) body = P.ui.spinner('팝업 카드를 불러오는 중…');
    else if (status === 'error') body = P.ui.errorState(error, load);
    else if (!items.length) {
      body = P.ui.emptyState('cards', '팝업 카드가 없어요', '새 팝업을 만들거나 AI에게 원하는 카드를 설명해 보세요.');
    } else {
      body = h('div.card-grid', {role: 'list'}, items.map(card));
    }
    replace(host, h('div.page', null, head, body));
  }

  function card(a) {
    const id = idOf(a);
    const name = P.text.orPlaceholder(a.name, '(이름 없음)');
    const contents = Array.isArray(a.contents) ? a.contents : [];
    const kinds = inputsOf(contentTypes, contents);
    const sw = P.ui.toggle('', a.enabled !== false, (on, input) => toggle(a, on, input),
                           {ariaLabel: name + ' 켜기', className: 'card-switch'});
    return h('article.popup-card' + (a.enabled === false ? '.off' : ''), {role: 'listitem',
                                                                           dataset: {id: id}},
             h('header.popup-card-head', null, sw, h('h3', null, name),
               kinds.has('word') ? h('span.badge', null, '단어') : null,
               kinds.has('sentence') ? h('span.badge', null, '문장') : null),
             h('div.chips', null, contents.length
               ? contents.map((c) => h('span.chip', null, contentLabel(contentTypes, c)))
               : h('span.muted', null, '보여 줄 내용이 없어요')),
             h('p.popup-meta', null, optionSummary(optionSchema, a.options),
               ' · ', a.save === false ? '저장 안 함' : '단어장에 저장'),
             h('footer.popup-card-actions', null,
               h('button', {type: 'button', dataset: {act: 'edit'}, onClick: () => editor(a)},
                 icon('edit'), ' 편집'),
               h('button.danger.subtle', {type: 'button', dataset: {act: 'delete'},
                                          onClick: () => remove(a)}, icon('trash'), ' 지우기')));
  }

  function replaceItem(assistant) {
    if (!assistant || typeof assistant !== 'object') return;
    const at = items.findIndex((x) => idOf(x) === idOf(assistant));
    if (at >= 0) items[at] = assistant;
    else items.push(assistant);
  }

  function writeFailed(result) {
    if (result.stale || P.bridge.needsSignIn(result)) return;
    P.ui.failed(result);
    if (result.save && result.save.error_code === 'transport_or_response_unknown') load();
  }

  async function toggle(a, on, input) {
    input.disabled = true;
    const result = await call('toggle_assistant', [idOf(a), on]);
    input.disabled = false;
    if (!result.ok) {
      input.checked = !on;
      writeFailed(result);
      return;
    }
    replaceItem(result.data);
    paint();
  }

  async function remove(a) {
    const name = P.text.orPlaceholder(a.name, '(이름 없음)');
    const sure = await P.ui.confirm({title: '‘' + name + '’ 팝업을 지울까요?',
                                     message: '지운 팝업은 되살릴 수 없어요.',
                                     confirmLabel: '지우기', danger: true});
    if (!sure) return;
    const result = await call('delete_assistant', [idOf(a)]);
    if (!result.ok) {
      writeFailed(result);
      return;
    }
    items = items.filter((x) => idOf(x) !== idOf(a));
    paint();
    P.ui.toast('팝업을 지웠어요.', {kind: 'success'});
  }

  // ---- the editor ----

  // a: the card to edit, or null for a new one; preset: values to start a new one with.
  function editor(a, preset) {
    const start = a ? {name: typeof a.name === 'string' ? a.name : '',
                       contents: (Array.isArray(a.contents) ? a.contents : []).slice(),
                       options: effectiveOptions(optionSchema, a.options),
                       save: a.save !== false}
      : Object.assign({name: '', contents: ['korean'], options: effectiveOptions(optionSchema, {}),
                       save: true}, preset || {});
    start.contents = start.contents.filter((c) => contentTypes.some((t) => t.id === c));
    const form = JSON.parse(JSON.stringify(start));
    const initial = JSON.stringify(form);

    const nameInput = h('input.text-input', {type: 'text', value: form.name,
                                             attrs: {'aria-label': '팝업 이름', maxlength: 60}});
    const nameCount = h('span.counter');
    const countName = () => {
      const n = P.text.charCount(P.text.strip(nameInput.value));
      nameCount.textContent = n + ' / ' + NAME_MAX;
      nameCount.classList.toggle('over', n > NAME_MAX);
    };
    nameInput.addEventListener('input', () => {
      form.name = nameInput.value;
      countName();
    });
    countName();

    const contentsBox = h('div.contents-editor', {role: 'group', attrs: {'aria-label': '보여 줄 내용'}});
    const saveNote = h('p.field-hint.warn', {hidden: true});
    const paintContents = () => {
      const chosen = form.contents;
      const rest = contentTypes.filter((t) => !chosen.includes(t.id));
      const row = (t, on, at) => {
        const box = h('input', {type: 'checkbox', checked: on, attrs: {'aria-label': t.label}});
        box.addEventListener('change', () => {
          if (box.checked) form.contents.push(t.id);
          else form.contents = form.contents.filter((c) => c !== t.id);
          paintContents();
        });
        return h('div.content-row' + (on ? '.on' : ''), {dataset: {content: t.id}},
                 h('label', null, box, h('span', null, t.label),
                   h('span.badge', null, t.input === 'raw_text' ? '문장' : '단어')),
                 on ? h('span.order-buttons', null,
                        P.dom.iconButton('up', t.label + ' 위로', () => moveContent(at, -1),
                                         {disabled: at === 0}),
                        P.dom.iconButton('down', t.label + ' 아래로', () => moveContent(at, 1),
                                         {disabled: at === chosen.length - 1})) : null);
      };
      replace(contentsBox,
              chosen.map((id, at) => row(contentTypes.find((t) => t.id === id), true, at)),
              rest.map((t) => row(t, false, -1)));
      const word = inputsOf(contentTypes, form.contents).has('word');
      saveNote.hidden = !(word && !form.save);
      saveNote.textContent = '단어 내용을 보여 주지만 저장은 꺼져 있어요. 이 카드로 본 단어는 단어장에 남지 않아요.';
    };
    const moveContent = (at, delta) => {
      const to = at + delta;
      if (to < 0 || to >= form.contents.length) return;
      const [id] = form.contents.splice(at, 1);
      form.contents.splice(to, 0, id);
      paintContents();
      const again = contentsBox.querySelector('[data-content="' + CSS.escape(id) + '"] button:not([disabled])');
      if (again) again.focus();
    };
    paintContents();

    const durationSchema = option(optionSchema, 'duration') || {min: 1, max: 30};
    const duration = h('input.range', {type: 'range', min: durationSchema.min, max: durationSchema.max,
                                       step: 0.5, value: form.options.duration,
                                       attrs: {'aria-label': durationSchema.label || '팝업 지속시간(초)'}});
    const durationValue = h('output.range-value', null, formatSeconds(Number(form.options.duration)));
    duration.addEventListener('input', () => {
      form.options.duration = Number(duration.value);
      durationValue.textContent = formatSeconds(form.options.duration);
    });
    const opacitySchema = option(optionSchema, 'opacity') || {min: 40, max: 100};
    const opacity = h('input.range', {type: 'range', min: opacitySchema.min, max: opacitySchema.max,
                                      step: 1, value: form.options.opacity,
                                      attrs: {'aria-label': opacitySchema.label || '팝업 불투명도(%)'}});
    const opacityValue = h('output.range-value', null, form.options.opacity + '%');
    opacity.addEventListener('input', () => {
      form.options.opacity = Math.round(Number(opacity.value));
      opacityValue.textContent = form.options.opacity + '%';
    });
    const widthSchema = option(optionSchema, 'width') || {choices: ['narrow', 'normal', 'wide']};
    const widthGroup = h('div.segmented', {role: 'radiogroup',
                                           attrs: {'aria-label': widthSchema.label || '팝업 폭'}},
                         (widthSchema.choices || []).map((c) => {
                           const r = h('input', {type: 'radio', name: 'popup-width', value: c,
                                                 checked: form.options.width === c});
                           r.addEventListener('change', () => { form.options.width = c; });
                           return h('label.segment', null, r, h('span', null, WIDTH_LABELS[c] || c));
                         }));
    const saveBox = h('input', {type: 'checkbox', checked: form.save});
    saveBox.addEventListener('change', () => {
      form.save = saveBox.checked;
      paintContents();
    });

    const body = h('div.popup-editor', null,
                   h('label.field', null, h('span.field-label', null, '이름'), nameInput, nameCount),
                   h('div.field', null, h('span.field-label', null, '보여 줄 내용 (위에서부터 차례로)'),
                     contentsBox),
                   h('div.field-row', null,
                     h('label.field', null, h('span.field-label', null, durationSchema.label || '팝업 지속시간(초)'),
                       h('div.range-line', null, duration, durationValue)),
                     h('label.field', null, h('span.field-label', null, opacitySchema.label || '팝업 불투명도(%)'),
                       h('div.range-line', null, opacity, opacityValue))),
                   h('div.field', null, h('span.field-label', null, widthSchema.label || '팝업 폭'), widthGroup),
                   h('label.check-line', null, saveBox, h('span', null, '이 카드로 본 단어를 단어장에 저장')),
                   saveNote);

    P.ui.dialog({
      title: a ? '팝업 편집' : '새 팝업', wide: true, body: body,
      dirty: () => JSON.stringify(form) !== initial,
      actions: [
        {label: '취소'},
        {label: a ? '저장' : '만들기', primary: true, onClick: async (dlg) => {
          form.name = nameInput.value;
          const check = checkForm(form);
          if (check.problem) {
            dlg.setError(check.problem);
            return false;
          }
          const options = {duration: form.options.duration, width: form.options.width,
                           opacity: form.options.opacity};
          dlg.setBusy(true);
          const result = a
            ? await call('update_assistant', [idOf(a), check.name, form.save, form.contents, options])
            : await call('save_assistant', [check.name, form.contents, options, form.save]);
          dlg.setBusy(false);
          if (!result.ok) {
            if (result.stale || P.bridge.needsSignIn(result)) return true;
            dlg.setError(P.errors.messageFor(result, {
              SAVE_NOT_CONFIRMED: result.save && result.save.error_code === 'contract_or_permission_rejected'
                ? '팝업을 저장하지 못했어요. 이름(1~40자)과 내용을 확인해 주세요.' : undefined}));
            if (result.save && result.save.error_code === 'transport_or_response_unknown') load();
            return false;
          }
          const d = result.data || {};
          if (d.status === 'name_taken') {
            dlg.setError('같은 이름의 팝업이 이미 있어요. 다른 이름으로 해 주세요.');
            nameInput.focus();
            return false;
          }
          replaceItem(d.assistant);
          paint();
          P.ui.toast(a ? '팝업을 저장했어요.' : '팝업을 만들었어요.', {kind: 'success'});
          return true;
        }},
      ],
      initialFocus: nameInput,
    });
  }

  // ---- drafting with AI ----

  function draftDialog() {
    const text = h('textarea.text-area', {rows: 4, attrs: {
      'aria-label': '원하는 팝업 설명', maxlength: 4000,
      placeholder: '예) 한글 뜻이랑 예문만 넓게 보여 주고, 저장은 하지 마'}});
    const counter = h('span.counter', null, '0 / 2,000');
    text.addEventListener('input', () => {
      const n = P.text.charCount(P.text.strip(text.value));
      counter.textContent = P.text.number(n) + ' / 2,000';
      counter.classList.toggle('over', n > 2000);
    });
    const result = h('div.draft-result', {attrs: {'aria-live': 'polite'}});
    let used = false;
    const d = P.ui.dialog({
      title: 'AI로 팝업 만들기', wide: true,
      body: [h('p.muted', null, '원하는 카드를 한국어로 설명하면 AI가 설정 초안을 만들어요. ' +
               '설정에 저장한 AI API 키를 써요.'),
             h('label.field', null, h('span.field-label', null, '어떤 팝업을 원하세요?'), text, counter),
             h('p.field-hint', null, 'Ctrl+Enter로 보내기'), result],
      dirty: () => !used && text.value.trim() !== '',
      actions: [
        {label: '닫기'},
        {label: '초안 만들기', primary: true, onClick: async (dlg) => {
          const description = P.text.strip(text.value);
          if (!description) {
            dlg.setError('원하는 팝업을 설명해 주세요.');
            return false;
          }
          if (P.text.charCount(description) > 2000) {
            dlg.setError('설명은 2,000자까지 쓸 수 있어요.');
            return false;
          }
          dlg.setBusy(true);
          replace(result, P.ui.spinner('AI가 초안을 만드는 중… (최대 30초)'));
          const reply = await call('propose_custom', [description]);
          dlg.setBusy(false);
          showDraft(reply, result, d);
          return false;
        }},
      ],
      initialFocus: text,
    });
    d.markUsed = () => { used = true; };
  }

  function showDraft(reply, box, dlg) {
    if (!reply.ok) {
      if (reply.stale || P.bridge.needsSignIn(reply)) {
        replace(box);
        return;
      }
      replace(box, h('div.draft-problem', {role: 'alert'}, h('p', null, P.errors.messageFor(reply)),
                     reply.code === 'no_key'
                       ? h('button', {type: 'button', onClick: () => {
                         dlg.close();
                         P.app.go('settings', {section: 'aikey'});
                       }}, icon('key'), ' AI 키 설정으로') : null));
      return;
    }
    const p = reply.data && typeof reply.data === 'object' ? reply.data : {};
    if (p.status !== 'ok') {
      replace(box, h('div.draft-problem', {role: 'alert'},
                     h('p', null, typeof p.reason === 'string' && p.reason ? p.reason
                       : '보여 줄 콘텐츠를 고르지 못했어요. 다시 설명해 주세요.')));
      return;
    }
    const contents = Array.isArray(p.contents) ? p.contents.filter((c) => typeof c === 'string') : [];
    const options = p.options && typeof p.options === 'object' ? p.options : {};
    const warnings = Array.isArray(p.warnings) ? p.warnings.filter((w) => typeof w === 'string') : [];
    const save = p.proposed_save === true;
    replace(box, h('div.draft-preview', null,
                   h('h3', null, p.needs_name === true || !p.name ? '(이름을 정해 주세요)' : p.name),
                   h('div.chips', null, contents.map((c) => h('span.chip', null, contentLabel(contentTypes, c)))),
                   h('p.popup-meta', null, optionSummary(optionSchema, options), ' · ',
                     save ? '단어장에 저장' : '저장 안 함'),
                   p.needs_save_confirm === true
                     ? h('p.field-hint.warn', null, '단어 내용이지만 저장하지 않는 초안이에요. 맞는지 확인해 주세요.') : null,
                   warnings.length ? h('ul.warnings', null, warnings.map((w) => h('li', null, w))) : null,
                   h('button.primary', {type: 'button', onClick: () => {
                     if (dlg.markUsed) dlg.markUsed();
                     dlg.close();
                     editor(null, {name: typeof p.name === 'string' ? p.name : '', contents: contents,
                                   options: effectiveOptions(optionSchema, options), save: save});
                   }}, icon('edit'), ' 이 초안으로 만들기')));
  }

  P.screens = P.screens || {};
  P.screens.popups = {
    mount(el) {
      host = el;
      paint();
      load();
    },
    unmount() {
      host = null;
    },
    refresh() {
      load();
    },
    reset() {
      items = [];
      status = 'idle';
      seq += 1;
    },
  };
  P.popups = {effectiveOptions, optionSummary, checkForm, inputsOf, formatSeconds};
})(typeof window !== 'undefined' ? window : globalThis);
