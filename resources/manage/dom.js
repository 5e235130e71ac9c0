// Element building for the manage page. Every text reaches the document as a text node or an
// attribute value, never as markup.
(function (root) {
  'use strict';
  const P = root.Parlendo || (root.Parlendo = {});

  const SVG = 'http://www.w3.org/2000/svg';

  function append(parent, child) {
    if (child === null || child === undefined || child === false || child === true) return;
    if (Array.isArray(child)) {
      for (const c of child) append(parent, c);
      return;
    }
    if (typeof child === 'string' || typeof child === 'number') {
      parent.appendChild(document.createTextNode(String(child)));
      return;
    }
    parent.appendChild(child);
  }

  // h('button.primary', {onClick: f, attrs: {'aria-label': '...'}}, 'text', child, [more])
  // The tag may carry classes after dots. Props: className, id, text, title, type, value,
  // disabled, checked, hidden, tabIndex, role, dataset {}, attrs {}, style {}, on<Event>.
  // A second argument that is not a plain object (an element, a text, a list) is a child.
  function h(tag, props, ...children) {
    const parts = tag.split('.');
    const el = document.createElement(parts[0] || 'div');
    if (parts.length > 1) el.className = parts.slice(1).join(' ');
    if (isProps(props)) applyProps(el, props);
    else append(el, props);
    append(el, children);
    return el;
  }

  function isProps(v) {
    return v !== null && typeof v === 'object' && !Array.isArray(v) &&
      !(typeof Node !== 'undefined' && v instanceof Node);
  }

  function applyProps(el, props) {
    for (const key of Object.keys(props)) {
      const value = props[key];
      if (value === undefined || value === null) continue;
      if (key === 'className') {
        el.className = el.className ? el.className + ' ' + value : value;
      } else if (key === 'text') {
        el.textContent = String(value);
      } else if (key === 'dataset') {
        for (const d of Object.keys(value)) el.dataset[d] = String(value[d]);
      } else if (key === 'attrs') {
        for (const a of Object.keys(value)) {
          if (value[a] === false || value[a] === null || value[a] === undefined) continue;
          el.setAttribute(a, value[a] === true ? '' : String(value[a]));
        }
      } else if (key === 'style') {
        for (const s of Object.keys(value)) el.style.setProperty(s, String(value[s]));
      } else if (key === 'role') {
        el.setAttribute('role', value);
      } else if (key.length > 2 && key.startsWith('on') && typeof value === 'function') {
        el.addEventListener(key.slice(2).toLowerCase(), value);
      } else {
        el[key] = value;
      }
    }
  }

  function clear(el) {
    while (el.firstChild) el.removeChild(el.firstChild);
    return el;
  }

  function replace(el, ...children) {
    clear(el);
    append(el, children);
    return el;
  }

  // Icons: 24×24 stroke paths.
  const ICONS = {
    book: 'M4 5.5A2.5 2.5 0 0 1 6.5 3H20v15H6.5A2.5 2.5 0 0 0 4 20.5zM4 20.5A2.5 2.5 0 0 0 6.5 23H20v-5',
    folder: 'M3 6.5A1.5 1.5 0 0 1 4.5 5H9l2 2.5h8.5A1.5 1.5 0 0 1 21 9v9.5a1.5 1.5 0 0 1-1.5 1.5h-15A1.5 1.5 0 0 1 3 18.5z',
    inbox: 'M3 13h5l1.5 3h5l1.5-3h5M5 5h14l2 8v6a1 1 0 0 1-1 1H4a1 1 0 0 1-1-1v-6z',
    layers: 'M12 3l9 5-9 5-9-5zM3 13l9 5 9-5',
    chevron: 'M9 6l6 6-6 6',
    down: 'M6 9l6 6 6-6',
    up: 'M6 15l6-6 6 6',
    link: 'M10 14a4 4 0 0 0 5.66 0l3-3a4 4 0 0 0-5.66-5.66l-1 1M14 10a4 4 0 0 0-5.66 0l-3 3a4 4 0 0 0 5.66 5.66l1-1',
    file: 'M14 3H6.5A1.5 1.5 0 0 0 5 4.5v15A1.5 1.5 0 0 0 6.5 21h11a1.5 1.5 0 0 0 1.5-1.5V8zM14 3v5h5',
    trash: 'M4 7h16M9 7V4.5h6V7M6.5 7l1 13h9l1-13M10 11v6M14 11v6',
    cards: 'M4 6h12v12H4zM8 3h12v12',
    project: 'M3 7h18v12H3zM8 7V4h8v3',
    radar: 'M12 12l6-6M12 3a9 9 0 1 0 9 9M12 7a5 5 0 1 0 5 5',
    settings: 'M12 15a3 3 0 1 0 0-6 3 3 0 0 0 0 6zM19.4 15a1.7 1.7 0 0 0 .3 1.8l.1.1a2 2 0 1 1-2.8 2.8l-.1-.1a1.7 1.7 0 0 0-1.8-.3 1.7 1.7 0 0 0-1 1.5V21a2 2 0 1 1-4 0v-.1a1.7 1.7 0 0 0-1.1-1.5 1.7 1.7 0 0 0-1.8.3l-.1.1a2 2 0 1 1-2.8-2.8l.1-.1a1.7 1.7 0 0 0 .3-1.8 1.7 1.7 0 0 0-1.5-1H3a2 2 0 1 1 0-4h.1a1.7 1.7 0 0 0 1.5-1.1 1.7 1.7 0 0 0-.3-1.8l-.1-.1a2 2 0 1 1 2.8-2.8l.1.1a1.7 1.7 0 0 0 1.8.3H9a1.7 1.7 0 0 0 1-1.5V3a2 2 0 1 1 4 0v.1a1.7 1.7 0 0 0 1 1.5 1.7 1.7 0 0 0 1.8-.3l.1-.1a2 2 0 1 1 2.8 2.8l-.1.1a1.7 1.7 0 0 0-.3 1.8V9a1.7 1.7 0 0 0 1.5 1H21a2 2 0 1 1 0 4h-.1a1.7 1.7 0 0 0-1.5 1z',
    user: 'M12 12a4 4 0 1 0 0-8 4 4 0 0 0 0 8zM4 21a8 8 0 0 1 16 0',
    search: 'M11 18a7 7 0 1 0 0-14 7 7 0 0 0 0 14zM21 21l-5-5',
    refresh: 'M20 12a8 8 0 1 1-2.3-5.6M20 4v5h-5',
    sun: 'M12 17a5 5 0 1 0 0-10 5 5 0 0 0 0 10zM12 1v2M12 21v2M4.2 4.2l1.4 1.4M18.4 18.4l1.4 1.4M1 12h2M21 12h2M4.2 19.8l1.4-1.4M18.4 5.6l1.4-1.4',
    moon: 'M21 12.8A9 9 0 1 1 11.2 3a7 7 0 0 0 9.8 9.8z',
    plus: 'M12 5v14M5 12h14',
    more: 'M5 12h.01M12 12h.01M19 12h.01',
    check: 'M5 12.5l4.5 4.5L19 7',
    x: 'M6 6l12 12M18 6L6 18',
    eye: 'M2 12s3.5-7 10-7 10 7 10 7-3.5 7-10 7S2 12 2 12zM12 15a3 3 0 1 0 0-6 3 3 0 0 0 0 6z',
    upload: 'M12 16V4M7 9l5-5 5 5M4 17v2.5A1.5 1.5 0 0 0 5.5 21h13a1.5 1.5 0 0 0 1.5-1.5V17',
    sparkle: 'M12 3l1.8 5.2L19 10l-5.2 1.8L12 17l-1.8-5.2L5 10l5.2-1.8zM19 16l.8 2.2L22 19l-2.2.8L19 22l-.8-2.2L16 19l2.2-.8z',
    key: 'M15 9a4 4 0 1 1-8 0 4 4 0 0 1 8 0zM13.8 11.8L21 19v2h-3v-2h-2v-2h-2l-1.6-1.6',
    message: 'M4 5h16v11H9l-5 4z',
    restore: 'M4 12a8 8 0 1 0 2.3-5.6M4 4v5h5',
    open: 'M14 4h6v6M20 4l-9 9M18 14v5a1 1 0 0 1-1 1H5a1 1 0 0 1-1-1V7a1 1 0 0 1 1-1h5',
    move: 'M5 12h14M15 8l4 4-4 4',
    edit: 'M4 20h4L19 9l-4-4L4 16zM13.5 6.5l4 4',
    logout: 'M15 4h4a1 1 0 0 1 1 1v14a1 1 0 0 1-1 1h-4M10 16l-4-4 4-4M6 12h11',
    play: 'M7 4v16l13-8z',
    stop: 'M6 6h12v12H6z',
    map: 'M9 4L3 6v14l6-2 6 2 6-2V4l-6 2zM9 4v14M15 6v14',
    drag: 'M9 6h.01M15 6h.01M9 12h.01M15 12h.01M9 18h.01M15 18h.01',
    alert: 'M12 9v4M12 17h.01M10.3 3.9L2 18a2 2 0 0 0 1.7 3h16.6A2 2 0 0 0 22 18L13.7 3.9a2 2 0 0 0-3.4 0z',
  };

  function icon(name, extraClass) {
    const svg = document.createElementNS(SVG, 'svg');
    svg.setAttribute('viewBox', '0 0 24 24');
    svg.setAttribute('aria-hidden', 'true');
    svg.setAttribute('focusable', 'false');
    svg.setAttribute('class', 'icon' + (extraClass ? ' ' + extraClass : ''));
    const path = document.createElementNS(SVG, 'path');
    path.setAttribute('d', ICONS[name] || ICONS.file);
    svg.appendChild(path);
    return svg;
  }

  // A button with an icon and a visible or screen-reader label.
  function iconButton(name, label, onClick, opts) {
    const o = opts || {};
    return h(
      'button.icon-button' + (o.className ? '.' + o.className : ''),
      {type: 'button', title: o.title || label, attrs: {'aria-label': label}, onClick: onClick,
       disabled: o.disabled},
      icon(name));
  }

  P.dom = {h, clear, replace, append, icon, iconButton, ICONS};
})(typeof window !== 'undefined' ? window : globalThis);
