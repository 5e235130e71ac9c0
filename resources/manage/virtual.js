// Long lists drawn a window at a time: only the rows in view (and a few around them) exist in the
// document, so a list of 20,000 sources scrolls as lightly as one of twenty.
(function (root) {
  'use strict';
  const P = root.Parlendo || (root.Parlendo = {});

  // The rows to draw: [first, end) for a scroll offset, a viewport height and a row height.
  function range(scrollTop, viewport, rowHeight, count, overscan) {
    if (count <= 0 || rowHeight <= 0) return {first: 0, end: 0};
    const extra = overscan === undefined ? 8 : overscan;
    const top = Math.max(0, scrollTop);
    const first = Math.max(0, Math.min(count - 1, Math.floor(top / rowHeight)) - extra);
    const visible = Math.ceil(Math.max(viewport, rowHeight) / rowHeight);
    const end = Math.min(count, Math.floor(top / rowHeight) + visible + 1 + extra);
    return {first: first, end: Math.max(first, end)};
  }

  // The scroll offset that brings row `index` into view, or null when it already is.
  function scrollFor(index, scrollTop, viewport, rowHeight) {
    const top = index * rowHeight;
    if (top < scrollTop) return top;
    if (top + rowHeight > scrollTop + viewport) return top + rowHeight - viewport;
    return null;
  }

  // A scrolling list. options: {rowHeight, className, role, label, render(index) -> element,
  // empty() -> element}. Rows are absolutely placed inside a sizer as tall as the whole list.
  class VirtualList {
    constructor(options) {
      const {h} = P.dom;
      this.options = options;
      this.count = 0;
      this.rowHeight = options.rowHeight;
      this.sizer = h('div.vlist-sizer');
      this.element = h('div.vlist' + (options.className ? '.' + options.className : ''), {
        role: options.role || 'list',
        attrs: {'aria-label': options.label || null, tabindex: options.focusable ? '0' : null},
      }, this.sizer);
      this.drawn = new Map();
      this.frame = 0;
      this.element.addEventListener('scroll', () => this.schedule());
      if (typeof ResizeObserver === 'function') {
        this.resize = new ResizeObserver(() => this.schedule());
        this.resize.observe(this.element);
      }
    }

    // New contents: `count` rows; every drawn row is made again.
    setCount(count) {
      this.count = count;
      this.sizer.style.height = count * this.rowHeight + 'px';
      this.refresh();
    }

    // Draws the rows in view again (after the data behind them changed).
    refresh() {
      for (const el of this.drawn.values()) el.remove();
      this.drawn.clear();
      this.draw();
      this.showEmpty();
    }

    showEmpty() {
      if (this.emptyElement) {
        this.emptyElement.remove();
        this.emptyElement = null;
      }
      if (this.count === 0 && this.options.empty) {
        this.emptyElement = this.options.empty();
        if (this.emptyElement) this.element.appendChild(this.emptyElement);
      }
    }

    schedule() {
      if (this.frame) return;
      const raf = root.requestAnimationFrame || ((f) => setTimeout(f, 16));
      this.frame = raf(() => {
        this.frame = 0;
        this.draw();
      });
    }

    draw() {
      const viewport = this.element.clientHeight || 600;
      const r = range(this.element.scrollTop, viewport, this.rowHeight, this.count);
      for (const [index, el] of this.drawn) {
        if (index < r.first || index >= r.end) {
          el.remove();
          this.drawn.delete(index);
        }
      }
      for (let i = r.first; i < r.end; i++) {
        if (this.drawn.has(i)) continue;
        const el = this.options.render(i);
        el.style.top = i * this.rowHeight + 'px';
        el.style.height = this.rowHeight + 'px';
        el.classList.add('vlist-row');
        this.sizer.appendChild(el);
        this.drawn.set(i, el);
      }
      if (this.options.drawn) this.options.drawn(r);
    }

    // Scrolls row `index` into view and answers its element (after drawing).
    reveal(index) {
      if (index < 0 || index >= this.count) return null;
      const viewport = this.element.clientHeight || 600;
      const to = scrollFor(index, this.element.scrollTop, viewport, this.rowHeight);
      if (to !== null) this.element.scrollTop = to;
      this.draw();
      return this.drawn.get(index) || null;
    }

    // Changes the drawn rows in place (a new choice), keeping their elements.
    update(fn) {
      for (const [index, el] of this.drawn) fn(el, index);
    }

    rowElement(index) {
      return this.drawn.get(index) || null;
    }

    // Moves the keyboard focus from row `from` to row `to` (one tab stop in the list), bringing
    // `to` into view.
    moveFocus(from, to) {
      const old = this.rowElement(from);
      if (old) old.tabIndex = -1;
      const el = this.reveal(to);
      if (el) {
        el.tabIndex = 0;
        el.focus();
      }
    }

    visibleRange() {
      const viewport = this.element.clientHeight || 600;
      return range(this.element.scrollTop, viewport, this.rowHeight, this.count, 0);
    }
  }

  P.virtual = {range, scrollFor, VirtualList};
})(typeof window !== 'undefined' ? window : globalThis);
