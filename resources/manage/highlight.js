// Search text: what the server will look for, and where a result's text matches it. Pure.
(function (root) {
  'use strict';
  const P = root.Parlendo || (root.Parlendo = {});

  // The server searches for the text with ",()*%_" turned into blanks and the ends trimmed, as
  // one piece that may sit anywhere, without regard to letter case.
  function needle(query) {
    if (typeof query !== 'string') return '';
    return P.text.strip(P.text.strip(query).replace(/[,()*%_]/g, ' '));
  }

  // Lower-cases one character at a time, keeping every character's length, so that positions in
  // the folded text are positions in the original.
  function fold(text) {
    let out = '';
    for (const ch of text) {
      const lower = ch.toLowerCase();
      out += lower.length === ch.length ? lower : ch;
    }
    return out;
  }

  // [{text, match}] pieces of `text`, in order, that together give `text` back; the pieces that
  // equal the needle (ignoring case) are marked. No match, or an empty needle: one piece.
  function segments(text, query) {
    const source = typeof text === 'string' ? text : '';
    const n = needle(query);
    if (!source || !n) return source ? [{text: source, match: false}] : [];
    const hay = fold(source);
    const want = fold(n);
    const out = [];
    let from = 0;
    for (;;) {
      const at = hay.indexOf(want, from);
      if (at < 0) break;
      if (at > from) out.push({text: source.slice(from, at), match: false});
      out.push({text: source.slice(at, at + want.length), match: true});
      from = at + want.length;
    }
    if (from < source.length) out.push({text: source.slice(from), match: false});
    return out;
  }

  // DOM: the text with <mark> around the matches.
  function render(text, query) {
    const {h} = P.dom;
    return segments(text, query).map((s) => (s.match ? h('mark', null, s.text) : s.text));
  }

  P.highlight = {needle, fold, segments, render};
})(typeof window !== 'undefined' ? window : globalThis);
