// The word book screen: folders, the sources of the chosen folder and the words of the chosen
// source or folder. This file holds its state, loading and selection; the panes draw it
// (wb-tree.js, wb-lists.js) and the actions change it (wb-actions.js, wb-review.js).
(function (root) {
  'use strict';
  const P = root.Parlendo || (root.Parlendo = {});
  const {h} = P.dom;
  const call = P.bridge.call;

  const WORDS_FOR_SCOPE_CAP = 1000;

  function freshState() {
    return {
      lib: null,
      treeStatus: 'idle',  // idle, loading, ready, error
      treeError: '',
      expanded: new Set(),
      scope: 'all',        // 'all', 'unfiled' or a folder id
      sourceId: null,
      words: [],
      wordsKey: '',
      wordsStatus: 'idle',
      wordsError: '',
      wordsCapped: false,
      reviews: new Map(),
      details: new Map(),
      wordId: null,
      localStatus: new Map(),  // file address → available, missing, unsupported
      pendingWord: null,
      treeArrived: null,  // when the first folder tree reached the page
      firstPaint: null,
      wordsPaint: null,
    };
  }

  const wb = {state: freshState(), host: null, panes: null, loadSeq: 0, wordsSeq: 0,
              density: 'comfortable'};
  P.wb = wb;

  // ---- loading ----

  async function loadTree(keepSelection) {
    const s = wb.state;
    wb.loadSeq += 1;
    const mine = wb.loadSeq;
    s.treeStatus = 'loading';
    if (!s.lib) paint();
    const result = await call('load_tree');
    if (s.treeArrived === null) s.treeArrived = performance.now();
    if (mine !== wb.loadSeq) return;
    if (!result.ok) {
      s.treeStatus = 'error';
      s.treeError = P.errors.messageFor(result);
      paint();
      return;
    }
    s.lib = P.tree.build(result.data);
    s.treeStatus = 'ready';
    if (!keepSelection || !scopeExists(s.scope)) s.scope = 'all';
    if (s.sourceId && !s.lib.sources.has(s.sourceId)) s.sourceId = null;
    paint();
    mark('firstPaint');
    loadWords();
  }

  function scopeExists(scope) {
    return scope === 'all' || scope === 'unfiled' || wb.state.lib.folders.has(scope);
  }

  function wordsKey() {
    const s = wb.state;
    if (s.sourceId) return 'source:' + s.sourceId;
    return 'scope:' + s.scope;
  }

  async function loadWords(force) {
    const s = wb.state;
    const key = wordsKey();
    if (!force && key === s.wordsKey && s.wordsStatus !== 'error') {
      paintWords();
      return;
    }
    wb.wordsSeq += 1;
    const mine = wb.wordsSeq;
    s.wordsKey = key;
    s.words = [];
    s.wordsCapped = false;
    s.wordId = s.pendingWord;
    if (s.scope === 'unfiled' && !s.sourceId) {
      s.wordsStatus = 'ready';
      paintWords();
      return;
    }
    s.wordsStatus = 'loading';
    paintWords();
    const result = s.sourceId
      ? await call('list_words', [s.sourceId])
      : await call('words_in_scope', [s.scope === 'all' ? null : s.scope]);
    if (mine !== wb.wordsSeq) return;
    if (!result.ok) {
      s.wordsStatus = 'error';
      s.wordsError = P.errors.messageFor(result);
      paintWords();
      return;
    }
    const data = result.data && typeof result.data === 'object' ? result.data : {};
    s.words = (Array.isArray(data.words) ? data.words : [])
      .filter((w) => w && typeof w.word_id === 'string');
    s.wordsCapped = data.capped === true;
    s.wordsStatus = 'ready';
    if (s.pendingWord && !s.words.some((w) => w.word_id === s.pendingWord)) s.wordId = null;
    s.pendingWord = null;
    paintWords();
    mark('wordsPaint');
    loadReviews(s.words.map((w) => w.word_id), mine);
    if (s.wordId) loadDetails(s.wordId);
  }

  async function loadReviews(ids, seq) {
    if (!ids.length) return;
    const result = await call('review_states', [ids]);
    if (seq !== undefined && seq !== wb.wordsSeq) return;
    if (!result.ok || !result.data || typeof result.data !== 'object') return;
    for (const id of Object.keys(result.data)) {
      const r = result.data[id];
      if (r && typeof r === 'object') wb.state.reviews.set(id, r);
    }
    if (wb.panes) wb.panes.words.refreshRows();
  }

  async function loadDetails(id) {
    const s = wb.state;
    if (s.details.has(id)) {
      if (wb.panes) wb.panes.words.paintDetail();
      return s.details.get(id);
    }
    const result = await call('word_details', [[id]]);
    if (result.ok && result.data && typeof result.data === 'object') {
      const d = result.data[id];
      s.details.set(id, d && typeof d === 'object' ? d : {});
    }
    if (wb.panes && s.wordId === id) wb.panes.words.paintDetail();
    return s.details.get(id) || null;
  }

  // Whether a local document behind a source is still on this computer.
  async function localStatus(url) {
    const s = wb.state;
    if (s.localStatus.has(url)) return s.localStatus.get(url);
    const result = await call('local_pdf_status', [url], {quiet: true});
    const status = result.ok && result.data && typeof result.data.status === 'string'
      ? result.data.status : 'unknown';
    s.localStatus.set(url, status);
    return status;
  }

  // Notes when the word book first reached the screen: `firstPaint` (folders and sources) and
  // `wordsPaint` (the words beside them), after the frame that shows them.
  function mark(what) {
    const s = wb.state;
    if (s[what] !== null || !wb.host) return;
    const raf = root.requestAnimationFrame || ((f) => setTimeout(f, 0));
    raf(() => raf(() => {
      if (s[what] === null) s[what] = performance.now();
    }));
  }

  // ---- selection ----

  function selectScope(scope, opts) {
    const s = wb.state;
    const o = opts || {};
    s.scope = scope;
    s.sourceId = o.sourceId || null;
    s.pendingWord = o.wordId || null;
    let opened = false;
    if (s.lib && typeof scope === 'string' && s.lib.folders.has(scope)) {
      for (const f of P.tree.path(s.lib, scope).slice(0, -1)) {
        if (!s.expanded.has(f.id)) {
          s.expanded.add(f.id);
          opened = true;
        }
      }
    }
    if (wb.panes) {
      if (opened) wb.panes.tree.refresh(o.focus === 'tree');
      else wb.panes.tree.select(o.focus === 'tree');
      wb.panes.sources.reset(o.focus === 'sources');
    }
    scheduleWords(o.immediate);
  }

  function selectSource(id, opts) {
    const s = wb.state;
    const o = opts || {};
    s.sourceId = id;
    s.pendingWord = o.wordId || null;
    if (wb.panes) wb.panes.sources.select();
    scheduleWords(o.immediate);
  }

  let wordsTimer = 0;
  function scheduleWords(immediate) {
    clearTimeout(wordsTimer);
    if (immediate) {
      loadWords();
      return;
    }
    // Moving through a list with the arrow keys asks for one list, not one per row passed.
    wordsTimer = setTimeout(() => loadWords(), 120);
  }

  function selectWord(id) {
    wb.state.wordId = id;
    if (!wb.panes) return;
    wb.panes.words.select();
    wb.panes.words.paintDetail();
    if (id) loadDetails(id);
  }

  // The source ids the source pane shows, in the chosen order.
  function visibleSources() {
    const s = wb.state;
    if (!s.lib) return [];
    return P.tree.sortSources(s.lib, P.tree.sourcesOf(s.lib, s.scope), P.app.view.sourceSort);
  }

  function visibleWords() {
    return P.viewSettings.sortWords(wb.state.words, P.app.view.wordSort);
  }

  function scopeTitle() {
    const s = wb.state;
    if (s.scope === 'all') return '전체 출처';
    if (s.scope === 'unfiled') return '분류 안 된 출처';
    const f = s.lib && s.lib.folders.get(s.scope);
    return f ? f.name : '';
  }

  // ---- drawing ----

  function paint() {
    if (!wb.host) return;
    const s = wb.state;
    if (!wb.panes) {
      wb.panes = {
        tree: P.wbTree.make(),
        sources: P.wbLists.sources(),
        words: P.wbLists.words(),
      };
      P.dom.replace(wb.host, h('div.wordbook', null, wb.panes.tree.element,
                               wb.panes.sources.element, wb.panes.words.element));
    }
    if (s.treeStatus === 'error' && !s.lib) {
      wb.panes.tree.showError(s.treeError);
      wb.panes.sources.showError(s.treeError);
      return;
    }
    wb.panes.tree.refresh();
    wb.panes.sources.reset();
  }

  function paintWords() {
    if (wb.panes) wb.panes.words.reset();
  }

  // ---- the screen ----

  P.screens = P.screens || {};
  P.screens.wordbook = {
    mount(host, params) {
      wb.host = host;
      wb.panes = null;
      wb.density = P.app.view.density;
      const s = wb.state;
      if (s.lib) {
        paint();
        paintWords();
      } else {
        paint();
      }
      if (!s.lib || s.treeStatus === 'error') loadTree(false);
      if (params && (params.folder || params.source || params.word)) this.show(params);
      else if (wb.panes) wb.panes.tree.focus();
    },
    unmount() {
      clearTimeout(wordsTimer);
      if (wb.panes && wb.panes.words.dispose) wb.panes.words.dispose();
      wb.host = null;
      wb.panes = null;
    },
    reset() {
      wb.state = freshState();
      wb.loadSeq += 1;
      wb.wordsSeq += 1;
    },
    refresh() {
      const s = wb.state;
      s.details.clear();
      s.reviews.clear();
      s.localStatus.clear();
      s.wordsKey = '';
      loadTree(true);
    },
    // Goes to a folder, a source or a word (from search).
    async show(params) {
      const s = wb.state;
      if (!s.lib) {
        s.pendingShow = params;
        await waitFor(() => s.lib !== null || s.treeStatus === 'error');
        if (!s.lib) return;
      }
      if (params.folder && s.lib.folders.has(params.folder)) {
        selectScope(params.folder, {focus: 'tree', immediate: true});
        return;
      }
      if (params.source && s.lib.sources.has(params.source)) {
        const src = s.lib.sources.get(params.source);
        selectScope(src.folderId || 'unfiled', {sourceId: params.source, wordId: params.word || null,
                                                focus: 'sources', immediate: true});
        if (wb.panes) wb.panes.sources.revealSelected(true);
        return;
      }
      if (params.word) {
        P.wbActions.wordDialog(params.word, params.wordRow || null);
        return;
      }
      P.ui.toast('그 항목을 찾을 수 없어요. 새로 고침(F5)해 보세요.', {kind: 'error'});
    },
    // Another row height needs new lists; another order or column only new rows.
    viewChanged(view) {
      if (!wb.panes) return;
      if (view.density !== wb.density) {
        wb.density = view.density;
        wb.panes = null;
        paint();
        paintWords();
        return;
      }
      wb.panes.sources.reset();
      wb.panes.words.reset();
    },
  };

  function waitFor(test) {
    return new Promise((resolve) => {
      const tick = () => (test() ? resolve() : setTimeout(tick, 30));
      tick();
    });
  }

  Object.assign(wb, {loadTree, loadWords, loadReviews, loadDetails, localStatus, selectScope,
                     selectSource, selectWord, visibleSources, visibleWords, scopeTitle, paint,
                     paintWords, WORDS_FOR_SCOPE_CAP});
})(typeof window !== 'undefined' ? window : globalThis);
