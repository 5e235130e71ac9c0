// The word book's folders and sources as a tree, built from the flat lists the app sends. Pure:
// no DOM, no calls. The page changes it only with what the server confirmed.
(function (root) {
  'use strict';
  const P = root.Parlendo || (root.Parlendo = {});

  const NO_NAME = '(이름 없음)';
  const NO_TITLE = '(제목 없음)';

  function str(v) {
    return typeof v === 'string' ? v : null;
  }

  function num(v) {
    return typeof v === 'number' && isFinite(v) ? v : 0;
  }

  // data: {folders: [{folder_id, name, parent_id, position}], sources: [{source_id, title,
  // folder_id, last_seen_at, url}]}. Rows that carry no usable id are left out; a repeated id
  // keeps its first row.
  function build(data) {
    const lib = {folders: new Map(), roots: [], sources: new Map(), sourceOrder: [],
                 unfiled: [], totals: new Map()};
    const folderRows = data && Array.isArray(data.folders) ? data.folders : [];
    const sourceRows = data && Array.isArray(data.sources) ? data.sources : [];
    folderRows.forEach((row, index) => {
      if (!row || typeof row !== 'object') return;
      const id = str(row.folder_id);
      if (!id || lib.folders.has(id)) return;
      lib.folders.set(id, {
        id: id,
        name: str(row.name) !== null && row.name.trim() !== '' ? row.name : NO_NAME,
        parentId: str(row.parent_id),
        position: num(row.position),
        index: index,
        children: [],
        sourceIds: [],
      });
    });
    sourceRows.forEach((row) => {
      if (!row || typeof row !== 'object') return;
      const id = str(row.source_id);
      if (!id || lib.sources.has(id)) return;
      lib.sources.set(id, {
        id: id,
        title: str(row.title) !== null && row.title.trim() !== '' ? row.title : NO_TITLE,
        folderId: str(row.folder_id),
        url: str(row.url) || '',
        lastSeen: str(row.last_seen_at) || '',
      });
      lib.sourceOrder.push(id);
    });
    relink(lib);
    return lib;
  }

  function byPosition(lib) {
    return (a, b) => {
      const fa = lib.folders.get(a);
      const fb = lib.folders.get(b);
      return fa.position - fb.position || fa.index - fb.index;
    };
  }

  // Rebuilds children, roots, the sources of each folder and the totals from the rows' parent
  // and folder ids. A folder whose parent is missing, or whose parents run in a circle, stands
  // at the top; a source whose folder is missing is unfiled.
  function relink(lib) {
    lib.roots = [];
    for (const f of lib.folders.values()) {
      f.children = [];
      f.sourceIds = [];
    }
    const state = new Map();  // 1: being walked, 2: settled
    const effective = new Map();
    function settle(id) {
      const chain = [];
      let cur = id;
      while (cur !== null && !state.has(cur)) {
        state.set(cur, 1);
        chain.push(cur);
        const parent = lib.folders.get(cur).parentId;
        cur = parent !== null && lib.folders.has(parent) ? parent : null;
      }
      // Settled from the top down: each folder's parent is the next one in the chain, except
      // the last, whose parent is missing, settled already, or still being walked (a circle,
      // which that folder breaks by going to the top).
      for (let i = chain.length - 1; i >= 0; i--) {
        const parent = lib.folders.get(chain[i]).parentId;
        const ok = parent !== null && lib.folders.has(parent) && state.get(parent) === 2;
        effective.set(chain[i], ok ? parent : null);
        state.set(chain[i], 2);
      }
    }
    for (const id of lib.folders.keys()) {
      if (!state.has(id)) settle(id);
    }
    for (const f of lib.folders.values()) {
      f.parentId = effective.get(f.id);
      if (f.parentId === null) lib.roots.push(f.id);
      else lib.folders.get(f.parentId).children.push(f.id);
    }
    const order = byPosition(lib);
    lib.roots.sort(order);
    for (const f of lib.folders.values()) f.children.sort(order);
    lib.unfiled = [];
    for (const id of lib.sourceOrder) {
      const s = lib.sources.get(id);
      if (s.folderId !== null && lib.folders.has(s.folderId)) {
        lib.folders.get(s.folderId).sourceIds.push(id);
      } else {
        s.folderId = null;
        lib.unfiled.push(id);
      }
    }
    recount(lib);
  }

  function recount(lib) {
    lib.totals = new Map();
    const visit = (id) => {
      const f = lib.folders.get(id);
      let n = f.sourceIds.length;
      for (const c of f.children) n += visit(c);
      lib.totals.set(id, n);
      return n;
    };
    for (const id of lib.roots) visit(id);
  }

  function children(lib, parentId) {
    if (parentId === null) return lib.roots.slice();
    const f = lib.folders.get(parentId);
    return f ? f.children.slice() : [];
  }

  // Folder ids of the subtree under `id`, itself first.
  function descendants(lib, id) {
    const out = [];
    const stack = [id];
    while (stack.length) {
      const cur = stack.pop();
      const f = lib.folders.get(cur);
      if (!f) continue;
      out.push(cur);
      for (let i = f.children.length - 1; i >= 0; i--) stack.push(f.children[i]);
    }
    return out;
  }

  // The folders from the top down to `id`.
  function path(lib, id) {
    const out = [];
    let cur = id;
    const seen = new Set();
    while (cur !== null && lib.folders.has(cur) && !seen.has(cur)) {
      seen.add(cur);
      out.unshift(lib.folders.get(cur));
      cur = lib.folders.get(cur).parentId;
    }
    return out;
  }

  // The rows the tree shows: the children of expanded folders, depth first.
  function flatten(lib, expanded) {
    const rows = [];
    const walk = (ids, depth) => {
      for (const id of ids) {
        const f = lib.folders.get(id);
        const open = expanded.has(id);
        rows.push({id: id, depth: depth, hasChildren: f.children.length > 0, expanded: open});
        if (open && f.children.length) walk(f.children, depth + 1);
      }
    };
    walk(lib.roots, 0);
    return rows;
  }

  // Whether folder `id` may go under `parentId` (null: the top level).
  function canMove(lib, id, parentId) {
    const f = lib.folders.get(id);
    if (!f) return {ok: false, reason: 'missing'};
    if (parentId !== null && !lib.folders.has(parentId)) return {ok: false, reason: 'missing'};
    if (f.parentId === parentId) return {ok: false, reason: 'same'};
    if (parentId !== null && descendants(lib, id).includes(parentId)) {
      return {ok: false, reason: 'cycle'};
    }
    return {ok: true, reason: ''};
  }

  // The sibling order after putting `id` before or after `targetId` (both under `parentId`).
  function reorder(lib, parentId, id, targetId, place) {
    const order = children(lib, parentId).filter((x) => x !== id);
    const at = order.indexOf(targetId);
    if (at < 0) return null;
    order.splice(place === 'after' ? at + 1 : at, 0, id);
    return order;
  }

  // The sibling order after moving `id` by `delta` places; null when it cannot move.
  function shift(lib, id, delta) {
    const f = lib.folders.get(id);
    if (!f) return null;
    const order = children(lib, f.parentId);
    const at = order.indexOf(id);
    const to = at + delta;
    if (at < 0 || to < 0 || to >= order.length) return null;
    order.splice(at, 1);
    order.splice(to, 0, id);
    return order;
  }

  // ---- changes confirmed by the server ----

  function addFolder(lib, row) {
    const id = str(row && row.folder_id);
    if (!id) return null;
    lib.folders.set(id, {
      id: id,
      name: str(row.name) || NO_NAME,
      parentId: str(row.parent_id),
      position: num(row.position),
      index: lib.folders.size,
      children: [],
      sourceIds: [],
    });
    relink(lib);
    return id;
  }

  function renameFolder(lib, id, name) {
    const f = lib.folders.get(id);
    if (f && typeof name === 'string') f.name = name.trim() === '' ? NO_NAME : name;
  }

  function moveFolder(lib, id, parentId, position) {
    const f = lib.folders.get(id);
    if (!f) return;
    f.parentId = parentId;
    if (typeof position === 'number') f.position = position;
    relink(lib);
  }

  function applyOrder(lib, parentId, ids) {
    ids.forEach((id, index) => {
      const f = lib.folders.get(id);
      if (f) f.position = index;
    });
    relink(lib);
  }

  // Takes a folder, its subfolders and their sources out; answers the source ids removed.
  function removeFolder(lib, id) {
    const gone = descendants(lib, id);
    const removedSources = [];
    for (const fid of gone) {
      removedSources.push(...lib.folders.get(fid).sourceIds);
      lib.folders.delete(fid);
    }
    const drop = new Set(removedSources);
    for (const sid of drop) lib.sources.delete(sid);
    lib.sourceOrder = lib.sourceOrder.filter((sid) => !drop.has(sid));
    relink(lib);
    return removedSources;
  }

  function updateSource(lib, row) {
    const id = str(row && row.source_id);
    const s = id && lib.sources.get(id);
    if (!s) return;
    if (str(row.title) !== null) s.title = row.title.trim() === '' ? NO_TITLE : row.title;
    if ('folder_id' in row) s.folderId = str(row.folder_id);
    if (str(row.url) !== null) s.url = row.url;
    if (str(row.last_seen_at) !== null) s.lastSeen = row.last_seen_at;
    relink(lib);
  }

  function removeSource(lib, id) {
    if (!lib.sources.delete(id)) return;
    lib.sourceOrder = lib.sourceOrder.filter((sid) => sid !== id);
    relink(lib);
  }

  // Source ids of a view: one folder's own sources, the unfiled ones, or all.
  function sourcesOf(lib, scope) {
    if (scope === 'all') return lib.sourceOrder;
    if (scope === 'unfiled') return lib.unfiled;
    const f = lib.folders.get(scope);
    return f ? f.sourceIds : [];
  }

  let collator = null;
  function sortSources(lib, ids, how) {
    if (how !== 'title') return ids;
    if (!collator) collator = new Intl.Collator('ko', {numeric: true, sensitivity: 'base'});
    return ids.slice().sort((a, b) => collator.compare(lib.sources.get(a).title,
                                                       lib.sources.get(b).title));
  }

  P.tree = {build, relink, children, descendants, path, flatten, canMove, reorder, shift,
            addFolder, renameFolder, moveFolder, applyOrder, removeFolder, updateSource,
            removeSource, sourcesOf, sortSources, NO_NAME, NO_TITLE};
})(typeof window !== 'undefined' ? window : globalThis);
