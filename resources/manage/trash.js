// The trash: deleted folders, sources, words and sentences, each brought back with one action.
(function (root) {
  'use strict';
  const P = root.Parlendo || (root.Parlendo = {});
  const {h, icon, replace} = P.dom;
  const call = P.bridge.call;

  const KINDS = [
    {id: 'folders', label: '폴더', icon: 'folder', key: 'folder_id', call: 'restore_folder',
     empty: '휴지통에 폴더가 없어요'},
    {id: 'sources', label: '출처', icon: 'link', key: 'source_id', call: 'restore_source',
     empty: '휴지통에 출처가 없어요'},
    {id: 'words', label: '단어', icon: 'book', key: 'word_id', call: 'restore_word',
     empty: '휴지통에 단어가 없어요'},
    {id: 'sentences', label: '문장', icon: 'message', key: 'sentence_id', call: 'restore_sentence',
     empty: '휴지통에 문장이 없어요'},
  ];

  let host = null;
  let data = null;
  let status = 'idle';
  let error = '';
  let tab = 'folders';
  let list = null;
  let seq = 0;
  const restoring = new Set();

  function rowsOf(kind) {
    const rows = data && Array.isArray(data[kind]) ? data[kind] : [];
    const key = KINDS.find((k) => k.id === kind).key;
    return rows.filter((r) => r && typeof r[key] === 'string');
  }

  async function load() {
    seq += 1;
    const mine = seq;
    status = 'loading';
    paint();
    const result = await call('list_trash');
    if (mine !== seq) return;
    if (!result.ok) {
      status = 'error';
      error = P.errors.messageFor(result);
    } else {
      status = 'ready';
      data = result.data && typeof result.data === 'object' ? result.data : {};
    }
    paint();
  }

  function sourceTitle(id) {
    const lib = P.wb && P.wb.state.lib;
    const src = lib && typeof id === 'string' ? lib.sources.get(id) : null;
    return src ? src.title : '';
  }

  function describe(kind, row) {
    if (kind === 'folders') return {main: P.text.orPlaceholder(row.name, P.tree.NO_NAME), sub: ''};
    if (kind === 'sources') {
      return {main: P.text.orPlaceholder(row.title, P.tree.NO_TITLE),
              sub: P.text.describeAddress(row.url).label};
    }
    if (kind === 'words') {
      return {main: typeof row.lemma === 'string' ? row.lemma : '',
              sub: [typeof row.korean === 'string' ? row.korean : '', sourceTitle(row.source_id)]
                .filter(Boolean).join(' · ')};
    }
    return {main: typeof row.original === 'string' ? row.original : '',
            sub: [typeof row.korean === 'string' ? row.korean : '', sourceTitle(row.source_id)]
              .filter(Boolean).join(' · ')};
  }

  function paint() {
    if (!host) return;
    const tabs = h('div.tabs', {role: 'tablist', attrs: {'aria-label': '휴지통 종류'}});
    for (const k of KINDS) {
      const n = rowsOf(k.id).length;
      const b = h('button.tab' + (tab === k.id ? '.active' : ''), {
        type: 'button', role: 'tab', id: 'trash-tab-' + k.id,
        attrs: {'aria-selected': tab === k.id ? 'true' : 'false', 'aria-controls': 'trash-panel'},
        tabIndex: tab === k.id ? 0 : -1, dataset: {kind: k.id},
      }, icon(k.icon), ' ' + k.label, h('span.count', null, status === 'ready' ? P.text.number(n) : ''));
      b.addEventListener('click', () => {
        tab = k.id;
        paint();
      });
      tabs.appendChild(b);
    }
    tabs.addEventListener('keydown', (e) => {
      if (e.key !== 'ArrowRight' && e.key !== 'ArrowLeft') return;
      e.preventDefault();
      const at = KINDS.findIndex((k) => k.id === tab);
      tab = KINDS[(at + (e.key === 'ArrowRight' ? 1 : KINDS.length - 1)) % KINDS.length].id;
      paint();
      const active = host.querySelector('.tab.active');
      if (active) active.focus();
    });
    const panel = h('div.trash-panel', {id: 'trash-panel', role: 'tabpanel',
                                        attrs: {'aria-labelledby': 'trash-tab-' + tab}});
    replace(host, h('div.page', null,
                    h('header.page-head', null, h('h2', null, '휴지통'),
                      h('p.muted', null, '지운 항목을 되살릴 수 있어요. 폴더나 출처를 되살리면 그 안의 단어도 함께 돌아와요.')),
                    tabs, panel));
    if (status === 'loading' && !data) {
      panel.appendChild(P.ui.spinner('휴지통을 불러오는 중…'));
      return;
    }
    if (status === 'error') {
      panel.appendChild(P.ui.errorState(error, load));
      return;
    }
    const rows = rowsOf(tab);
    const kind = KINDS.find((k) => k.id === tab);
    list = new P.virtual.VirtualList({
      rowHeight: P.app.view.density === 'compact' ? 44 : 54,
      className: 'trash-list', role: 'list', label: kind.label,
      render: (i) => renderRow(kind, rows[i]),
      empty: () => P.ui.emptyState('trash', kind.empty, ''),
    });
    panel.appendChild(list.element);
    list.setCount(rows.length);
  }

  function renderRow(kind, row) {
    const id = row[kind.key];
    const d = describe(kind.id, row);
    const busy = restoring.has(kind.id + ':' + id);
    const button = h('button.restore', {type: 'button', disabled: busy, dataset: {id: id}},
                     icon('restore'), busy ? ' 되살리는 중…' : ' 되살리기');
    button.addEventListener('click', () => restore(kind, row));
    return h('div.trash-row', {role: 'listitem', dataset: {id: id}}, icon(kind.icon, 'row-icon'),
             h('div.row-text', null, h('span.row-name', null, d.main),
               d.sub ? h('span.row-meta', null, d.sub) : null),
             h('span.row-date', null, P.text.date(row.deleted_at) ? P.text.date(row.deleted_at) + ' 지움' : ''),
             button);
  }

  async function restore(kind, row) {
    const id = row[kind.key];
    const key = kind.id + ':' + id;
    if (restoring.has(key)) return;
    restoring.add(key);
    if (list) list.refresh();
    const result = await call(kind.call, [id]);
    restoring.delete(key);
    if (!result.ok) {
      if (!result.stale && !P.bridge.needsSignIn(result)) P.ui.failed(result);
      if (result.code === 'SAVE_NOT_CONFIRMED') load();
      else if (list) list.refresh();
      return;
    }
    data[kind.id] = (data[kind.id] || []).filter((r) => r !== row);
    P.ui.toast(restoredText(kind.id, result.data), {kind: 'success', seconds: 8});
    if (kind.id === 'folders' || kind.id === 'sources') load();
    else paint();
    if (P.wb && P.wb.state.lib) P.screens.wordbook.refresh();
  }

  function count(n, label) {
    return typeof n === 'number' && n > 0 ? label + ' ' + P.text.number(n) + '개' : '';
  }

  // What a restore brought back, in words.
  function restoredText(kind, d) {
    const data2 = d && typeof d === 'object' ? d : {};
    const r = data2.restored && typeof data2.restored === 'object' ? data2.restored : {};
    if (kind === 'folders') {
      const parts = [count(r.folders, '폴더'), count(r.sources, '출처'), count(r.words, '단어'),
                     count(r.sentences, '문장')].filter(Boolean).join(', ');
      const skipped = Array.isArray(data2.skipped_sources) ? data2.skipped_sources.length : 0;
      return '폴더를 되살렸어요' + (parts ? ' (' + parts + ')' : '') + '.' +
        (skipped ? ' 출처 ' + skipped + '개는 함께 되살리지 않았어요. 출처 탭에서 따로 되살릴 수 있어요.' : '');
    }
    if (kind === 'sources') {
      const parts = [count(r.words, '단어'), count(r.sentences, '문장')].filter(Boolean).join(', ');
      return '출처를 되살렸어요' + (parts ? ' (' + parts + ')' : '') + '.' +
        (data2.moved_to_root === true ? ' 원래 폴더가 없어 폴더 밖에 두었어요.' : '');
    }
    const what = kind === 'words' ? '단어를' : '문장을';
    if (data2.source_requires_restore === true) {
      return what + ' 되살렸어요. 다만 출처가 휴지통에 있어 출처를 되살려야 단어장에 보여요.';
    }
    return what + ' 되살렸어요.';
  }

  P.screens = P.screens || {};
  P.screens.trash = {
    mount(el) {
      host = el;
      paint();
      load();
    },
    unmount() {
      host = null;
      list = null;
    },
    refresh() {
      load();
    },
    reset() {
      data = null;
      status = 'idle';
      seq += 1;
    },
    viewChanged() {
      paint();
    },
  };
  P.trash = {restoredText, describe};
})(typeof window !== 'undefined' ? window : globalThis);
