// Dialogs, menus, notices and the unsaved-edit registry shared by every screen.
(function (root) {
  'use strict';
  const P = root.Parlendo || (root.Parlendo = {});
  const {h, icon} = P.dom;

  // ---- unsaved edits ----

  const dirtySources = new Set();
  function trackDirty(fn) {
    dirtySources.add(fn);
    return () => dirtySources.delete(fn);
  }
  function anyDirty() {
    for (const fn of dirtySources) {
      try {
        if (fn()) return true;
      } catch (_) { /* a broken check counts as clean */ }
    }
    return false;
  }

  // ---- dialogs ----

  const stack = [];
  let dialogSeq = 0;

  function focusables(el) {
    return Array.from(el.querySelectorAll(
      'button:not([disabled]), [href], input:not([disabled]), select:not([disabled]), ' +
      'textarea:not([disabled]), [tabindex]:not([tabindex="-1"])'))
      .filter((x) => !x.hidden && x.offsetParent !== null);
  }

  // options: {title, body, actions: [{label, primary, danger, onClick(dialog) -> false keeps it
  // open (may be async)}], dirty() -> bool, className, onClose(result), initialFocus, wide}
  function dialog(options) {
    dialogSeq += 1;
    const titleId = 'dialog-title-' + dialogSeq;
    const errorLine = h('p.dialog-error', {role: 'alert', hidden: true});
    const actions = h('div.dialog-actions');
    const box = h('div.dialog' + (options.className ? '.' + options.className : '') +
                  (options.wide ? '.wide' : ''), {
      role: 'dialog',
      attrs: {'aria-modal': 'true', 'aria-labelledby': titleId},
    },
    h('div.dialog-head',
      h('h2', {id: titleId}, options.title || ''),
      P.dom.iconButton('x', '닫기', () => handle.requestClose())),
    h('div.dialog-body', options.body || null),
    errorLine,
    actions);
    const backdrop = h('div.modal-backdrop', null, box);
    const previous = document.activeElement;
    let busy = false;
    let closed = false;
    const untrack = options.dirty ? trackDirty(options.dirty) : null;

    const handle = {
      element: box,
      close(result) {
        if (closed) return;
        closed = true;
        if (untrack) untrack();
        backdrop.remove();
        const at = stack.indexOf(handle);
        if (at >= 0) stack.splice(at, 1);
        if (previous && typeof previous.focus === 'function' && document.contains(previous)) {
          previous.focus();
        }
        if (options.onClose) options.onClose(result);
      },
      async requestClose() {
        if (busy) return;
        if (options.dirty && options.dirty()) {
          const drop = await confirm({title: '저장하지 않은 변경 내용을 버릴까요?',
                                      message: '닫으면 지금 고친 내용이 사라져요.',
                                      confirmLabel: '버리고 닫기', cancelLabel: '계속 편집',
                                      danger: true});
          if (!drop) return;
        }
        handle.close(null);
      },
      setBusy(on) {
        busy = on;
        box.classList.toggle('busy', on);
        for (const b of actions.querySelectorAll('button')) b.disabled = on;
      },
      setError(text) {
        errorLine.textContent = text || '';
        errorLine.hidden = !text;
      },
      get closed() { return closed; },
    };

    for (const a of options.actions || []) {
      const button = h('button' + (a.primary ? '.primary' : '') + (a.danger ? '.danger' : ''),
                       {type: 'button', dataset: {action: a.id || ''}}, a.label);
      button.addEventListener('click', async () => {
        if (busy) return;
        if (!a.onClick) {
          handle.close(a.id || a.label);
          return;
        }
        handle.setError('');
        const keep = await a.onClick(handle);
        if (keep !== false && !closed) handle.close(a.id || a.label);
      });
      actions.appendChild(button);
    }

    box.addEventListener('keydown', (e) => {
      if (e.key === 'Escape') {
        e.preventDefault();
        e.stopPropagation();
        handle.requestClose();
      } else if (e.key === 'Tab') {
        const items = focusables(box);
        if (!items.length) return;
        const first = items[0];
        const last = items[items.length - 1];
        if (e.shiftKey && document.activeElement === first) {
          e.preventDefault();
          last.focus();
        } else if (!e.shiftKey && document.activeElement === last) {
          e.preventDefault();
          first.focus();
        }
      } else if (e.key === 'Enter' && (e.ctrlKey || e.metaKey)) {
        const primary = actions.querySelector('button.primary');
        if (primary && !primary.disabled) {
          e.preventDefault();
          primary.click();
        }
      }
    });
    backdrop.addEventListener('mousedown', (e) => {
      if (e.target === backdrop) handle.requestClose();
    });

    document.body.appendChild(backdrop);
    stack.push(handle);
    const first = options.initialFocus || box.querySelector('[autofocus]') ||
      focusables(box.querySelector('.dialog-body'))[0] || actions.querySelector('button.primary') ||
      actions.querySelector('button');
    if (first) first.focus();
    return handle;
  }

  function topDialog() {
    return stack.length ? stack[stack.length - 1] : null;
  }

  function closeAll() {
    while (stack.length) stack[stack.length - 1].close(null);
    closeMenu();
  }

  // A yes-or-no question. Resolves true when confirmed.
  function confirm(o) {
    return new Promise((resolve) => {
      let answer = false;
      dialog({
        title: o.title,
        className: 'confirm',
        body: o.body || (o.message ? h('p', null, o.message) : null),
        actions: [
          {label: o.cancelLabel || '취소', id: 'cancel'},
          {label: o.confirmLabel || '확인', id: 'confirm', primary: !o.danger, danger: !!o.danger,
           onClick: () => { answer = true; }},
        ],
        onClose: () => resolve(answer),
      });
    });
  }

  // A one-field form. submit(value, dialog) answers an error text to keep the dialog open, or
  // nothing to close it. Resolves the value submitted, or null when cancelled.
  function prompt(o) {
    return new Promise((resolve) => {
      const input = h('input.text-input', {type: 'text', value: o.value || '', attrs: {
        'aria-label': o.label, maxlength: o.maxLength || null, spellcheck: 'false'}});
      const counter = h('span.counter');
      const updateCounter = () => {
        if (!o.maxChars) return;
        const n = P.text.charCount(input.value);
        counter.textContent = n + ' / ' + o.maxChars;
        counter.classList.toggle('over', n > o.maxChars);
      };
      input.addEventListener('input', updateCounter);
      updateCounter();
      let submitted = null;
      const initial = input.value;
      const d = dialog({
        title: o.title,
        body: [o.message ? h('p', null, o.message) : null,
               h('label.field', null, h('span.field-label', null, o.label), input, counter)],
        dirty: () => input.value !== initial,
        actions: [
          {label: '취소', id: 'cancel'},
          {label: o.confirmLabel || '확인', id: 'confirm', primary: true, onClick: async (dlg) => {
            const value = input.value;
            if (o.validate) {
              const problem = o.validate(value);
              if (problem) {
                dlg.setError(problem);
                input.focus();
                return false;
              }
            }
            if (o.submit) {
              dlg.setBusy(true);
              const problem = await o.submit(value, dlg);
              dlg.setBusy(false);
              if (problem) {
                dlg.setError(problem);
                input.focus();
                return false;
              }
            }
            submitted = value;
            return true;
          }},
        ],
        onClose: () => resolve(submitted),
        initialFocus: input,
      });
      input.addEventListener('keydown', (e) => {
        if (e.key === 'Enter' && !e.isComposing && e.keyCode !== 229) {
          e.preventDefault();
          d.element.querySelector('button.primary').click();
        }
      });
      input.select();
    });
  }

  // ---- menus ----

  let openMenu = null;

  function closeMenu() {
    if (!openMenu) return;
    const m = openMenu;
    openMenu = null;
    m.element.remove();
    document.removeEventListener('mousedown', m.outside, true);
    if (m.previous && document.contains(m.previous)) m.previous.focus();
  }

  // items: [{label, onClick, icon, shortcut, disabled, danger} | '-']; at: an element (the menu
  // opens below it) or {x, y}.
  function menu(at, items, label) {
    closeMenu();
    const list = h('div.menu', {role: 'menu', attrs: {'aria-label': label || '메뉴'}});
    const buttons = [];
    for (const item of items) {
      if (item === '-') {
        list.appendChild(h('div.menu-sep', {role: 'separator'}));
        continue;
      }
      const b = h('button.menu-item' + (item.danger ? '.danger' : ''), {
        type: 'button', role: 'menuitem', disabled: !!item.disabled, tabIndex: -1,
        dataset: {menu: item.id || ''},
      }, item.icon ? icon(item.icon) : h('span.icon-space'), h('span.menu-label', null, item.label),
      item.shortcut ? h('kbd', null, item.shortcut) : null);
      b.addEventListener('click', () => {
        closeMenu();
        item.onClick();
      });
      list.appendChild(b);
      buttons.push(b);
    }
    list.addEventListener('keydown', (e) => {
      const enabled = buttons.filter((b) => !b.disabled);
      const at2 = enabled.indexOf(document.activeElement);
      if (e.key === 'ArrowDown' || e.key === 'ArrowUp') {
        e.preventDefault();
        const step = e.key === 'ArrowDown' ? 1 : -1;
        const next = enabled[(at2 + step + enabled.length) % enabled.length];
        if (next) next.focus();
      } else if (e.key === 'Escape' || e.key === 'Tab') {
        e.preventDefault();
        e.stopPropagation();
        closeMenu();
      } else if (e.key === 'Home' || e.key === 'End') {
        e.preventDefault();
        const next = e.key === 'Home' ? enabled[0] : enabled[enabled.length - 1];
        if (next) next.focus();
      }
    });
    document.body.appendChild(list);
    let x;
    let y;
    if (at && typeof at.getBoundingClientRect === 'function') {
      const r = at.getBoundingClientRect();
      x = r.left;
      y = r.bottom + 2;
    } else {
      x = at && typeof at.x === 'number' ? at.x : 100;
      y = at && typeof at.y === 'number' ? at.y : 100;
    }
    const w = list.offsetWidth;
    const hgt = list.offsetHeight;
    x = Math.max(4, Math.min(x, root.innerWidth - w - 4));
    y = Math.max(4, Math.min(y, root.innerHeight - hgt - 4));
    list.style.left = x + 'px';
    list.style.top = y + 'px';
    const outside = (e) => {
      if (!list.contains(e.target)) closeMenu();
    };
    document.addEventListener('mousedown', outside, true);
    openMenu = {element: list, outside: outside, previous: document.activeElement};
    const first = buttons.find((b) => !b.disabled);
    if (first) first.focus();
    return list;
  }

  // ---- notices ----

  let toastRegion = null;
  function region() {
    if (!toastRegion) {
      toastRegion = h('div.toasts', {attrs: {'aria-live': 'polite'}});
      document.body.appendChild(toastRegion);
    }
    return toastRegion;
  }

  // kind: 'info', 'success', 'error'; action: {label, onClick}; seconds (0 keeps it).
  function toast(text, o) {
    const opts = o || {};
    const kind = opts.kind || 'info';
    const seconds = opts.seconds !== undefined ? opts.seconds : (kind === 'error' ? 8 : 5);
    const el = h('div.toast.' + kind, {role: kind === 'error' ? 'alert' : 'status'},
                 icon(kind === 'error' ? 'alert' : kind === 'success' ? 'check' : 'message'),
                 h('span.toast-text', null, text));
    let timer = 0;
    const dismiss = () => {
      clearTimeout(timer);
      el.remove();
    };
    if (opts.action) {
      el.appendChild(h('button.toast-action', {type: 'button', onClick: () => {
        dismiss();
        opts.action.onClick();
      }}, opts.action.label));
    }
    el.appendChild(P.dom.iconButton('x', '알림 닫기', dismiss, {className: 'toast-close'}));
    region().appendChild(el);
    while (region().children.length > 4) region().firstChild.remove();
    if (seconds > 0) timer = setTimeout(dismiss, seconds * 1000);
    return {dismiss};
  }

  // Messages about one screen go when the user moves to another.
  function clearToasts() {
    if (toastRegion) P.dom.replace(toastRegion);
  }

  function failed(result, context) {
    return toast(P.errors.messageFor(result, context), {kind: 'error'});
  }

  // ---- small widgets ----

  // An on/off switch with a label.
  function toggle(label, checked, onChange, opts) {
    const o = opts || {};
    const input = h('input', {type: 'checkbox', role: 'switch', checked: !!checked,
                              disabled: !!o.disabled, attrs: {'aria-label': o.ariaLabel || label}});
    input.addEventListener('change', () => onChange(input.checked, input));
    return h('label.switch' + (o.className ? '.' + o.className : ''), null, input,
             h('span.switch-track', {attrs: {'aria-hidden': 'true'}}),
             label ? h('span.switch-label', null, label) : null);
  }

  function spinner(label) {
    return h('div.loading', {role: 'status'}, h('span.spinner', {attrs: {'aria-hidden': 'true'}}),
             h('span', null, label || '불러오는 중…'));
  }

  function emptyState(iconName, title, text, action) {
    return h('div.empty', null, icon(iconName, 'empty-icon'), h('p.empty-title', null, title),
             text ? h('p.empty-text', null, text) : null, action || null);
  }

  function errorState(message, retry) {
    return h('div.empty.error-state', {role: 'alert'}, icon('alert', 'empty-icon'),
             h('p.empty-title', null, '불러오지 못했어요'), h('p.empty-text', null, message),
             retry ? h('button', {type: 'button', onClick: retry}, '다시 시도') : null);
  }

  P.ui = {dialog, confirm, prompt, menu, closeMenu, closeAll, topDialog, toast, clearToasts, failed, toggle,
          spinner, emptyState, errorState, trackDirty, anyDirty,
          get menuOpen() { return openMenu !== null; }};
})(typeof window !== 'undefined' ? window : globalThis);
