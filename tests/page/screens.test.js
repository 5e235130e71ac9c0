'use strict';
// The pure parts of the screens: what they make of the replies they get.
const test = require('node:test');
const assert = require('node:assert/strict');
const P = require('./load').load('dom.js', 'text.js', 'errors.js', 'bridge.js', 'tree.js',
                                 'popups.js', 'projects.js', 'trash.js', 'detect.js', 'auth.js',
                                 'wb-lists.js');

const SCHEMA = [
  {id: 'duration', label: '팝업 지속시간(초)', default: 3.0, min: 1.0, max: 30.0, choices: null},
  {id: 'width', label: '팝업 폭', default: 'normal', min: null, max: null,
   choices: ['narrow', 'normal', 'wide']},
  {id: 'opacity', label: '팝업 불투명도(%)', default: 94, min: 40, max: 100, choices: null},
];
const TYPES = [{id: 'korean', label: '한글 뜻', input: 'word'},
               {id: 'translation', label: '문장 번역', input: 'raw_text'}];

test('a popup card shows the options it will use, whatever the row holds', () => {
  const {effectiveOptions, optionSummary, inputsOf, checkForm} = P.popups;
  assert.deepEqual(effectiveOptions(SCHEMA, {}), {duration: 3.0, width: 'normal', opacity: 94});
  assert.deepEqual(effectiveOptions(SCHEMA, {duration: 99, width: 'huge', opacity: true}),
                   {duration: 30, width: 'normal', opacity: 94});
  assert.deepEqual(effectiveOptions(SCHEMA, null).duration, 3.0);
  assert.equal(optionSummary(SCHEMA, {duration: 2.5, width: 'wide', opacity: 80}),
               '2.5초 동안 · 폭 넓게 · 불투명도 80%');
  assert.equal(optionSummary([], {}), '');
  assert.deepEqual([...inputsOf(TYPES, ['korean', 'translation', 'unknown'])].sort(),
                   ['sentence', 'word']);
  assert.equal(checkForm({name: '  ', contents: ['korean']}).problem !== null, true);
  assert.equal(checkForm({name: '가'.repeat(41), contents: ['korean']}).problem !== null, true);
  assert.equal(checkForm({name: '가'.repeat(40), contents: ['korean']}).problem, null);
  assert.equal(checkForm({name: '👍🏽'.repeat(40), contents: ['korean']}).problem, null);
  assert.notEqual(checkForm({name: 'x', contents: []}).problem, null);
});

test('an upload\'s results are summed up, failures named with their reason', () => {
  const s = P.projects.uploadSummary({
    results: [{file_name: 'a.pdf', document_id: 'd1', status: 'ready', duplicate_of: null},
              {file_name: 'b.pdf', document_id: 'd2', status: 'ready', duplicate_of: 'd2'},
              {file_name: 'c.pdf', document_id: 'd3', status: 'no_text', duplicate_of: null},
              {file_name: 'd.pdf', error: 'pdf_unreadable'},
              {error: 'weird_code'}, null],
    not_pdf: 2, too_many: 5});
  assert.equal(s.done, 3);
  assert.equal(s.duplicates, 1);
  assert.equal(s.noText, 1);
  assert.equal(s.notPdf, 2);
  assert.equal(s.tooMany, 5);
  assert.deepEqual(s.failed.map((f) => f.name), ['d.pdf', 'document.pdf']);
  assert.match(s.failed[0].text, /PDF를 열 수 없어요/);
  assert.match(s.failed[1].text, /weird_code/);
  assert.deepEqual(P.projects.uploadSummary(null).failed, []);
  const {boundedProblem} = P.projects;
  assert.equal(boundedProblem(' 프로젝트 ', 40, '이름'), null);
  assert.notEqual(boundedProblem('\n ', 40, '이름'), null);
  assert.notEqual(boundedProblem('a'.repeat(41), 40, '이름'), null);
});

test('restores say what came back and what did not', () => {
  const {restoredText} = P.trash;
  assert.equal(restoredText('folders', {restored: {folders: 2, sources: 3, words: 0, sentences: 1},
                                        skipped_sources: []}),
               '폴더를 되살렸어요 (폴더 2개, 출처 3개, 문장 1개).');
  assert.match(restoredText('folders', {restored: {}, skipped_sources: ['s1', 's2']}), /출처 2개는/);
  assert.match(restoredText('sources', {restored: {words: 4}, moved_to_root: true}), /폴더 밖에/);
  assert.match(restoredText('words', {source_requires_restore: true}), /출처가 휴지통/);
  assert.equal(restoredText('sentences', {source_requires_restore: null}), '문장을 되살렸어요.');
  assert.equal(restoredText('words', null), '단어를 되살렸어요.');
  assert.deepEqual(P.trash.describe('words', {lemma: 'x', korean: null, source_id: 9}),
                   {main: 'x', sub: ''});
});

test('turned-away captures are listed only when the status carries them', () => {
  const {rejections} = P.detect;
  assert.deepEqual(rejections({enabled: true}), []);
  const rows = rejections({health: {rejections: {capture: {CAPTURE_CAPACITY: 3},
                                                 display: {POPUP_CAPACITY: 1}}}});
  assert.equal(rows.length, 7);
  assert.equal(rows.find((r) => r.key === 'CAPTURE_CAPACITY').count, 3);
  assert.equal(rows.find((r) => r.key === 'SAVE_CAPACITY').count, 0);
});

test('what a wipe or reset changed, and how review states read', () => {
  const {wipeSummary} = P.auth;
  assert.equal(wipeSummary({reset: true, credentials_absent_verified: true}),
               '이 컴퓨터의 로그인 상태를 초기화했어요.');
  const partial = wipeSummary({deleted: true, credentials_absent_verified: false,
                               optional_key_removed: false, local_files_removed: null});
  assert.match(partial, /정리했어요/);
  assert.match(partial, /확인하지 못했어요/);
  assert.match(partial, /AI 키는 지우지 못했어요/);
  assert.doesNotMatch(partial, /설정 파일/);
  const {statusLabel} = P.wbLists;
  assert.deepEqual(statusLabel('new'), {text: '새 단어', kind: 'new'});
  assert.deepEqual(statusLabel(undefined), {text: '', kind: 'none'});
  assert.deepEqual(statusLabel('<b>odd</b>'), {text: '<b>odd</b>', kind: 'other'});
});
