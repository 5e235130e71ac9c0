'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('fs');
const path = require('path');
const P = require('./load').load('text.js', 'errors.js', 'bridge.js');
const {normalize, needsSignIn} = P.bridge;
const {messageFor} = P.errors;

test('envelopes: success, request, auth, stale (with or without its class) and save failures', () => {
  assert.deepEqual(normalize('load_tree', {ok: true, data: {folders: []}}),
                   {ok: true, data: {folders: []}});
  assert.deepEqual(normalize('x', {ok: true}), {ok: true, data: null});
  const request = normalize('x', {ok: false, msg: 'REQUEST_FAILED', error_class: 'request'});
  assert.equal(request.code, 'REQUEST_FAILED');
  assert.equal(request.stale, false);
  const auth = normalize('x', {ok: false, msg: 'AUTH_REAUTH_REQUIRED', error_class: 'auth'});
  assert.equal(needsSignIn(auth), true);
  assert.equal(normalize('x', {ok: false, msg: 'AUTH_STALE_COMPLETION', stale: true}).stale, true);
  assert.equal(normalize('x', {ok: false, msg: 'AUTH_STALE_COMPLETION', error_class: 'stale'}).stale,
               true);
  const save = normalize('rename_folder', {ok: false, msg: 'SAVE_NOT_CONFIRMED', error_class: 'save',
                                           save: {error_code: 'transport_or_response_unknown'}});
  assert.equal(save.save.error_code, 'transport_or_response_unknown');
  assert.match(messageFor(save), /알 수 없어요/);
});

test('project failures come inside a successful envelope; other calls keep "error" as data', () => {
  const failed = normalize('drive_purge', {ok: true, data: {error: 'drive_not_found'}});
  assert.equal(failed.ok, false);
  assert.equal(failed.drive, true);
  assert.equal(failed.code, 'drive_not_found');
  const scoped = normalize('drive_upload', {ok: true, data: {error: 'quota_exceeded', scope: 'day'}});
  assert.equal(scoped.scope, 'day');
  assert.equal(needsSignIn(normalize('drive_list', {ok: true, data: {error: 'auth_required'}})), true);
  assert.deepEqual(normalize('list_words', {ok: true, data: {error: 'x'}}),
                   {ok: true, data: {error: 'x'}});
  assert.deepEqual(normalize('drive_list', {ok: true, data: {drives: []}}),
                   {ok: true, data: {drives: []}});
});

test('bare replies (the math script), nothing at all, and unknown shapes', () => {
  assert.deepEqual(normalize('drive_math_lib', 'var temml;'), {ok: true, data: 'var temml;'});
  assert.deepEqual(normalize('drive_math_lib', ''), {ok: true, data: ''});
  assert.equal(normalize('x', undefined).code, 'NO_REPLY');
  assert.equal(normalize('x', null).ok, false);
  assert.equal(normalize('x', {something: 1}).ok, false);
  assert.equal(normalize('x', {ok: 'true'}).ok, false);
});

test('a draft that failed is a failure with its reason; proposals are data', () => {
  const noKey = normalize('propose_custom', {ok: true, data: {status: 'no_key'}});
  assert.equal(noKey.ok, false);
  assert.match(messageFor(noKey), /AI API 키/);
  const timeout = normalize('propose_custom', {ok: true, data: {status: 'error', reason: 'timeout'}});
  assert.equal(timeout.code, 'timeout');
  assert.equal(normalize('propose_custom', {ok: true, data: {status: 'rejected', ok: false}}).ok,
               true);
});

