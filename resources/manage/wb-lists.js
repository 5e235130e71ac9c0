// The word book's source list and word list with the chosen word's details.
(function (root) {
  'use strict';
  const P = root.Parlendo || (root.Parlendo = {});
  const {h, icon, replace} = P.dom;

  // How a review state reads.
  function statusLabel(status) {
    switch (status) {
      case undefined:
      case null:
      case '':
        return {text: '', kind: 'none'};
      case 'new':
        return {text: '새 단어', kind: 'new'};
      case 'known':
        return {text: '알아요', kind: 'known'};
      case 'unknown':
        return {text: '몰라요', kind: 'unknown'};
      case 'learning':
      case 'review':
        return {text: '복습 중', kind: 'learning'};
      default:
        return {text: String(status), kind: 'other'};
    }
  }

  function listRowHeight(compact, roomy) {
    return P.app.view.density === 'compact' ? compact : roomy;
  }

  // Keys shared by the two lists: up, down, home, end move the choice.
  function moveKey(e, index, count) {
    if (e.key === 'ArrowDown') return Math.min(count - 1, index + 1);
    if (e.key === 'ArrowUp') return Math.max(0, index - 1);
    if (e.key === 'Home') return 0;
    if (e.key === 'End') return count - 1;
    if (e.key === 'PageDown') return Math.min(count - 1, index + 10);
    if (e.key === 'PageUp') return Math.max(0, index - 10);
    return null;
  }

  // ---- sources ----

  function sources() {
    const wb = P.wb;
    let ids = [];
    let focusIndex = 0;
    let shownScope = null;
    const title = h('h2.pane-title');
    const count = h('span.pane-count');
    const crumbs = h('div.crumbs');
    const sort = h('select.sort-select', {attrs: {'aria-label': '출처 정렬'}},
                   h('option', {value: 'recent'}, '최근 본 순'),
                   h('option', {value: 'title'}, '제목 순'));
    sort.addEventListener('change', async () => {
      const result = await P.app.saveView({sourceSort: sort.value});
      if (!result.ok) P.ui.failed(result);
    });
    const list = new P.virtual.VirtualList({
      rowHeight: listRowHeight(40, 52),
      className: 'source-list',
      role: 'listbox',
      label: '출처',
      render: renderRow,
      empty: emptyView,
    });
    const body = h('div.pane-body', null, list.element);
    const element = h('section.pane.sources-pane', {attrs: {'aria-label': '출처'}},
                      h('header.pane-head', null, h('div.pane-titles', null, crumbs, title), count,
                        sort),
                      body);

    function emptyView() {
      const s = wb.state;
      if (!s.lib) return P.ui.spinner('단어장을 불러오는 중…');
      if (s.scope === 'all') {
        return P.ui.emptyState('link', '아직 출처가 없어요',
                               '어디서든 단어를 고른 뒤 Alt+Ctrl을 같이 눌렀다 떼면 단어 팝업이 뜨고, ' +
                               '저장하면 여기에 쌓여요.');
      }
      if (s.scope === 'unfiled') return P.ui.emptyState('inbox', '폴더 밖의 출처가 없어요', '');
      return P.ui.emptyState('folder', '이 폴더에는 출처가 없어요',
                             '다른 출처를 이 폴더로 끌어다 놓으면 옮겨져요.');
    }

    function renderRow(i) {
      const s = wb.state;
      const id = ids[i];
      const src = s.lib.sources.get(id);
      const addr = P.text.describeAddress(src.url);
      const selected = s.sourceId === id;
      const meta = [addr.label, P.text.ago(src.lastSeen)].filter(Boolean).join(' · ');
      const el = h('div.source-row' + (selected ? '.selected' : ''), {
        role: 'option', tabIndex: i === focusIndex ? 0 : -1,
        attrs: {'aria-selected': selected ? 'true' : 'false', 'data-focus': 'name:source:' + id},
        dataset: {index: i, id: id},
      }, icon(addr.kind === 'file' ? 'file' : 'link', 'row-icon'),
      h('div.row-text', null, h('span.row-name', null, src.title),
        meta ? h('span.row-meta', null, meta) : null),
      h('button.row-menu', {type: 'button', tabIndex: -1, attrs: {'aria-label': src.title + ' 메뉴'},
                            onClick: (e) => {
                              e.stopPropagation();
                              openMenu(id, e.currentTarget);
                            }}, icon('more')));
      el.addEventListener('click', () => {
        choose(i, true);
        el.focus();
      });
      el.addEventListener('dblclick', () => P.wbActions.openSource(id));
      el.addEventListener('contextmenu', (e) => {
        e.preventDefault();
        choose(i);
        openMenu(id, {x: e.clientX, y: e.clientY});
      });
      el.draggable = true;
      el.addEventListener('dragstart', (e) => {
        P.wbDrag = {type: 'source', id: id};
        if (e.dataTransfer) {
          e.dataTransfer.effectAllowed = 'move';
          e.dataTransfer.setData('text/plain', src.title);
        }
        el.classList.add('dragging');
      });
      el.addEventListener('dragend', () => {
        P.wbDrag = null;
        el.classList.remove('dragging');
      });
      return el;
    }

    function openMenu(id, at) {
      const A = P.wbActions;
      const src = wb.state.lib.sources.get(id);
      P.ui.menu(at, [
        {label: '이름 바꾸기', icon: 'edit', id: 'rename', shortcut: 'F2', onClick: () => A.renameSource(id)},
        {label: '옮기기…', icon: 'move', id: 'move', onClick: () => A.moveSourceDialog(id)},
        {label: '출처 열기', icon: 'open', id: 'open', disabled: !src.url, onClick: () => A.openSource(id)},
        '-',
        {label: '휴지통으로', icon: 'trash', id: 'delete', shortcut: 'Delete', danger: true,
         onClick: () => A.deleteSource(id)},
      ], src.title + ' 메뉴');
    }

    function choose(i, immediate) {
      if (i < 0 || i >= ids.length) return;
      focusIndex = i;
      wb.selectSource(ids[i], {immediate: immediate === true});
    }

    function focusRow(i) {
      const from = focusIndex;
      focusIndex = i;  // before the list draws rows that read it
      list.moveFocus(from, i);
    }

    list.element.addEventListener('keydown', (e) => {
      if (e.target.closest('input, textarea, select')) return;
      const id = ids[focusIndex];
      const A = P.wbActions;
      const next = moveKey(e, focusIndex, ids.length);
      let handled = true;
      if (next !== null) {
        if (ids.length) {
          focusRow(next);
          choose(next);
        }
      } else if (e.key === 'Enter') {
        if (id) {
          choose(focusIndex);
          if (wb.panes) wb.panes.words.focus();
        }
      } else if (e.key === 'ArrowLeft') {
        if (wb.panes) wb.panes.tree.focus();
      } else if (e.key === 'ArrowRight') {
        if (wb.panes) wb.panes.words.focus();
      } else if (e.key === 'F2') {
        if (id) A.renameSource(id);
      } else if (e.key === 'Delete') {
        if (id) A.deleteSource(id);
      } else if (e.key === 'ContextMenu' || (e.shiftKey && e.key === 'F10')) {
        if (id) openMenu(id, list.rowElement(focusIndex) || {x: 400, y: 200});
      } else {
        handled = false;
      }
      if (handled) {
        e.preventDefault();
        e.stopPropagation();
      }
    });

    function paintHead() {
      const s = wb.state;
      title.textContent = s.lib ? wb.scopeTitle() : '출처';
      const path = s.lib && s.lib.folders.has(s.scope) ? P.tree.path(s.lib, s.scope).slice(0, -1) : [];
      replace(crumbs, path.map((f) => h('button.crumb', {type: 'button', onClick: () =>
        wb.selectScope(f.id, {immediate: true})}, f.name)));
      crumbs.hidden = path.length === 0;
      count.textContent = s.lib ? P.text.number(ids.length) + '개' : '';
      sort.value = P.app.view.sourceSort;
    }

    return {
      element,
      reset(focus) {
        if (!body.contains(list.element)) replace(body, list.element);
        ids = wb.visibleSources();
        const sel = wb.state.sourceId ? ids.indexOf(wb.state.sourceId) : -1;
        focusIndex = sel >= 0 ? sel : 0;
        paintHead();
        if (shownScope !== wb.state.scope) list.element.scrollTop = 0;
        shownScope = wb.state.scope;
        list.setCount(ids.length);
        if (sel >= 0) list.reveal(sel);
        if (focus) this.focus();
      },
      select() {
        const sel = wb.state.sourceId ? ids.indexOf(wb.state.sourceId) : -1;
        if (sel >= 0) focusIndex = sel;
        list.update((el, i) => {
          const on = i === sel;
          el.classList.toggle('selected', on);
          el.setAttribute('aria-selected', on ? 'true' : 'false');
          el.tabIndex = i === focusIndex ? 0 : -1;
        });
      },
      refreshRows() {
        const sel = wb.state.sourceId ? ids.indexOf(wb.state.sourceId) : -1;
        if (sel >= 0) focusIndex = sel;
        const hadFocus = list.element.contains(document.activeElement);
        list.refresh();
        if (hadFocus) this.focus();
      },
      revealSelected(focus) {
        const sel = wb.state.sourceId ? ids.indexOf(wb.state.sourceId) : -1;
        if (sel < 0) return;
        focusIndex = sel;
        const el = list.reveal(sel);
        if (el && focus) el.focus();
      },
      focus() {
        const el = list.reveal(focusIndex);
        if (el) el.focus();
        else list.element.focus();
      },
      showError(message) {
        replace(body, P.ui.errorState(message, () => P.wb.loadTree(false)));
      },
    };
  }

  // ---- words ----

  function words() {
    const wb = P.wb;
    let rows = [];
    let focusIndex = 0;
    let shownKey = null;
    const title = h('h2.pane-title');
    const count = h('span.pane-count');
    const note = h('p.pane-note', {hidden: true});
    const reviewButton = h('button.review-button', {type: 'button', title: '복습',
                                                    onClick: () => P.wbReview.start()},
                           icon('play'), h('span.button-text', null, ' 복습'));
    const openButton = h('button.open-source', {type: 'button', hidden: true, title: '출처 열기',
                                                onClick: () => {
                                                  if (wb.state.sourceId) P.wbActions.openSource(wb.state.sourceId);
                                                }}, icon('open'), h('span.button-text', null, ' 출처 열기'));
    const local = h('span.local-status', {hidden: true});
    const list = new P.virtual.VirtualList({
      rowHeight: listRowHeight(34, 44),
      className: 'word-list',
      role: 'listbox',
      label: '단어',
      render: renderRow,
      empty: emptyView,
    });
    const detail = h('aside.word-detail', {attrs: {'aria-label': '단어 정보'}, hidden: true});
    const body = h('div.pane-body.words-body', null, list.element, detail);
    const element = h('section.pane.words-pane', {attrs: {'aria-label': '단어'}},
                      h('header.pane-head', null, h('div.pane-titles', null, title), count, local,
                        openButton, reviewButton),
                      note, body);

    function emptyView() {
      const s = wb.state;
      if (s.wordsStatus === 'loading' || (!s.lib && s.treeStatus !== 'error')) {
        return P.ui.spinner('단어를 불러오는 중…');
      }
      if (s.wordsStatus === 'error') {
        return P.ui.errorState(s.wordsError, () => wb.loadWords(true));
      }
      if (s.scope === 'unfiled' && !s.sourceId) {
        return P.ui.emptyState('inbox', '출처를 고르세요', '분류 안 된 출처를 고르면 그 단어가 보여요.');
      }
      return P.ui.emptyState('book', '단어가 없어요',
                             '저장 설정을 켠 팝업으로 단어를 보면 여기에 쌓여요.');
    }

    function renderRow(i) {
      const s = wb.state;
      const w = rows[i];
      const review = s.reviews.get(w.word_id);
      const label = statusLabel(review && review.status);
      const selected = s.wordId === w.word_id;
      const view = P.app.view;
      const el = h('div.word-row' + (selected ? '.selected' : ''), {
        role: 'option', tabIndex: i === focusIndex ? 0 : -1,
        attrs: {'aria-selected': selected ? 'true' : 'false'},
        dataset: {index: i, id: w.word_id},
      }, h('span.lemma', null, typeof w.lemma === 'string' ? w.lemma : ''),
      view.showPhonetic && typeof w.phonetic === 'string' && w.phonetic
        ? h('span.phonetic', null, w.phonetic) : null,
      view.showKorean && typeof w.korean === 'string'
        ? h('span.korean', null, w.korean) : h('span.korean'),
      label.text ? h('span.badge.status-' + label.kind, null, label.text) : null,
      h('span.row-date', null, P.text.date(w.created_at)));
      el.addEventListener('click', () => {
        choose(i);
        el.focus();
      });
      el.addEventListener('contextmenu', (e) => {
        e.preventDefault();
        choose(i);
        wordMenu(w, {x: e.clientX, y: e.clientY});
      });
      return el;
    }

    function wordMenu(w, at) {
      const A = P.wbActions;
      P.ui.menu(at, [
        {label: '알아요', icon: 'check', onClick: () => P.wbReview.mark(w.word_id, true)},
        {label: '몰라요', icon: 'x', onClick: () => P.wbReview.mark(w.word_id, false)},
        '-',
        {label: '휴지통으로', icon: 'trash', id: 'delete', shortcut: 'Delete', danger: true,
         onClick: () => A.deleteWord(w.word_id)},
      ], (w.lemma || '단어') + ' 메뉴');
    }

    function choose(i) {
      if (i < 0 || i >= rows.length) return;
      focusIndex = i;
      wb.selectWord(rows[i].word_id);
    }

    function focusRow(i) {
      const from = focusIndex;
      focusIndex = i;  // before the list draws rows that read it
      list.moveFocus(from, i);
    }

    list.element.addEventListener('keydown', (e) => {
      if (e.target.closest('input, textarea, select')) return;
      const w = rows[focusIndex];
      const next = moveKey(e, focusIndex, rows.length);
      let handled = true;
      if (next !== null) {
        if (rows.length) {
          focusRow(next);
          choose(next);
        }
      } else if (e.key === 'ArrowLeft') {
        if (wb.panes) wb.panes.sources.focus();
      } else if (e.key === 'Delete') {
        if (w) P.wbActions.deleteWord(w.word_id);
      } else if (e.key === 'Enter') {
        if (w) choose(focusIndex);
      } else if (e.key === 'ContextMenu' || (e.shiftKey && e.key === 'F10')) {
        if (w) wordMenu(w, list.rowElement(focusIndex) || {x: 600, y: 200});
      } else {
        handled = false;
      }
      if (handled) {
        e.preventDefault();
        e.stopPropagation();
      }
    });

    function paintHead() {
      const s = wb.state;
      const src = s.sourceId && s.lib ? s.lib.sources.get(s.sourceId) : null;
      if (src) title.textContent = src.title;
      else if (s.scope === 'all') title.textContent = '모든 단어';
      else if (s.scope === 'unfiled') title.textContent = '단어';
      else title.textContent = wb.scopeTitle() + ' · 하위 폴더 포함';
      count.textContent = s.wordsStatus === 'ready' ? P.text.number(rows.length) + '개' : '';
      reviewButton.disabled = s.wordsStatus !== 'ready' || rows.length === 0;
      openButton.hidden = !(src && src.url);
      local.hidden = true;
      if (src && src.url && P.text.describeAddress(src.url).kind === 'file') {
        wb.localStatus(src.url).then((status) => {
          if (wb.state.sourceId !== src.id) return;
          local.hidden = status === 'available';
          local.textContent = status === 'missing' ? '이 컴퓨터에서 찾을 수 없음'
            : status === 'unsupported' ? '열 수 없는 파일' : '';
          openButton.disabled = status === 'missing' || status === 'unsupported';
        });
      } else {
        openButton.disabled = false;
      }
      note.hidden = !s.wordsCapped;
      note.textContent = s.sourceId
        ? '단어가 많아 최근 ' + P.text.number(rows.length) + '개만 보여요.'
        : '단어가 많아 최근 ' + P.text.number(rows.length) + '개만 보여요. 출처를 고르면 그 출처의 단어를 볼 수 있어요.';
    }

    function paintDetail() {
      const s = wb.state;
      const w = rows.find((r) => r.word_id === s.wordId);
      if (!w) {
        detail.hidden = true;
        replace(detail);
        return;
      }
      detail.hidden = false;
      const d = s.details.get(w.word_id);
      const review = s.reviews.get(w.word_id);
      const label = statusLabel(review && review.status);
      const text = (key, fallback) => (d && typeof d[key] === 'string' && d[key] ? d[key]
        : typeof fallback === 'string' && fallback ? fallback : '');
      const item = (name, value, cls) => (value ? [h('dt', null, name), h('dd' + (cls ? '.' + cls : ''), null, value)] : null);
      const src = typeof w.source_id === 'string' && s.lib ? s.lib.sources.get(w.source_id) : null;
      replace(detail,
              h('div.detail-head', null, h('h3.detail-lemma', null, typeof w.lemma === 'string' ? w.lemma : ''),
                text('phonetic', w.phonetic) ? h('span.phonetic', null, text('phonetic', w.phonetic)) : null,
                P.dom.iconButton('x', '단어 정보 닫기', () => wb.selectWord(null), {className: 'detail-close'})),
              d === undefined ? P.ui.spinner('뜻을 불러오는 중…') : null,
              h('dl.detail-list', null,
                item('한글 뜻', text('korean', w.korean)),
                item('영어 정의', text('definition'), 'long'),
                item('예문', text('example'), 'long'),
                item('복습', [label.text || '새 단어',
                             review && review.wrong_count > 0 ? ' · 틀린 횟수 ' + review.wrong_count : '']),
                item('출처', src ? src.title : ''),
                item('저장한 날', P.text.dateTime(w.created_at))),
              h('div.detail-actions', null,
                h('button.known', {type: 'button', onClick: () => P.wbReview.mark(w.word_id, true)},
                  icon('check'), ' 알아요'),
                h('button.unknown', {type: 'button', onClick: () => P.wbReview.mark(w.word_id, false)},
                  icon('x'), ' 몰라요'),
                h('button.danger.subtle', {type: 'button', onClick: () => P.wbActions.deleteWord(w.word_id)},
                  icon('trash'), ' 휴지통으로')));
    }

    return {
      element,
      reset() {
        rows = wb.visibleWords();
        const sel = wb.state.wordId ? rows.findIndex((r) => r.word_id === wb.state.wordId) : -1;
        focusIndex = sel >= 0 ? sel : 0;
        paintHead();
        const hadFocus = list.element.contains(document.activeElement);
        if (shownKey !== wb.state.wordsKey) list.element.scrollTop = 0;
        shownKey = wb.state.wordsKey;
        list.setCount(rows.length);
        if (sel >= 0) list.reveal(sel);
        if (hadFocus) this.focus();
        paintDetail();
      },
      refreshRows() {
        const hadFocus = list.element.contains(document.activeElement);
        list.refresh();
        paintDetail();
        if (hadFocus) this.focus();
      },
      select() {
        const id = wb.state.wordId;
        const sel = id ? rows.findIndex((r) => r.word_id === id) : -1;
        if (sel >= 0) focusIndex = sel;
        list.update((el, i) => {
          const on = i === sel;
          el.classList.toggle('selected', on);
          el.setAttribute('aria-selected', on ? 'true' : 'false');
          el.tabIndex = i === focusIndex ? 0 : -1;
        });
      },
      paintDetail,
      focus() {
        const el = list.reveal(focusIndex);
        if (el) el.focus();
        else list.element.focus();
      },
      dispose() {},
      rows: () => rows,
    };
  }

  P.wbLists = {sources, words, statusLabel};
})(typeof window !== 'undefined' ? window : globalThis);
