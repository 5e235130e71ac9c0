// The page's own view preferences, kept per user on the server. Any stored value is read; what is
// not understood falls back to the defaults and is kept as it was when the settings are written.
(function (root) {
  'use strict';
  const P = root.Parlendo || (root.Parlendo = {});

  const CHOICES = {
    theme: ['system', 'light', 'dark'],
    density: ['comfortable', 'compact'],
    wordSort: ['newest', 'oldest', 'alpha'],
    sourceSort: ['recent', 'title'],
  };
  const FLAGS = ['showKorean', 'showPhonetic'];

  const DEFAULTS = {
    theme: 'system',
    density: 'comfortable',
    wordSort: 'newest',
    sourceSort: 'recent',
    showKorean: true,
    showPhonetic: true,
  };

  function isObject(v) {
    return v !== null && typeof v === 'object' && !Array.isArray(v);
  }

  // The settings to use for any stored value (null, a number, an old object…).
  function normalize(stored) {
    const out = Object.assign({}, DEFAULTS);
    if (!isObject(stored)) return out;
    for (const key of Object.keys(CHOICES)) {
      if (CHOICES[key].includes(stored[key])) out[key] = stored[key];
    }
    for (const key of FLAGS) {
      if (typeof stored[key] === 'boolean') out[key] = stored[key];
    }
    return out;
  }

  // What to store: the stored object with the known keys replaced.
  function merge(stored, settings) {
    const base = isObject(stored) ? Object.assign({}, stored) : {};
    const clean = normalize(settings);
    for (const key of Object.keys(DEFAULTS)) base[key] = clean[key];
    base.version = 1;
    return base;
  }

  // Word order in a list.
  function sortWords(words, how) {
    const list = words.slice();
    const time = (w) => (typeof w.created_at === 'string' ? w.created_at : '');
    if (how === 'oldest') {
      list.sort((a, b) => (time(a) < time(b) ? -1 : time(a) > time(b) ? 1 : 0));
    } else if (how === 'alpha') {
      const collator = new Intl.Collator('en', {sensitivity: 'base', numeric: true});
      list.sort((a, b) => collator.compare(String(a.lemma || ''), String(b.lemma || '')));
    }
    return list;
  }

  P.viewSettings = {normalize, merge, sortWords, DEFAULTS, CHOICES};
})(typeof window !== 'undefined' ? window : globalThis);
