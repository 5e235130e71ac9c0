// The folder tree of the word book: a keyboard-driven tree with drag and drop.
(function (root) {
  'use strict';
  const P = root.Parlendo || (root.Parlendo = {});
  const {h, icon} = P.dom;

  // What is being dragged inside the page: {type: 'folder' | 'source', id}.
  P.wbDrag = null;

  function rowHeight() {
    return P.app.view.density === 'compact' ? 28 : 34;
  }

  function make() {
    const wb = P.wb;
    let rows = [];
    let focusIndex = 0;

    const list = new P.virtual.VirtualList({
      rowHeight: rowHeight(),
      className: 'tree',
      role: 'tree',
      label: '폴더',
      render: renderRow,
    });
    const body = h('div.pane-body', null, list.element);
    const element = h('section.pane.tree-pane', {attrs: {'aria-label': '폴더'}},
                      h('header.pane-head', null, h('h2', null, '폴더'),
                        P.dom.iconButton('plus', '새 폴더', () => P.wbActions.createFolder(null),
                                         {className: 'new-folder'})),
                      body);

    function buildRows() {
      const s = wb.state;
      rows = [{kind: 'all', depth: 0}, {kind: 'unfiled', depth: 0}];
      if (s.lib) {
        for (const r of P.tree.flatten(s.lib, s.expanded)) rows.push(Object.assign({kind: 'folder'}, r));
      }
    }

    function rowScope(row) {
      return row.kind === 'folder' ? row.id : row.kind;
    }

    function selectedIndex() {
      const scope = wb.state.scope;
      return rows.findIndex((r) => rowScope(r) === scope);
    }

    function renderRow(i) {
      const s = wb.state;
      const row = rows[i];
      const selected = rowScope(row) === s.scope;
      let name;
      let count;
      let iconName;
      if (row.kind === 'all') {
        name = '전체 출처';
        count = s.lib ? s.lib.sourceOrder.length : 0;
        iconName = 'layers';
      } else if (row.kind === 'unfiled') {
        name = '분류 안 된 출처';
        count = s.lib ? s.lib.unfiled.length : 0;
        iconName = 'inbox';
      } else {
        const f = s.lib.folders.get(row.id);
        name = f.name;
        count = s.lib.totals.get(row.id) || 0;
        iconName = 'folder';
      }
      const twisty = row.kind === 'folder' && row.hasChildren
        ? h('button.twisty' + (row.expanded ? '.open' : ''), {
          type: 'button', tabIndex: -1,
          attrs: {'aria-label': row.expanded ? '접기' : '펼치기'},
          onClick: (e) => {
            e.stopPropagation();
            toggle(row.id);
          }}, icon('chevron'))
        : h('span.twisty-space');
      const el = h('div.tree-row' + (selected ? '.selected' : ''), {
        role: 'treeitem',
        tabIndex: i === focusIndex ? 0 : -1,
        attrs: {
          'aria-level': row.depth + 1,
          'aria-selected': selected ? 'true' : 'false',
          'aria-expanded': row.kind === 'folder' && row.hasChildren ? String(row.expanded) : null,
          'data-focus': row.kind === 'folder' ? 'name:folder:' + row.id : null,
        },
        dataset: {index: i, scope: rowScope(row)},
        style: {'--depth': row.depth},
      }, twisty, icon(iconName, 'row-icon'), h('span.row-name', null, name),
      h('span.count', {attrs: {'aria-label': '출처 ' + count + '개'}}, P.text.number(count)),
      h('button.row-menu', {type: 'button', tabIndex: -1, attrs: {'aria-label': name + ' 메뉴'},
                            onClick: (e) => {
                              e.stopPropagation();
                              openMenu(i, e.currentTarget);
                            }}, icon('more')));
      el.addEventListener('click', () => choose(i, true));
      el.addEventListener('dblclick', () => {
        if (row.kind === 'folder' && row.hasChildren) toggle(row.id);
      });
      el.addEventListener('contextmenu', (e) => {
        e.preventDefault();
        choose(i);
        openMenu(i, {x: e.clientX, y: e.clientY});
      });
      if (row.kind === 'folder') {
        el.draggable = true;
        el.addEventListener('dragstart', (e) => {
          P.wbDrag = {type: 'folder', id: row.id};
          if (e.dataTransfer) {
            e.dataTransfer.effectAllowed = 'move';
            e.dataTransfer.setData('text/plain', name);
          }
          el.classList.add('dragging');
        });
        el.addEventListener('dragend', endDrag);
      }
      el.addEventListener('dragover', (e) => dragOver(e, el, row));
      el.addEventListener('dragleave', () => clearMarks(el));
      el.addEventListener('drop', (e) => drop(e, el, row));
      return el;
    }

    function endDrag() {
      P.wbDrag = null;
      for (const el of list.element.querySelectorAll('.dragging, .drop-inside, .drop-before, .drop-after')) {
        el.classList.remove('dragging', 'drop-inside', 'drop-before', 'drop-after');
      }
    }

    function clearMarks(el) {
      el.classList.remove('drop-inside', 'drop-before', 'drop-after');
    }

    // Where a drop on `row` would put the dragged item; null when it cannot go there.
    function dropPlan(e, el, row) {
      const drag = P.wbDrag;
      const s = wb.state;
      if (!drag || !s.lib) return null;
      if (drag.type === 'source') {
        if (row.kind === 'folder') return {place: 'inside', folder: row.id};
        return {place: 'inside', folder: null};
      }
      if (row.kind !== 'folder') {
        return P.tree.canMove(s.lib, drag.id, null).ok ? {place: 'inside', folder: null} : null;
      }
      if (row.id === drag.id) return null;
      const rect = el.getBoundingClientRect();
      const y = (e.clientY - rect.top) / Math.max(1, rect.height);
      const target = s.lib.folders.get(row.id);
      if (y < 0.25 || y > 0.75) {
        const parent = target.parentId;
        const moving = s.lib.folders.get(drag.id);
        if (parent !== moving.parentId && !P.tree.canMove(s.lib, drag.id, parent).ok) return null;
        return {place: y < 0.25 ? 'before' : 'after', folder: parent, target: row.id};
      }
      return P.tree.canMove(s.lib, drag.id, row.id).ok ? {place: 'inside', folder: row.id} : null;
    }

    function dragOver(e, el, row) {
      const plan = dropPlan(e, el, row);
      clearMarks(el);
      if (!plan) return;
      e.preventDefault();
      if (e.dataTransfer) e.dataTransfer.dropEffect = 'move';
      el.classList.add('drop-' + plan.place);
    }

    function drop(e, el, row) {
      const plan = dropPlan(e, el, row);
      const drag = P.wbDrag;
      endDrag();
      if (!plan || !drag) return;
      e.preventDefault();
      if (drag.type === 'source') P.wbActions.moveSource(drag.id, plan.folder);
      else P.wbActions.moveFolder(drag.id, plan.folder, plan.target ? plan : null);
    }

    // A click loads at once; the arrow keys wait a moment so that passing rows load nothing.
    function choose(i, immediate) {
      focusIndex = i;
      const row = rows[i];
      if (!row) return;
      wb.selectScope(rowScope(row), {focus: 'tree', immediate: immediate === true});
    }

    function toggle(id) {
      const e = wb.state.expanded;
      if (e.has(id)) e.delete(id);
      else e.add(id);
      const focusedScope = rows[focusIndex] ? rowScope(rows[focusIndex]) : null;
      buildRows();
      const again = rows.findIndex((r) => rowScope(r) === focusedScope);
      focusIndex = again >= 0 ? again : Math.min(focusIndex, rows.length - 1);
      repaint(true);
    }

    function openMenu(i, at) {
      const row = rows[i];
      const A = P.wbActions;
      if (!row) return;
      if (row.kind !== 'folder') {
        P.ui.menu(at, [{label: '새 폴더', icon: 'plus', onClick: () => A.createFolder(null)}],
                  '폴더 메뉴');
        return;
      }
      const f = wb.state.lib.folders.get(row.id);
      const siblings = P.tree.children(wb.state.lib, f.parentId);
      const at2 = siblings.indexOf(row.id);
      P.ui.menu(at, [
        {label: '하위 폴더 만들기', icon: 'plus', id: 'create-child', onClick: () => A.createFolder(row.id)},
        {label: '이름 바꾸기', icon: 'edit', id: 'rename', shortcut: 'F2', onClick: () => A.renameFolder(row.id)},
        {label: '옮기기…', icon: 'move', id: 'move', onClick: () => A.moveFolderDialog(row.id)},
        {label: '위로', icon: 'up', id: 'up', shortcut: 'Alt+↑', disabled: at2 <= 0,
         onClick: () => A.shiftFolder(row.id, -1)},
        {label: '아래로', icon: 'down', id: 'down', shortcut: 'Alt+↓',
         disabled: at2 < 0 || at2 >= siblings.length - 1, onClick: () => A.shiftFolder(row.id, 1)},
        '-',
        {label: '휴지통으로', icon: 'trash', id: 'delete', shortcut: 'Delete', danger: true,
         onClick: () => A.deleteFolder(row.id)},
      ], f.name + ' 메뉴');
    }

    function focusRow(i) {
      if (i < 0 || i >= rows.length) return;
      const from = focusIndex;
      focusIndex = i;  // before the list draws rows that read it
      list.moveFocus(from, i);
    }

    list.element.addEventListener('keydown', (e) => {
      if (e.target.closest('input, textarea')) return;
      const row = rows[focusIndex];
      const s = wb.state;
      if (!row) return;
      const A = P.wbActions;
      const folder = row.kind === 'folder' ? s.lib.folders.get(row.id) : null;
      let handled = true;
      if (e.altKey && (e.key === 'ArrowUp' || e.key === 'ArrowDown')) {
        if (folder) A.shiftFolder(folder.id, e.key === 'ArrowUp' ? -1 : 1);
      } else if (e.key === 'ArrowDown' || e.key === 'ArrowUp') {
        const next = focusIndex + (e.key === 'ArrowDown' ? 1 : -1);
        if (next >= 0 && next < rows.length) {
          focusRow(next);
          choose(next);
        }
      } else if (e.key === 'Home' || e.key === 'End') {
        const next = e.key === 'Home' ? 0 : rows.length - 1;
        focusRow(next);
        choose(next);
      } else if (e.key === 'ArrowRight') {
        if (folder && row.hasChildren && !row.expanded) toggle(folder.id);
        else if (folder && row.hasChildren) {
          focusRow(focusIndex + 1);
          choose(focusIndex);
        }
      } else if (e.key === 'ArrowLeft') {
        if (folder && row.expanded) toggle(folder.id);
        else if (folder && folder.parentId) {
          const parent = rows.findIndex((r) => r.kind === 'folder' && r.id === folder.parentId);
          if (parent >= 0) {
            focusRow(parent);
            choose(parent);
          }
        }
      } else if (e.key === 'Enter' || e.key === ' ') {
        choose(focusIndex);
        if (P.wb.panes) P.wb.panes.sources.focus();
      } else if (e.key === 'F2') {
        if (folder) A.renameFolder(folder.id);
      } else if (e.key === 'Delete') {
        if (folder) A.deleteFolder(folder.id);
      } else if (e.key === 'ContextMenu' || (e.shiftKey && e.key === 'F10')) {
        const el = list.rowElement(focusIndex);
        openMenu(focusIndex, el || {x: 200, y: 200});
      } else {
        handled = false;
      }
      if (handled) {
        e.preventDefault();
        e.stopPropagation();
      }
    });

    function repaint(keepFocus) {
      const hadFocus = list.element.contains(document.activeElement);
      list.setCount(rows.length);
      if (hadFocus || keepFocus) {
        const el = list.reveal(focusIndex);
        if (el && (hadFocus || keepFocus === true)) el.focus();
      }
    }

    return {
      element,
      refresh(focus) {
        if (!body.contains(list.element)) P.dom.replace(body, list.element);
        buildRows();
        const sel = selectedIndex();
        if (sel >= 0) focusIndex = sel;
        focusIndex = Math.max(0, Math.min(focusIndex, rows.length - 1));
        repaint(focus === true);
        if (sel >= 0) list.reveal(sel);
      },
      // Only the choice changed: the drawn rows are updated where they stand.
      select(focus) {
        const sel = selectedIndex();
        if (sel < 0) {
          this.refresh(focus);
          return;
        }
        focusIndex = sel;
        const scope = wb.state.scope;
        list.update((el, i) => {
          const on = rowScope(rows[i]) === scope;
          el.classList.toggle('selected', on);
          el.setAttribute('aria-selected', on ? 'true' : 'false');
          el.tabIndex = i === focusIndex ? 0 : -1;
        });
        const el = list.reveal(focusIndex);
        if (el && focus === true) el.focus();
      },
      focus() {
        const el = list.reveal(focusIndex);
        if (el) el.focus();
        else list.element.focus();
      },
      showError(message) {
        P.dom.replace(body, P.ui.errorState(message, () => P.wb.loadTree(false)));
      },
      rowCount: () => rows.length,
    };
  }

  P.wbTree = {make, rowHeight};
})(typeof window !== 'undefined' ? window : globalThis);
