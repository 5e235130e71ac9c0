// What the user changes in the word book: folders, sources and words. Each change is asked for,
// and the page shows only what the server confirmed; an unconfirmed change reloads the tree.
(function (root) {
  'use strict';
  const P = root.Parlendo || (root.Parlendo = {});
  const {h, icon} = P.dom;
  const call = P.bridge.call;
  const T = P.tree;

  function lib() {
    return P.wb.state.lib;
  }

  function repaint() {
    P.wb.paint();
  }

  // A failed write: say why; when the outcome is unknown or refused, show the server's truth.
  function writeFailed(result) {
    if (result.stale || P.bridge.needsSignIn(result)) return;  // the hooks speak for these
    P.ui.failed(result);
    if (result.code === 'SAVE_NOT_CONFIRMED' || result.code === 'server_contract_unavailable') {
      P.wb.loadTree(true);
    }
  }

  function nameProblem(value) {
    if (P.text.isBlank(value)) return '이름을 입력해 주세요.';
    return null;
  }

  // ---- folders ----

  async function createFolder(parentId) {
    const parent = parentId ? lib().folders.get(parentId) : null;
    await P.ui.prompt({
      title: parent ? '‘' + parent.name + '’ 안에 새 폴더' : '새 폴더',
      label: '폴더 이름', value: '', confirmLabel: '만들기',
      validate: nameProblem,
      submit: async (value) => {
        const result = await call('create_folder', [value.trim(), parentId || null]);
        if (!result.ok) {
          if (result.code === 'SAVE_NOT_CONFIRMED') {
            P.wb.loadTree(true);
            return P.errors.messageFor(result);
          }
          writeFailed(result);
          return null;
        }
        const id = T.addFolder(lib(), result.data);
        if (parentId) P.wb.state.expanded.add(parentId);
        repaint();
        if (id) P.wb.selectScope(id, {focus: 'tree', immediate: true});
        P.ui.toast('폴더를 만들었어요.', {kind: 'success'});
        return null;
      },
    });
  }

  async function renameFolder(id) {
    const f = lib().folders.get(id);
    if (!f) return;
    await P.ui.prompt({
      title: '폴더 이름 바꾸기', label: '폴더 이름', value: f.name, confirmLabel: '바꾸기',
      validate: nameProblem,
      submit: async (value) => {
        if (value.trim() === f.name) return null;
        const result = await call('rename_folder', [id, value.trim()]);
        if (!result.ok) {
          if (result.code === 'SAVE_NOT_CONFIRMED') {
            P.wb.loadTree(true);
            return P.errors.messageFor(result);
          }
          writeFailed(result);
          return null;
        }
        T.renameFolder(lib(), id, result.data && result.data.name);
        repaint();
        return null;
      },
    });
  }

  // Moves folder `id` under `parentId` (null: the top level). With a plan {place, target} from a
  // drop, it then stands before or after the target.
  async function moveFolder(id, parentId, plan) {
    const l = lib();
    const f = l.folders.get(id);
    if (!f) return;
    if (f.parentId !== parentId) {
      const verdict = T.canMove(l, id, parentId);
      if (verdict.reason === 'cycle') {
        P.ui.toast('폴더를 자기 안으로 옮길 수는 없어요.', {kind: 'error'});
        return;
      }
      const result = await call('move_folder', [id, parentId]);
      if (!result.ok) {
        writeFailed(result);
        return;
      }
      if (verdict.reason === 'missing') {
        // A folder this page has not seen yet: the server's tree says where things are.
        P.wb.loadTree(true);
        return;
      }
      const row = result.data || {};
      T.moveFolder(l, id, typeof row.parent_id === 'string' ? row.parent_id : null,
                   typeof row.position === 'number' ? row.position : undefined);
      if (parentId) P.wb.state.expanded.add(parentId);
      repaint();
    }
    if (plan && plan.target && plan.place !== 'inside') {
      const order = T.reorder(l, parentId, id, plan.target, plan.place);
      if (order) await saveOrder(parentId, order);
    }
  }

  async function saveOrder(parentId, order) {
    const result = await call('reorder_folders', [parentId, order]);
    if (!result.ok) {
      writeFailed(result);
      return false;
    }
    T.applyOrder(lib(), parentId, order);
    repaint();
    return true;
  }

  async function shiftFolder(id, delta) {
    const order = T.shift(lib(), id, delta);
    if (!order) return;
    await saveOrder(lib().folders.get(id).parentId, order);
  }

  async function moveFolderDialog(id) {
    const f = lib().folders.get(id);
    if (!f) return;
    const banned = new Set([id]);
    const choice = await pickFolder({
      title: '‘' + f.name + '’ 옮기기', topLabel: '맨 위 (다른 폴더 밖)',
      current: f.parentId, banned: banned,
    });
    if (choice === undefined || choice === f.parentId) return;
    await moveFolder(id, choice, null);
  }

  async function deleteFolder(id) {
    const l = lib();
    const f = l.folders.get(id);
    if (!f) return;
    const subfolders = T.descendants(l, id).length - 1;
    const sourceCount = l.totals.get(id) || 0;
    const what = [subfolders ? '하위 폴더 ' + P.text.number(subfolders) + '개' : '',
                  sourceCount ? '출처 ' + P.text.number(sourceCount) + '개와 그 단어' : '']
      .filter(Boolean).join(', ');
    const sure = await P.ui.confirm({
      title: '‘' + f.name + '’ 폴더를 휴지통으로 옮길까요?',
      message: (what ? what + '도 함께 옮겨져요. ' : '') + '휴지통에서 되살릴 수 있어요.',
      confirmLabel: '휴지통으로', danger: true});
    if (!sure) return;
    const result = await call('delete_folder', [id]);
    if (!result.ok) {
      writeFailed(result);
      return;
    }
    const s = P.wb.state;
    const gone = new Set(T.descendants(l, id));
    T.removeFolder(l, id);
    if (gone.has(s.scope)) s.scope = f.parentId && l.folders.has(f.parentId) ? f.parentId : 'all';
    if (s.sourceId && !l.sources.has(s.sourceId)) s.sourceId = null;
    repaint();
    P.wb.loadWords(true);
    const d = result.data || {};
    const counts = [['폴더', d.folders], ['출처', d.sources], ['단어', d.words], ['문장', d.sentences]]
      .filter((c) => typeof c[1] === 'number' && c[1] > 0)
      .map((c) => c[0] + ' ' + P.text.number(c[1]) + '개').join(', ');
    P.ui.toast('휴지통으로 옮겼어요' + (counts ? ' (' + counts + ')' : '') + '.', {
      kind: 'success', seconds: 10,
      action: {label: '되돌리기', onClick: () => restore('restore_folder', id)}});
  }

  // Brings something back from the trash right after deleting it.
  async function restore(name, id) {
    const result = await call(name, [id]);
    if (!result.ok) {
      writeFailed(result);
      return;
    }
    P.ui.toast('되돌렸어요.', {kind: 'success'});
    P.wb.loadTree(true);
  }

  // ---- sources ----

  async function renameSource(id) {
    const src = lib().sources.get(id);
    if (!src) return;
    await P.ui.prompt({
      title: '출처 이름 바꾸기', label: '출처 제목', value: src.title, confirmLabel: '바꾸기',
      message: '비워 두면 ‘(제목 없음)’ 으로 저장돼요.',
      submit: async (value) => {
        if (value.trim() === src.title) return null;
        const result = await call('rename_source', [id, value]);
        if (!result.ok) {
          if (result.code === 'SAVE_NOT_CONFIRMED') {
            P.wb.loadTree(true);
            return P.errors.messageFor(result);
          }
          writeFailed(result);
          return null;
        }
        const d = result.data || {};
        if (d.status === 'name_taken') return '같은 제목의 출처가 이미 있어요. 다른 제목으로 해 주세요.';
        if (d.source) T.updateSource(lib(), d.source);
        repaint();
        P.wb.paintWords();
        return null;
      },
    });
  }

  async function moveSource(id, folderId) {
    const src = lib().sources.get(id);
    if (!src || src.folderId === folderId) return;
    const result = await call('move_source', [id, folderId]);
    if (!result.ok) {
      writeFailed(result);
      return;
    }
    if (result.data) T.updateSource(lib(), Object.assign({folder_id: null}, result.data));
    if (P.wb.state.sourceId === id && P.wb.state.scope !== 'all') P.wb.state.sourceId = null;
    repaint();
    if (folderId && !lib().folders.has(folderId)) P.wb.loadTree(true);
    const to = folderId ? lib().folders.get(folderId) : null;
    P.ui.toast(to ? '‘' + to.name + '’ 폴더로 옮겼어요.'
      : folderId ? '폴더로 옮겼어요.' : '폴더 밖으로 옮겼어요.', {kind: 'success'});
  }

  async function moveSourceDialog(id) {
    const src = lib().sources.get(id);
    if (!src) return;
    const choice = await pickFolder({title: '‘' + P.text.shorten(src.title, 40) + '’ 옮기기',
                                     topLabel: '분류 안 됨 (폴더 밖)', current: src.folderId,
                                     banned: new Set()});
    if (choice === undefined) return;
    await moveSource(id, choice);
  }

  async function deleteSource(id) {
    const src = lib().sources.get(id);
    if (!src) return;
    const sure = await P.ui.confirm({
      title: '출처를 휴지통으로 옮길까요?',
      message: '‘' + P.text.shorten(src.title, 80) + '’ 과(와) 그 단어·문장이 함께 옮겨져요. 휴지통에서 되살릴 수 있어요.',
      confirmLabel: '휴지통으로', danger: true});
    if (!sure) return;
    const result = await call('delete_source', [id]);
    if (!result.ok) {
      writeFailed(result);
      return;
    }
    T.removeSource(lib(), id);
    if (P.wb.state.sourceId === id) P.wb.state.sourceId = null;
    repaint();
    P.wb.loadWords(true);
    const d = result.data || {};
    const words = typeof d.words === 'number' && d.words > 0 ? ' (단어 ' + P.text.number(d.words) + '개)' : '';
    P.ui.toast('출처를 휴지통으로 옮겼어요' + words + '.', {
      kind: 'success', seconds: 10,
      action: {label: '되돌리기', onClick: () => restore('restore_source', id)}});
  }

  async function openSource(id) {
    const src = lib().sources.get(id);
    if (!src || !src.url) {
      P.ui.toast('이 출처에는 열 수 있는 주소가 없어요.', {kind: 'error'});
      return;
    }
    const result = await call('open_url', [src.url]);
    if (!result.ok) {
      const file = P.text.describeAddress(src.url).kind === 'file';
      P.ui.failed(result, {REQUEST_FAILED: file
        ? '이 문서를 열 수 없어요. 이 컴퓨터에서 찾을 수 없거나, 실행 파일이거나, 열 수 있는 프로그램이 없을 수 있어요.'
        : '이 주소를 열 수 없어요.'});
    }
  }

  // ---- words ----

  async function deleteWord(id) {
    const s = P.wb.state;
    const w = s.words.find((x) => x.word_id === id);
    const lemma = w && typeof w.lemma === 'string' ? w.lemma : '이 단어';
    const sure = await P.ui.confirm({title: '‘' + lemma + '’ 을(를) 휴지통으로 옮길까요?',
                                     message: '휴지통에서 되살릴 수 있어요.',
                                     confirmLabel: '휴지통으로', danger: true});
    if (!sure) return;
    const result = await call('delete_word', [id]);
    if (!result.ok) {
      writeFailed(result);
      return;
    }
    s.words = s.words.filter((x) => x.word_id !== id);
    if (s.wordId === id) s.wordId = null;
    P.wb.paintWords();
    P.ui.toast('‘' + lemma + '’ 을(를) 휴지통으로 옮겼어요.', {
      kind: 'success', seconds: 10,
      action: {label: '되돌리기', onClick: async () => {
        const back = await call('restore_word', [id]);
        if (!back.ok) {
          writeFailed(back);
          return;
        }
        P.ui.toast('되돌렸어요.', {kind: 'success'});
        P.wb.loadWords(true);
      }}});
  }

  // A word found by search that belongs to no source on screen.
  async function wordDialog(id, row) {
    const lemma = row && typeof row.lemma === 'string' ? row.lemma : '';
    const body = h('div.word-dialog', null, P.ui.spinner('뜻을 불러오는 중…'));
    P.ui.dialog({title: lemma || '단어', body: body, actions: [{label: '닫기', primary: true}]});
    const result = await call('word_details', [[id]]);
    const d = result.ok && result.data && typeof result.data[id] === 'object' ? result.data[id] : {};
    const list = h('dl.detail-list');
    for (const [key, label] of [['korean', '한글 뜻'], ['phonetic', '발음'], ['definition', '영어 정의'],
                                ['example', '예문']]) {
      const v = typeof d[key] === 'string' && d[key] ? d[key]
        : key === 'korean' && row && typeof row.korean === 'string' ? row.korean : '';
      if (v) list.append(h('dt', null, label), h('dd', null, v));
    }
    P.dom.replace(body, result.ok ? list : h('p.dialog-error', null, P.errors.messageFor(result)),
                  row && row.source_title ? h('p.muted', null, '출처: ' + row.source_title) : null);
  }

  // ---- the folder picker ----

  // The folders as the server has them now (they may have changed in another window); the
  // word book's own when they cannot be read.
  async function freshFolders() {
    const result = await call('list_folders', [], {quiet: true});
    if (!result.ok || !Array.isArray(result.data)) return lib();
    return T.build({folders: result.data, sources: []});
  }

  // Resolves a folder id, null for the top, or undefined when cancelled.
  async function pickFolder(o) {
    const l = await freshFolders();
    return new Promise((resolve) => {
      const all = T.flatten(l, new Set(l.folders.keys()));
      let choice = o.current === undefined ? null : o.current;
      // A folder cannot go into itself or below itself.
      for (const b of Array.from(o.banned)) {
        for (const d of T.descendants(l, b)) o.banned.add(d);
      }
      const filter = h('input.text-input', {type: 'search', placeholder: '폴더 이름으로 찾기',
                                            attrs: {'aria-label': '폴더 찾기'}});
      const listEl = h('div.picker-list', {role: 'listbox', attrs: {'aria-label': '옮길 곳'}});
      let picked;
      const paint = () => {
        const q = P.highlight.needle(filter.value);
        const rows = [{id: null, depth: 0, name: o.topLabel}];
        for (const r of all) {
          const f = l.folders.get(r.id);
          if (q && !P.highlight.fold(f.name).includes(P.highlight.fold(q))) continue;
          rows.push({id: r.id, depth: q ? 0 : r.depth + 1, name: f.name});
          if (rows.length > 400) break;
        }
        P.dom.replace(listEl, rows.map((r) => {
          const disabled = r.id !== null && o.banned.has(r.id);
          const item = h('button.picker-item' + (r.id === choice ? '.chosen' : ''), {
            type: 'button', role: 'option', disabled: disabled,
            attrs: {'aria-selected': r.id === choice ? 'true' : 'false'},
            style: {'--depth': r.depth}, dataset: {folder: r.id === null ? '' : r.id},
          }, icon(r.id === null ? 'layers' : 'folder'), h('span', null, r.name),
          r.id === o.current ? h('span.muted', null, ' (지금 위치)') : null);
          item.addEventListener('click', () => {
            choice = r.id;
            paint();
          });
          item.addEventListener('dblclick', () => {
            choice = r.id;
            d.element.querySelector('button.primary').click();
          });
          return item;
        }));
      };
      filter.addEventListener('input', paint);
      paint();
      const d = P.ui.dialog({
        title: o.title, wide: true,
        body: [filter, listEl],
        actions: [{label: '취소'}, {label: '옮기기', primary: true, onClick: () => { picked = choice; }}],
        onClose: () => resolve(picked),
        initialFocus: filter,
      });
    });
  }

  P.wbActions = {createFolder, renameFolder, moveFolder, moveFolderDialog, shiftFolder, deleteFolder,
                 renameSource, moveSource, moveSourceDialog, deleteSource, openSource, deleteWord,
                 wordDialog, pickFolder, writeFailed};
})(typeof window !== 'undefined' ? window : globalThis);