test('every code gets Korean text; unknown codes show the code', () => {
  const codes = ['AUTH_LOGIN_FAILED', 'AUTH_EMAIL_NOT_CONFIRMED', 'AUTH_NETWORK_UNAVAILABLE',
                 'AUTH_SIGNUP_WEAK_PASSWORD', 'AUTH_SIGNUP_EMAIL_EXISTS', 'AUTH_SIGNUP_EMAIL_INVALID',
                 'AUTH_SIGNUP_FAILED', 'AUTH_EMAIL_RATE_LIMIT', 'AUTH_REQUEST_RATE_LIMIT',
                 'AUTH_RESEND_FAILED', 'AUTH_ADMISSION_CLOSED', 'AUTH_REAUTH_REQUIRED',
                 'AUTH_RESET_CREDENTIALS_UNCONFIRMED', 'ACCOUNT_DELETE_FAILED',
                 'ACCOUNT_DELETE_WRONG_PASSWORD', 'ACCOUNT_DELETE_RATE_LIMITED',
                 'ACCOUNT_DELETE_NO_RESPONSE', 'ACCOUNT_CLEANUP_NOT_OFFERED',
                 'FEEDBACK_TEXT_INVALID', 'FEEDBACK_UNAVAILABLE', 'FEEDBACK_RATE_LIMITED',
                 'FEEDBACK_NETWORK', 'FEEDBACK_FAILED', 'REQUEST_FAILED', 'CREDENTIAL_WRITE_FAILED',
                 'CREDENTIAL_DELETE_FAILED', 'CREDENTIAL_STORE_NOT_ANSWERING',
                 'UI_THEME_UNAVAILABLE'];
  for (const code of codes) {
    const text = messageFor({ok: false, code: code});
    assert.match(text, /[가-힣]/, code);
    assert.doesNotMatch(text, /코드:/, code);
  }
  const unknown = messageFor({ok: false, code: 'WHO_KNOWS'});
  assert.match(unknown, /WHO_KNOWS/);
  assert.match(messageFor({ok: false, code: 'weird', drive: true}), /weird/);
  assert.match(messageFor({ok: false, code: 'x', draft: true}), /x\)/);
  assert.doesNotMatch(messageFor({ok: false, code: 'server_error', drive: true}), /코드/);
  // An unconfirmed write says why; the contract code speaks for itself.
  assert.match(messageFor({ok: false, code: 'server_contract_unavailable', save: {}}), /업데이트/);
  assert.match(messageFor({ok: false, code: 'SAVE_NOT_CONFIRMED',
                           save: {error_code: 'contract_or_permission_rejected'}}), /받지 않았/);
  assert.match(messageFor({ok: false, code: 'SAVE_NOT_CONFIRMED', save: null}), /확인/);
  assert.match(messageFor({ok: false, code: 'AUTH_STALE_COMPLETION', stale: true}), /계정이 바뀌/);
  // A context text wins for its call.
  assert.equal(messageFor({ok: false, code: 'REQUEST_FAILED'}, {REQUEST_FAILED: '열 수 없어요'}),
               '열 수 없어요');
  assert.match(messageFor(null), /알 수 없는/);
});

test('every failure code of the project calls has Korean text on the page', () => {
  // The codes the project service and its calls answer with, read from their sources.
  const folder = path.join(__dirname, '..', '..', 'ParlendoCore', 'projects');
  const codes = new Set();
  for (const name of fs.readdirSync(folder).filter((n) => n.endsWith('.cpp'))) {
    const source = fs.readFileSync(path.join(folder, name), 'utf8');
    for (const match of source.matchAll(/DriveFailure\("([a-z_]+)"\)/g)) {
      codes.add(match[1]);
    }
  }
  assert.ok(codes.has('file_name_invalid') && codes.has('not_found'), [...codes].join(' '));
  for (const code of codes) {
    const text = messageFor({ok: false, code: code, drive: true});
    assert.match(text, /[가-힣]/, code);
    assert.doesNotMatch(text, /코드:/, code);
  }
});

test('a request that failed says what happened to it, never blaming the connection wrongly', () => {
  const refused = normalize('set_view_settings', {ok: false, msg: 'REQUEST_FAILED', error_class: 'request',
                                                  failure: 'rejected', status: 404});
  assert.equal(refused.failure, 'rejected');
  assert.match(messageFor(refused), /서버가 이 요청을 받지 않았어요 \(응답 404\)/);
  assert.doesNotMatch(messageFor(refused), /인터넷/);
  assert.match(messageFor({ok: false, code: 'REQUEST_FAILED', failure: 'unavailable'}), /인터넷 연결/);
  assert.match(messageFor({ok: false, code: 'REQUEST_FAILED', failure: 'timeout'}), /너무 늦어요/);
  // Without a cause (a call the app does not serve), no cause is made up.
  assert.doesNotMatch(messageFor({ok: false, code: 'REQUEST_FAILED'}), /인터넷/);
  // What was being done comes first; a call's own text still serves when no cause is known.
  assert.equal(messageFor({ok: false, code: 'REQUEST_FAILED', failure: 'quota'}, {doing: '로그인하지 못했어요.'}),
               '로그인하지 못했어요. 요청이 너무 많아요. 잠시 후 다시 시도해 주세요.');
  assert.equal(messageFor({ok: false, code: 'REQUEST_FAILED'}, {REQUEST_FAILED: '열 수 없어요', doing: 'x'}),
               '열 수 없어요');
});

test('the page and the notice speak of this desktop, not of a Mac', () => {
  const fs = require('node:fs');
  const path = require('node:path');
  const root = path.join(__dirname, '..', '..', 'resources');
  const files = fs.readdirSync(path.join(root, 'manage')).filter((f) => /\.(js|css)$/.test(f))
    .map((f) => path.join(root, 'manage', f))
    .concat([path.join(root, 'manage.html'), path.join(root, 'approved_notice_ko.md')]);
  const macWords = [/손쉬운 사용/, /메뉴 막대/, /개인정보 보호 및 보안/, /키체인/, /[⌥⌘]/, /\bMac\b/, /Finder/];
  for (const file of files) {
    const text = fs.readFileSync(file, 'utf8');
    for (const word of macWords) {
      assert.doesNotMatch(text, word, path.basename(file));
    }
  }
});
