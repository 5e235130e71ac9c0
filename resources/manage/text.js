// Pure text helpers: Korean dates and counts, lengths as the user sees them, addresses.
(function (root) {
  'use strict';
  const P = root.Parlendo || (root.Parlendo = {});

  const graphemes = typeof Intl !== 'undefined' && Intl.Segmenter
    ? new Intl.Segmenter('ko', {granularity: 'grapheme'})
    : null;

  // Characters as the user perceives them (a flag or a Hangul syllable counts as one).
  function charCount(text) {
    if (typeof text !== 'string') return 0;
    if (graphemes) {
      let n = 0;
      for (const _ of graphemes.segment(text)) n += 1;  // eslint-disable-line no-unused-vars
      return n;
    }
    return Array.from(text).length;
  }

  // Unicode scalars, as the server's limits count them.
  function scalarCount(text) {
    return typeof text === 'string' ? Array.from(text).length : 0;
  }

  // Python's str.strip(): whitespace as Unicode defines it, at both ends.
  function strip(text) {
    return typeof text === 'string' ? text.replace(/^[\s\u0085\u001c-\u001f]+|[\s\u0085\u001c-\u001f]+$/gu, '') : '';
  }

  function isBlank(text) {
    return strip(text) === '';
  }

  function number(n) {
    if (typeof n !== 'number' || !isFinite(n)) return '0';
    return Math.trunc(n).toLocaleString('ko-KR');
  }

  function pad(n) {
    return n < 10 ? '0' + n : String(n);
  }

  // Reads a server time stamp; null when it is not one.
  function parseTime(value) {
    if (typeof value !== 'string' || value === '') return null;
    const t = Date.parse(value);
    return isNaN(t) ? null : new Date(t);
  }

  // "2024. 3. 5." in the local calendar; "" when the value is not a time.
  function date(value) {
    const d = parseTime(value);
    if (!d) return '';
    return d.getFullYear() + '. ' + (d.getMonth() + 1) + '. ' + d.getDate() + '.';
  }

  function dateTime(value) {
    const d = parseTime(value);
    if (!d) return '';
    return date(value) + ' ' + pad(d.getHours()) + ':' + pad(d.getMinutes());
  }

  // "방금", "5분 전", "3시간 전", "어제", "4일 전", else the date.
  function ago(value, now) {
    const d = parseTime(value);
    if (!d) return '';
    const ref = now instanceof Date ? now : new Date();
    const seconds = (ref.getTime() - d.getTime()) / 1000;
    if (seconds < 0) return date(value);
    if (seconds < 60) return '방금';
    if (seconds < 3600) return Math.floor(seconds / 60) + '분 전';
    if (seconds < 86400) return Math.floor(seconds / 3600) + '시간 전';
    const days = Math.floor(seconds / 86400);
    if (days === 1) return '어제';
    if (days < 7) return days + '일 전';
    return date(value);
  }

  // What to show for a source address: the host of a web page, the file name of a document.
  function describeAddress(url) {
    if (typeof url !== 'string' || url === '') return {kind: 'none', label: ''};
    const lower = url.toLowerCase();
    if (lower.startsWith('http://') || lower.startsWith('https://')) {
      try {
        const host = new URL(url).host;
        return {kind: 'web', label: host.replace(/^www\./, '')};
      } catch (_) {
        return {kind: 'web', label: url};
      }
    }
    if (lower.startsWith('file://')) {
      let path = url.slice(7).split(/[?#]/)[0];
      try {
        path = decodeURIComponent(path);
      } catch (_) { /* keep it encoded */ }
      const name = path.split('/').filter(Boolean).pop() || path;
      return {kind: 'file', label: name};
    }
    return {kind: 'other', label: url};
  }

  // Cuts a text to `max` characters with an ellipsis.
  function shorten(text, max) {
    if (typeof text !== 'string') return '';
    const chars = Array.from(text);
    return chars.length <= max ? text : chars.slice(0, Math.max(0, max - 1)).join('') + '…';
  }

  // Texts that must not be empty on screen.
  function orPlaceholder(text, placeholder) {
    return typeof text === 'string' && strip(text) !== '' ? text : placeholder;
  }

  P.text = {charCount, scalarCount, strip, isBlank, number, parseTime, date, dateTime, ago,
            describeAddress, shorten, orPlaceholder};
})(typeof window !== 'undefined' ? window : globalThis);
