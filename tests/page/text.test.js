'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const P = require('./load').load('dom.js', 'text.js', 'highlight.js', 'virtual.js',
                                 'viewsettings.js');

test('search highlighting finds the server\'s needle in any letter case and keeps every piece', () => {
  const {segments, needle} = P.highlight;
  assert.equal(needle('  (apple)  '), 'apple');
  assert.equal(needle('%_*'), '');
  assert.equal(needle(' a, b '), 'a  b');
  const parts = segments('An apple, APPLE pie', 'apple');
  assert.deepEqual(parts, [{text: 'An ', match: false}, {text: 'apple', match: true},
                           {text: ', ', match: false}, {text: 'APPLE', match: true},
                           {text: ' pie', match: false}]);
  assert.equal(parts.map((p) => p.text).join(''), 'An apple, APPLE pie');
  assert.deepEqual(segments('사과 사과나무', '사과').filter((p) => p.match).length, 2);
  assert.deepEqual(segments('abc', ''), [{text: 'abc', match: false}]);
  assert.deepEqual(segments('', 'a'), []);
  assert.deepEqual(segments(null, 'a'), []);
  // Letters whose lower case is longer (İ) keep positions right.
  const turkish = segments('İstanbul is big', 'is');
  assert.equal(turkish.map((p) => p.text).join(''), 'İstanbul is big');
  assert.deepEqual(turkish.filter((p) => p.match).map((p) => p.text), ['is']);
  // Markup stays text.
  const markup = segments('<b>bold</b>', 'b>');
  assert.equal(markup.map((p) => p.text).join(''), '<b>bold</b>');
  // Emoji are not split.
  const emoji = segments('😀 smile 😀', 'smile');
  assert.equal(emoji.map((p) => p.text).join(''), '😀 smile 😀');
});

test('the drawn window of a long list', () => {
  const {range, scrollFor} = P.virtual;
  assert.deepEqual(range(0, 300, 30, 0), {first: 0, end: 0});
  assert.deepEqual(range(0, 300, 30, 5, 0), {first: 0, end: 5});
  assert.deepEqual(range(0, 300, 30, 20000, 0), {first: 0, end: 11});
  assert.deepEqual(range(3000, 300, 30, 20000, 4), {first: 96, end: 115});
  assert.deepEqual(range(1e9, 300, 30, 100, 0), {first: 99, end: 100});
  assert.deepEqual(range(-50, 300, 30, 100, 0), {first: 0, end: 11});
  assert.equal(scrollFor(0, 0, 300, 30), null);
  assert.equal(scrollFor(20, 0, 300, 30), 330);
  assert.equal(scrollFor(2, 300, 300, 30), 60);
});

test('characters as users count them, Korean dates and addresses', () => {
  const t = P.text;
  assert.equal(t.charCount('한글'), 2);
  assert.equal(t.charCount('👍🏽'), 1);
  assert.equal(t.charCount(5), 0);
  assert.equal(t.scalarCount('👍🏽'), 2);
  assert.equal(t.strip('\u3000 a b\n'), 'a b');
  assert.equal(t.number(12345), '12,345');
  assert.equal(t.date('not a date'), '');
  assert.equal(t.date(null), '');
  const now = new Date('2024-03-10T12:00:00Z');
  assert.equal(t.ago('2024-03-10T11:59:30Z', now), '방금');
  assert.equal(t.ago('2024-03-10T11:00:00Z', now), '1시간 전');
  assert.equal(t.ago('2024-03-09T11:00:00Z', now), '어제');
  assert.equal(t.ago('2024-03-06T12:00:00Z', now), '4일 전');
  assert.deepEqual(t.describeAddress('https://www.example.com/a?b'), {kind: 'web', label: 'example.com'});
  assert.deepEqual(t.describeAddress('file:///home/me/Paper%20One.pdf#page=3'),
                   {kind: 'file', label: 'Paper One.pdf'});
  assert.deepEqual(t.describeAddress('file:///bad%zz.pdf'), {kind: 'file', label: 'bad%zz.pdf'});
  assert.deepEqual(t.describeAddress(''), {kind: 'none', label: ''});
  assert.equal(t.shorten('abcdef', 4), 'abc…');
  assert.equal(t.orPlaceholder('  ', '(없음)'), '(없음)');
});

test('view settings read any stored value and keep what they do not know', () => {
  const v = P.viewSettings;
  assert.deepEqual(v.normalize(null), v.DEFAULTS);
  assert.deepEqual(v.normalize([1]), v.DEFAULTS);
  const read = v.normalize({theme: 'dark', density: 'tiny', showKorean: 'no', showPhonetic: false});
  assert.equal(read.theme, 'dark');
  assert.equal(read.density, 'comfortable');
  assert.equal(read.showKorean, true);
  assert.equal(read.showPhonetic, false);
  const merged = v.merge({other: {x: 1}, theme: 'light'}, Object.assign({}, v.DEFAULTS, {theme: 'dark'}));
  assert.deepEqual(merged.other, {x: 1});
  assert.equal(merged.theme, 'dark');
  assert.equal(merged.version, 1);
  const words = [{lemma: 'b', created_at: '2024-01-02'}, {lemma: 'A', created_at: '2024-01-03'},
                 {lemma: 'c', created_at: '2024-01-01'}];
  assert.deepEqual(v.sortWords(words, 'alpha').map((w) => w.lemma), ['A', 'b', 'c']);
  assert.deepEqual(v.sortWords(words, 'oldest').map((w) => w.lemma), ['c', 'b', 'A']);
  assert.deepEqual(v.sortWords(words, 'newest').map((w) => w.lemma), ['b', 'A', 'c']);
});

test('the page joins a particle to the key name before it, as the program\'s windows do', () => {
  const {folder} = require('./load');
  const fs = require('fs');
  const path = require('path');
  const files = fs.readdirSync(folder).filter((name) => name.endsWith('.js'))
    .map((name) => path.join(folder, name))
    .concat([path.join(folder, '..', 'manage.html')]);
  const key = String.raw`\b(?:Alt|Ctrl|Shift|Enter|Esc|Tab|Delete|Backspace|Space|F\d{1,2})(?:\+\w+)*`;
  const apart = new RegExp(key + String.raw` (?:을|를|은|는|이|가|와|과|로|으로)(?=[\s'".,)])`, 'g');
  const found = [];
  for (const file of files) {
    for (const match of fs.readFileSync(file, 'utf8').matchAll(apart)) {
      found.push(path.basename(file) + ': ' + match[0]);
    }
  }
  assert.deepEqual(found, []);
});
