'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const P = require('./load').load('text.js', 'tree.js');
const T = P.tree;

function folder(id, parent, position, name) {
  return {folder_id: id, name: name || id, parent_id: parent, position: position};
}
function source(id, folderId, title) {
  return {source_id: id, title: title || id, folder_id: folderId, last_seen_at: '', url: ''};
}

test('folders nest by parent and sort by position, then by the order received', () => {
  const lib = T.build({folders: [folder('b', null, 1), folder('a', null, 0), folder('c', 'a', 0),
                                 folder('d', 'a', 0), folder('e', 'a', -1)], sources: []});
  assert.deepEqual(lib.roots, ['a', 'b']);
  assert.deepEqual(lib.folders.get('a').children, ['e', 'c', 'd']);
  const rows = T.flatten(lib, new Set(['a']));
  assert.deepEqual(rows.map((r) => [r.id, r.depth]), [['a', 0], ['e', 1], ['c', 1], ['d', 1],
                                                      ['b', 0]]);
  assert.equal(rows[0].hasChildren, true);
  assert.equal(T.flatten(lib, new Set()).length, 2);
});

test('missing parents, parent circles and bad rows never lose a folder or hang', () => {
  const lib = T.build({folders: [folder('x', 'gone', 0), folder('p', 'q', 0), folder('q', 'r', 0),
                                 folder('r', 'p', 0), folder('self', 'self', 0), null, 7,
                                 {folder_id: 3, name: 'number id'}, folder('x', null, 0, 'dup'),
                                 {folder_id: 'blank', name: '   '}], sources: []});
  assert.equal(lib.folders.size, 6);
  assert.equal(lib.folders.get('x').name, 'x');
  assert.equal(lib.folders.get('blank').name, T.NO_NAME);
  assert.ok(lib.roots.includes('x'));
  assert.ok(lib.roots.includes('self'));
  // The circle p → q → r → p is cut once: all three stay reachable from the top.
  const shown = T.flatten(lib, new Set(lib.folders.keys())).map((r) => r.id);
  assert.deepEqual(shown.slice().sort(), ['blank', 'p', 'q', 'r', 'self', 'x']);
  assert.equal(new Set(shown).size, shown.length);
});

test('sources fall into their folder, or are unfiled when it is missing; totals count subfolders',
     () => {
       const lib = T.build({
         folders: [folder('a', null, 0), folder('b', 'a', 0)],
         sources: [source('s1', 'b'), source('s2', 'a'), source('s3', null), source('s4', 'gone'),
                   {source_id: 's5', title: '', folder_id: 9}, source('s1', 'a')],
       });
       assert.deepEqual(lib.unfiled, ['s3', 's4', 's5']);
       assert.equal(lib.sources.get('s5').title, T.NO_TITLE);
       assert.equal(lib.totals.get('a'), 2);
       assert.equal(lib.totals.get('b'), 1);
       assert.deepEqual(T.sourcesOf(lib, 'all'), ['s1', 's2', 's3', 's4', 's5']);
       assert.deepEqual(T.sourcesOf(lib, 'a'), ['s2']);
       assert.deepEqual(T.sourcesOf(lib, 'nope'), []);
     });

test('a folder cannot move into itself or below itself; the top level is allowed', () => {
  const lib = T.build({folders: [folder('a', null, 0), folder('b', 'a', 0), folder('c', 'b', 0),
                                 folder('d', null, 1)], sources: []});
  assert.deepEqual(T.canMove(lib, 'a', 'c'), {ok: false, reason: 'cycle'});
  assert.deepEqual(T.canMove(lib, 'a', 'a'), {ok: false, reason: 'cycle'});
  assert.deepEqual(T.canMove(lib, 'b', 'a'), {ok: false, reason: 'same'});
  assert.deepEqual(T.canMove(lib, 'c', null), {ok: true, reason: ''});
  assert.deepEqual(T.canMove(lib, 'c', 'd'), {ok: true, reason: ''});
  assert.deepEqual(T.canMove(lib, 'c', 'zz'), {ok: false, reason: 'missing'});
  assert.deepEqual(T.path(lib, 'c').map((f) => f.id), ['a', 'b', 'c']);
  assert.deepEqual(T.descendants(lib, 'a'), ['a', 'b', 'c']);
});

test('sibling orders for a drop before or after another folder, and for a step up or down', () => {
  const lib = T.build({folders: [folder('a', null, 0), folder('b', null, 1), folder('c', null, 2)],
                       sources: []});
  assert.deepEqual(T.reorder(lib, null, 'c', 'a', 'before'), ['c', 'a', 'b']);
  assert.deepEqual(T.reorder(lib, null, 'a', 'c', 'after'), ['b', 'c', 'a']);
  assert.deepEqual(T.reorder(lib, null, 'a', 'b', 'before'), ['a', 'b', 'c']);
  assert.equal(T.reorder(lib, null, 'a', 'zz', 'before'), null);
  assert.deepEqual(T.shift(lib, 'b', -1), ['b', 'a', 'c']);
  assert.equal(T.shift(lib, 'a', -1), null);
  assert.equal(T.shift(lib, 'c', 1), null);
  T.applyOrder(lib, null, ['c', 'a', 'b']);
  assert.deepEqual(lib.roots, ['c', 'a', 'b']);
});

test('confirmed changes: add, move, remove a branch with its sources, rename and move sources',
     () => {
       const lib = T.build({folders: [folder('a', null, 0), folder('b', 'a', 0)],
                            sources: [source('s1', 'b'), source('s2', null)]});
       T.addFolder(lib, {folder_id: 'n', name: '새', parent_id: 'a', position: 1});
       assert.deepEqual(lib.folders.get('a').children, ['b', 'n']);
       T.moveFolder(lib, 'b', null, 5);
       assert.deepEqual(lib.roots, ['a', 'b']);
       assert.equal(lib.totals.get('a'), 0);
       T.updateSource(lib, {source_id: 's2', title: '  ', folder_id: 'n'});
       assert.equal(lib.sources.get('s2').title, T.NO_TITLE);
       assert.equal(lib.totals.get('a'), 1);
       assert.deepEqual(T.removeFolder(lib, 'a'), ['s2']);
       assert.equal(lib.folders.has('n'), false);
       assert.deepEqual(lib.sourceOrder, ['s1']);
       T.removeSource(lib, 's1');
       assert.equal(lib.sources.size, 0);
     });

test('20,000 sources in 2,000 folders build quickly', () => {
  const folders = [];
  for (let i = 0; i < 2000; i++) folders.push(folder('f' + i, i < 50 ? null : 'f' + (i % 50), i));
  const sources = [];
  for (let i = 0; i < 20000; i++) sources.push(source('s' + i, 'f' + (i % 2000)));
  const started = Date.now();
  const lib = T.build({folders, sources});
  assert.ok(Date.now() - started < 500);
  assert.equal(lib.totals.get('f0'), 400);
});
