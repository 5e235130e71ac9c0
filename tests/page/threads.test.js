'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const P = require('./load').load('text.js', 'threads.js');
const {splitMath, mapRows} = P.threads;

function shape(pieces) {
  return pieces.map((p) => (p.type === 'math' ? (p.display ? 'D:' : 'I:') + p.text : p.text));
}

test('formulas in answers are told from text, prices and stray dollars', () => {
  assert.deepEqual(shape(splitMath('Let $x^2$ be')), ['Let ', 'I:x^2', ' be']);
  assert.deepEqual(shape(splitMath('$$\\int f$$ done')), ['D:\\int f', ' done']);
  assert.deepEqual(shape(splitMath('a \\(b\\) c \\[d\\]')), ['a ', 'I:b', ' c ', 'D:d']);
  assert.deepEqual(shape(splitMath('costs $5 and $10 now')), ['costs $5 and $10 now']);
  assert.deepEqual(shape(splitMath('one $ alone')), ['one $ alone']);
  assert.deepEqual(shape(splitMath('unclosed $$ here')), ['unclosed $$ here']);
  assert.deepEqual(shape(splitMath('\\$ escaped $y$')), ['\\$ escaped ', 'I:y']);
  assert.deepEqual(shape(splitMath('$a\n\nb$')), ['$a\n\nb$']);
  assert.deepEqual(splitMath(null), []);
  // Everything is kept: the pieces give the text back, formulas in their delimiters.
  const text = '한국어 $e^{i\\pi}$ 와 <script>x</script>';
  const pieces = splitMath(text);
  assert.equal(pieces.map((p) => (p.type === 'math' ? '$' + p.text + '$' : p.text)).join(''), text);
});

test('a document map places threads under their entry; the rest stand apart', () => {
  const map = {
    toc: [{ord: 1, title: 'A', level: 1}, {ord: 2, title: 'B', level: 2}, null],
    threads: [{thread_id: 't1', toc_ord: 2}, {thread_id: 't2', toc_ord: null},
              {thread_id: 't3', toc_ord: 9}, {thread_id: 't4', toc_ord: 2}, 'junk'],
  };
  const {rows, loose} = mapRows(map);
  assert.equal(rows.length, 2);
  assert.deepEqual(rows[1].threads.map((t) => t.thread_id), ['t1', 't4']);
  assert.deepEqual(loose.map((t) => t.thread_id), ['t2', 't3']);
  assert.deepEqual(mapRows(null), {rows: [], loose: []});
});
