// The search box of the top bar: folders, sources and words of the whole word book.
(function (root) {
  'use strict';
  const P = root.Parlendo || (root.Parlendo = {});
  const {h, icon, replace} = P.dom;

  let box = null;
  let input = null;
  let panel = null;
  let timer = 0;
  let seq = 0;
  let options = [];
  let active = -1;
  let lastQuery = '';

  const KIND_LABEL = {folder: '폴더', source: '출처', word: '단어'};

  function element() {
    if (box) return box;
    input = h('input.search-input', {
      type: 'search', placeholder: '단어장 검색 (Ctrl+F)',
      role: 'combobox',
      attrs: {'aria-label': '단어장 검색', 'aria-expanded': 'false', 'aria-controls': 'search-results',
              'aria-autocomplete': 'list', spellcheck: 'false', autocomplete: 'off'},
    });
    panel = h('div.search-results', {id: 'search-results', role: 'listbox', hidden: true,
                                     attrs: {'aria-label': '검색 결과'}});
    box = h('div.search', null, icon('search', 'search-icon'), input, panel);
    input.addEventListener('input', () => schedule());
    input.addEventListener('keydown', onKey);
    input.addEventListener('focus', () => {
      if (options.length || lastQuery) open();
    });
    input.addEventListener('blur', () => setTimeout(() => {
      if (!box.contains(document.activeElement)) close();
    }, 150));
    return box;
  }

  function focus() {
    element();
    input.focus();
    input.select();
  }

  function reset() {
    if (!input) return;
    input.value = '';
    lastQuery = '';
    options = [];
    close();
  }

  function open() {
    panel.hidden = false;
    input.setAttribute('aria-expanded', 'true');
  }

  function close() {
    if (!panel) return;
    panel.hidden = true;
    input.setAttribute('aria-expanded', 'false');
    input.removeAttribute('aria-activedescendant');
  }

  function schedule() {
    clearTimeout(timer);
    timer = setTimeout(run, 250);
  }

  async function run() {
    const query = input.value;
    const needle = P.highlight.needle(query);
    lastQuery = query;
    seq += 1;
    const mine = seq;
    if (!needle) {
      options = [];
      close();
      return;
    }
    replace(panel, P.ui.spinner('찾는 중…'));
    open();
    const result = await P.bridge.call('search_words', [query]);
    if (mine !== seq) return;  // a newer search is under way
    if (!result.ok) {
      replace(panel, h('p.search-note.error', {role: 'alert'}, P.errors.messageFor(result)));
      options = [];
      return;
    }
    show(result.data, query);
  }

  function show(data, query) {
    const rows = data && Array.isArray(data.rows) ? data.rows : [];
    options = [];
    active = -1;
    const groups = {folder: [], source: [], word: []};
    for (const row of rows) {
      if (row && groups[row.kind]) groups[row.kind].push(row);
    }
    const parts = [];
    for (const kind of ['folder', 'source', 'word']) {
      if (!groups[kind].length) continue;
      parts.push(h('div.search-group', {role: 'presentation'}, KIND_LABEL[kind] + ' ' +
                   groups[kind].length));
      for (const row of groups[kind]) parts.push(optionFor(kind, row, query));
    }
    if (!options.length) {
      parts.push(h('p.search-note', null, '‘' + P.highlight.needle(query) + '’ 에 맞는 항목이 없어요.'));
    } else if (data.capped === true) {
      parts.push(h('p.search-note', null,
                   '결과가 많아 일부만 보여요. 더 길게 써서 좁혀 보세요.'));
    }
    replace(panel, parts);
    open();
  }

  function optionFor(kind, row, query) {
    const id = 'search-opt-' + options.length;
    let main;
    let sub = null;
    let iconName;
    if (kind === 'folder') {
      iconName = 'folder';
      main = P.highlight.render(P.text.orPlaceholder(row.name, P.tree.NO_NAME), query);
    } else if (kind === 'source') {
      iconName = 'link';
      main = P.highlight.render(P.text.orPlaceholder(row.title, P.tree.NO_TITLE), query);
    } else {
      iconName = 'book';
      main = [h('strong', null, P.highlight.render(String(row.lemma || ''), query)),
              typeof row.korean === 'string' && row.korean
                ? h('span.search-korean', null, ' ', P.highlight.render(row.korean, query)) : null];
      sub = typeof row.source_title === 'string' ? row.source_title : '';
    }
    const el = h('div.search-option', {id: id, role: 'option', attrs: {'aria-selected': 'false'},
                                       dataset: {kind: kind}},
                 icon(iconName), h('span.search-main', null, main),
                 sub ? h('span.search-sub', null, sub) : null);
    const index = options.length;
    el.addEventListener('mousedown', (e) => e.preventDefault());
    el.addEventListener('click', () => choose(index));
    options.push({el: el, kind: kind, row: row});
    return el;
  }

  function setActive(index) {
    if (!options.length) return;
    active = (index + options.length) % options.length;
    options.forEach((o, i) => o.el.setAttribute('aria-selected', i === active ? 'true' : 'false'));
    input.setAttribute('aria-activedescendant', options[active].el.id);
    options[active].el.scrollIntoView({block: 'nearest'});
  }

  function onKey(e) {
    if (e.isComposing || e.keyCode === 229) return;
    if (e.key === 'ArrowDown') {
      e.preventDefault();
      if (panel.hidden) open();
      setActive(active + 1);
    } else if (e.key === 'ArrowUp') {
      e.preventDefault();
      setActive(active - 1);
    } else if (e.key === 'Enter') {
      e.preventDefault();
      if (active >= 0) choose(active);
      else {
        clearTimeout(timer);
        run();
      }
    } else if (e.key === 'Escape') {
      e.preventDefault();
      e.stopPropagation();
      if (!panel.hidden) close();
      else if (input.value) reset();
      else input.blur();
    }
  }

  function choose(index) {
    const o = options[index];
    if (!o) return;
    close();
    const r = o.row;
    if (o.kind === 'folder') P.app.go('wordbook', {folder: r.folder_id});
    else if (o.kind === 'source') P.app.go('wordbook', {source: r.source_id});
    else P.app.go('wordbook', {source: typeof r.source_id === 'string' ? r.source_id : null,
                               word: r.word_id, wordRow: r});
  }

  P.search = {element, focus, reset, get query() { return lastQuery; }};
})(typeof window !== 'undefined' ? window : globalThis);
