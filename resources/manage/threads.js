// Saved AI conversations: a document's map (its table of contents with the questions asked on its
// pages), the questions that belong to no document, and one conversation with its mathematics.
(function (root) {
  'use strict';
  const P = root.Parlendo || (root.Parlendo = {});
  const call = P.bridge ? P.bridge.call : null;
  // The page's content policy runs only scripts that carry this load's nonce, the renderer too.
  const own = root.document ? root.document.currentScript : null;
  const nonce = own ? own.nonce : '';

  // Splits a text into plain pieces and TeX pieces: $$…$$ and \[…\] are shown on their own line,
  // \(…\) and $…$ inside the line. A lone or unclosed dollar stays text; "$5 and $10" is prices.
  function splitMath(text) {
    const s = typeof text === 'string' ? text : '';
    const out = [];
    let plain = '';
    let i = 0;
    const flush = () => {
      if (plain) out.push({type: 'text', text: plain});
      plain = '';
    };
    const closeAt = (open, close, from) => {
      const end = s.indexOf(close, from);
      return end > from ? end : -1;
    };
    while (i < s.length) {
      const rest = s.startsWith.bind(s);
      let matched = false;
      for (const [open, close, display] of [['$$', '$$', true], ['\\[', '\\]', true],
                                            ['\\(', '\\)', false]]) {
        if (rest(open, i)) {
          const end = closeAt(open, close, i + open.length);
          if (end >= 0) {
            flush();
            out.push({type: 'math', text: s.slice(i + open.length, end).trim(), display: display});
            i = end + close.length;
            matched = true;
          }
          break;
        }
      }
      if (matched) continue;
      if (s[i] === '$' && s[i - 1] !== '\\' && s[i + 1] !== '$') {
        const end = findInlineEnd(s, i + 1);
        if (end > 0) {
          flush();
          out.push({type: 'math', text: s.slice(i + 1, end), display: false});
          i = end + 1;
          continue;
        }
      }
      plain += s[i];
      i += 1;
    }
    flush();
    return out;
  }

  // The closing dollar of an inline formula that opens at `from`, or -1.
  function findInlineEnd(s, from) {
    if (from >= s.length || /\s/.test(s[from])) return -1;
    for (let j = from; j < s.length; j++) {
      if (s[j] === '\n' && s[j + 1] === '\n') return -1;
      if (s[j] === '$' && s[j - 1] !== '\\') {
        if (j === from || /\s/.test(s[j - 1]) || /[0-9]/.test(s[j + 1] || '')) return -1;
        return j;
      }
    }
    return -1;
  }

  // ---- rendering (browser only) ----

  let mathState = 'idle';  // idle, loading, ready, none
  let mathWaiters = [];

  function loadMath() {
    if (mathState === 'ready' || mathState === 'none') return Promise.resolve(mathState === 'ready');
    return new Promise((resolve) => {
      mathWaiters.push(resolve);
      if (mathState === 'loading') return;
      mathState = 'loading';
      call('drive_math_lib', [], {quiet: true}).then((result) => {
        let ok = false;
        if (result.ok && typeof result.data === 'string' && result.data) {
          try {
            const script = document.createElement('script');
            script.nonce = nonce;
            script.textContent = result.data;
            document.head.appendChild(script);
            ok = typeof root.temml === 'object' && typeof root.temml.render === 'function';
          } catch (_) {
            ok = false;
          }
        }
        mathState = ok ? 'ready' : 'none';
        const waiting = mathWaiters;
        mathWaiters = [];
        for (const f of waiting) f(ok);
      });
    });
  }

  // The content of one message: paragraphs, with formulas drawn when the renderer is there.
  function renderContent(text, withMath) {
    const {h} = P.dom;
    const box = h('div.message-text');
    for (const piece of splitMath(text)) {
      if (piece.type === 'text') {
        box.appendChild(document.createTextNode(piece.text));
        continue;
      }
      const el = h(piece.display ? 'div.math.display' : 'span.math');
      let drawn = false;
      if (withMath) {
        try {
          root.temml.render(piece.text, el, {displayMode: piece.display, throwOnError: false});
          drawn = el.childNodes.length > 0;
        } catch (_) {
          drawn = false;
        }
      }
      if (!drawn) {
        P.dom.clear(el);
        el.classList.add('raw');
        el.textContent = piece.display ? '$$' + piece.text + '$$' : '$' + piece.text + '$';
      }
      box.appendChild(el);
    }
    return box;
  }

  const ROLE = {user: '질문', assistant: 'AI', system: '안내'};

  async function openThread(threadId) {
    const {h, icon} = P.dom;
    const body = h('div.thread', null, P.ui.spinner('대화를 불러오는 중…'));
    P.ui.dialog({title: '저장된 대화', wide: true, className: 'thread-dialog', body: body,
                 actions: [{label: '닫기', primary: true}]});
    const [result, withMath] = await Promise.all([call('drive_thread', [threadId]), loadMath()]);
    if (!result.ok) {
      P.dom.replace(body, h('p.dialog-error', {role: 'alert'}, P.errors.messageFor(result)));
      return;
    }
    const t = result.data || {};
    const messages = Array.isArray(t.messages) ? t.messages : [];
    P.dom.replace(body,
                  typeof t.selection === 'string' && t.selection
                    ? h('blockquote.selection', null, t.selection) : null,
                  typeof t.page_no === 'number' ? h('p.muted', null, t.page_no + '쪽에서 물어봄') : null,
                  messages.length ? null : h('p.muted', null, '메시지가 없어요.'),
                  messages.map((m) => h('div.message.' + (m && m.role === 'user' ? 'from-user' : 'from-ai'), null,
                                        h('div.message-head', null,
                                          icon(m && m.role === 'user' ? 'user' : 'sparkle'),
                                          h('strong', null, ROLE[m && m.role] || String(m && m.role || '')),
                                          m && typeof m.created_at === 'string'
                                            ? h('span.muted', null, P.text.dateTime(m.created_at)) : null),
                                        renderContent(m && typeof m.content === 'string' ? m.content : '',
                                                      withMath))));
  }

  // The rows of a document map: its contents with their threads under them, and the threads that
  // sit under no entry. Pure.
  function mapRows(map) {
    const toc = map && Array.isArray(map.toc) ? map.toc : [];
    const threads = map && Array.isArray(map.threads) ? map.threads : [];
    const byOrd = new Map();
    const loose = [];
    for (const t of threads) {
      if (!t || typeof t !== 'object') continue;
      if (typeof t.toc_ord === 'number' && toc.some((e) => e && e.ord === t.toc_ord)) {
        if (!byOrd.has(t.toc_ord)) byOrd.set(t.toc_ord, []);
        byOrd.get(t.toc_ord).push(t);
      } else {
        loose.push(t);
      }
    }
    const rows = [];
    for (const e of toc) {
      if (!e || typeof e !== 'object') continue;
      rows.push({type: 'entry', entry: e, threads: byOrd.get(e.ord) || []});
    }
    return {rows: rows, loose: loose};
  }

  P.threads = {splitMath, renderContent, loadMath, openThread, mapRows};
})(typeof window !== 'undefined' ? window : globalThis);
